#include "Databases.h"

#include "platform/CrashPoint.h"
#include "platform/ProfileFile.h"
#include "platform/Prompt.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace {

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

} // namespace

CResultDatabases::CResultDatabases(QString baseFolder, IPrompt* prompt)
    : baseFolder_(std::move(baseFolder)), prompt_(prompt) {}

QString CResultDatabases::InBase(const std::string& name) const {
    return QDir(baseFolder_).filePath(QString::fromLocal8Bit(name.c_str()));
}

QStringList CResultDatabases::OtherResultFiles() const {
    QStringList found;
    const QFileInfoList entries =
        QDir(baseFolder_).entryInfoList({QStringLiteral("*.sqlite")}, QDir::Files, QDir::Name);
    for (const QFileInfo& info : entries)
        if (info.fileName().compare(kDownloadDbFile, Qt::CaseInsensitive) != 0)
            found << info.fileName();
    return found;
}

std::string CResultDatabases::UserTableListFile(const std::string& userDbFile) {
    // The user's database file name without its last seven characters (".sqlite"), plus ".ini".
    const std::string stem =
        userDbFile.size() > 7 ? userDbFile.substr(0, userDbFile.size() - 7) : std::string();
    return stem + ".ini";
}

void ResetDefault(CResultTable& table) {
    table.SetSort(kDefaultSort);
    table.SetFilter("");
    table.ForgetRows();
}

void RequeryDefault(CResultTable& table) {
    // Sort and filter together, then one requery: the same end state as a requery after each,
    // at half the cost on a large table.
    table.SetSort(kDefaultSort);
    table.SetFilter("");
    table.Requery();
}

void CResultDatabases::OpenDatabases() {
    UserList.clear();
    TableList.clear();
    openError_.clear();
    failure_ = Failure::None;
    DatabaseReady = 0;
    ResultTable.SetReadOnly(readOnly_);

    const QString userInfo = InBase(kUserInfoFile);
    CurrentUser = ReadProfileString(userInfo, "User Count", "current_user");
    // The user's file name becomes a path: one that leaves the base folder is refused.
    if (CurrentUser != "-1" && !IsPlainName(CurrentUser, true)) {
        ResultTable.Close();
        DownloadTable.Close();
        Report(Failure::BadUser, CurrentUser);
        return;
    }
    MainDbPath = CurrentUser != "-1" ? InBase(CurrentUser) : InBase(kDefaultUser);
    DownloadDbPath = InBase(kDownloadDbFile);
    const std::string named = CurrentUser != "-1" ? CurrentUser : std::string(kDefaultUser);
    // The download database is emptied by every download: it can never be the main one.
    if (QString::fromLocal8Bit(named.c_str()).compare(kDownloadDbFile, Qt::CaseInsensitive) == 0 ||
        (QFileInfo::exists(MainDbPath) && QFileInfo(MainDbPath).canonicalFilePath() ==
                                              QFileInfo(DownloadDbPath).canonicalFilePath())) {
        ResultTable.Close();
        DownloadTable.Close();
        Report(Failure::DownloadAsMain, named);
        return;
    }

    // An existing file is never created again: a damaged one is left alone (see ExistingFiles).
    if (QFileInfo::exists(MainDbPath)) {
        ExistingFiles();
    } else {
        // Only a folder without any result database is a first run.
        const QStringList others = OtherResultFiles();
        if (!others.isEmpty()) {
            ResultTable.Close();
            DownloadTable.Close();
            openError_ = others.join(QStringLiteral(", ")).toLocal8Bit().toStdString();
            Report(Failure::MissingUser, named);
            return;
        }
        FirstRun();
    }

    // Every list runs a search of its own: nothing is listed here, whatever the table's size.
    ResetDefault(ResultTable);
    if (!readOnly_)
        ResetDefault(DownloadTable);
}

void CResultDatabases::FirstRun() {
    ResultTable.Close();
    DownloadTable.Close();
    if (readOnly_) {
        Report(Failure::NothingStored);
        return;
    }
    const std::string user = kDefaultUser;
    UserList.push_back(user);

    ResultTable.SetTableName(kDefaultTable);
    if (!ResultTable.OpenOrCreate(Native(MainDbPath).constData())) {
        Report(Failure::Create);
        return;
    }
    CrashPoint("first-run-main-created");

    ProfileFile users(InBase(kUserInfoFile));
    users.Load();
    int userCount = 1;
    if (!users.Exists()) {
        users.Write("User Count", "current_user", user);
        CurrentUser = user;
    } else {
        userCount = users.ReadInt("User Count", "cnt") + 1;
        CurrentUser = users.Read("User Count", "current_user");
    }
    users.Write("User Count", "cnt", std::to_string(userCount));
    users.Write("User Set", "no" + std::to_string(UserList.size()), user);
    users.Save();
    CrashPoint("first-run-users-written");

    TableList.push_back(kDefaultTable);
    ProfileFile tables(InBase(UserTableListFile(user)));
    tables.Load();
    int tableCount = 1;
    if (!tables.Exists()) {
        tables.Write("Table Count", "current_table", kDefaultTable);
        CurrentTable = kDefaultTable;
    } else {
        tableCount = tables.ReadInt("Table Count", "cnt");
        CurrentTable = tables.Read("Table Count", "current_table");
    }
    // Written once per table in the count; the same two keys each time.
    if (tableCount > 0) {
        tables.Write("Table Count", "cnt", std::to_string(tableCount));
        tables.Write("Table Set", "no" + std::to_string(TableList.size()), kDefaultTable);
    }
    tables.Save();
    CrashPoint("first-run-tables-written");

    ResultTable.Close();
    ResultTable.SetTableName(kDefaultTable);
    if (ResultTable.Open(Native(MainDbPath).constData())) {
        DatabaseReady = 1;
        ResultTable.EnsureDateIndex(); // what the lists read by
    } else
        Report(Failure::Damaged);

    OpenDownloadDatabase();
}

void CResultDatabases::ExistingFiles() {
    ResultTable.Close();
    DownloadTable.Close();

    ProfileFile users(InBase(kUserInfoFile));
    users.Load();
    const int userCount = users.ReadInt("User Count", "cnt");
    for (int i = 1; i <= userCount; ++i)
        UserList.push_back(users.Read("User Set", "no" + std::to_string(i)));

    // Without a user list (a file restored on its own, a first run cut short) the file opened
    // is the default user's.
    const bool userListMissing = CurrentUser == "-1";
    const std::string user = userListMissing ? std::string(kDefaultUser) : CurrentUser;
    ProfileFile tables(InBase(UserTableListFile(user)));
    tables.Load();
    const int tableCount = tables.ReadInt("Table Count", "cnt");
    CurrentTable = tables.Read("Table Count", "current_table");
    for (int j = 1; j <= tableCount; ++j)
        TableList.push_back(tables.Read("Table Set", "no" + std::to_string(j)));
    // The table name becomes SQL text: a name that is not plain is refused, never quoted into a
    // statement.
    if (CurrentTable != "-1" && !IsPlainName(CurrentTable)) {
        Report(Failure::BadTable, CurrentTable);
        return;
    }

    // Open never creates or rewrites a file: a damaged or foreign file fails here and stays
    // exactly as it was.
    ResultTable.SetTableName(CurrentTable != "-1" ? CurrentTable.c_str() : kDefaultTable);
    std::vector<std::string> names;
    if (!ResultTable.OpenFile(Native(MainDbPath).constData()) || !ResultTable.TableNames(names)) {
        Report(IsBusyCode(ResultTable.LastErrorCode()) ? Failure::InUse : Failure::Damaged);
        ResultTable.Close();
        return;
    }
    const std::string named = CurrentTable;
    if (!ChooseResultTable(names)) {
        ResultTable.Close();
        return;
    }
    ResultTable.SetTableName(CurrentTable.c_str());
    // Only whether it can be read: OpenDatabases lists the rows once, at its end.
    if (!ResultTable.CheckReadable()) {
        Report(IsBusyCode(ResultTable.LastErrorCode()) ? Failure::InUse : Failure::Damaged);
        ResultTable.Close();
        return;
    }
    DatabaseReady = 1;
    if (readOnly_)
        return; // what a writing open would repair or make is left as it is
    RepairProfiles(userListMissing, CurrentTable != named);
    // A table that no download has reached (made by another program) gets the date index once;
    // without it every list and search reads the whole table. A file held by another program
    // is left as it is: the searches are slower, not wrong.
    ResultTable.EnsureDateIndex();

    // Both tables get the default sort and filter when OpenDatabases ends.
    OpenDownloadDatabase();
}

bool CResultDatabases::ChooseResultTable(const std::vector<std::string>& tables) {
    const auto has = [&](const std::string& name) {
        return std::find(tables.begin(), tables.end(), name) != tables.end();
    };
    if (CurrentTable != "-1" && has(CurrentTable))
        return true;
    // The profile names no table, or one the file lacks: the results are in the table that has
    // the result columns. The default name first, then the user's table list, then any.
    const auto isResultTable = [&](const std::string& name) {
        std::vector<std::string> columns;
        if (!IsPlainName(name) || !ResultTable.TableColumns(name, columns))
            return false;
        for (const char* key : {"DATE", "TIME", "HbA1c_VALUE", "PID", "OPID"})
            if (std::find(columns.begin(), columns.end(), key) == columns.end())
                return false;
        return true;
    };
    std::vector<std::string> candidates = {kDefaultTable};
    candidates.insert(candidates.end(), TableList.begin(), TableList.end());
    candidates.insert(candidates.end(), tables.begin(), tables.end());
    for (const std::string& name : candidates) {
        if (has(name) && isResultTable(name)) {
            CurrentTable = name;
            return true;
        }
    }
    if (tables.empty() && readOnly_) {
        Report(Failure::NeedsRepair);
        return false;
    }
    if (tables.empty()) {
        // A file without any table: the first run stopped between making the file and its
        // table. Finish it.
        if (CurrentTable == "-1")
            CurrentTable = kDefaultTable;
        if (!ResultTable.CreateTable() ||
            !ResultTable.TableNames(const_cast<std::vector<std::string>&>(tables)) ||
            tables.empty()) {
            Report(IsBusyCode(ResultTable.LastErrorCode()) ? Failure::InUse : Failure::Create);
            return false;
        }
        return true;
    }
    Report(Failure::NoResultTable);
    return false;
}
void CResultDatabases::RepairProfiles(bool userListMissing, bool tableChanged) {
    // Only what is missing or wrong is written; a healthy start writes nothing.
    if (userListMissing) {
        ProfileFile users(InBase(kUserInfoFile));
        users.Load();
        if (users.Read("User Count", "current_user") == "-1")
            users.Write("User Count", "current_user", kDefaultUser);
        if (users.ReadInt("User Count", "cnt") < 1) {
            users.Write("User Count", "cnt", "1");
            users.Write("User Set", "no1", kDefaultUser);
        }
        users.Save();
        CurrentUser = kDefaultUser;
        if (UserList.empty())
            UserList.push_back(kDefaultUser);
    }
    ProfileFile tables(InBase(UserTableListFile(CurrentUser)));
    tables.Load();
    if (!tableChanged && tables.Exists())
        return;
    tables.Write("Table Count", "current_table", CurrentTable);
    if (std::find(TableList.begin(), TableList.end(), CurrentTable) == TableList.end()) {
        TableList.push_back(CurrentTable);
        tables.Write("Table Count", "cnt", std::to_string(TableList.size()));
        tables.Write("Table Set", "no" + std::to_string(TableList.size()), CurrentTable);
    }
    tables.Save();
}

void CResultDatabases::OpenDownloadDatabase() {
    // The download database only holds the list of the last download: when it is missing, or
    // lacks its table, it is made anew, and a damaged one is moved aside for a new one. So a
    // download never stores into one table only.
    const QByteArray path = Native(DownloadDbPath);
    DownloadTable.Close();
    DownloadTable.SetTableName(kDownloadTableName);
    // OpenOrCreate has requeried: the columns were read when the table is usable.
    if (DownloadTable.OpenOrCreate(path.constData()) && DownloadTable.ColumnsChecked())
        return;
    const bool damaged = IsDamagedCode(DownloadTable.LastErrorCode());
    DownloadTable.Close();
    if (!damaged)
        return;
    const QString aside = DownloadDbPath + QStringLiteral(".damaged");
    QFile::remove(aside);
    if (!QFile::rename(DownloadDbPath, aside))
        return;
    DownloadTable.SetTableName(kDownloadTableName);
    if (!DownloadTable.OpenOrCreate(path.constData()))
        DownloadTable.Close();
}

std::string DatabaseFailureText(CResultDatabases::Failure failure, const std::string& path,
                                const std::string& detail, const std::string& name) {
    using F = CResultDatabases::Failure;
    const std::string file = "The result database \"" + path + "\"";
    switch (failure) {
    case F::Create:
        return file + " could not be created (" + detail +
               ").\r\nResults cannot be stored until the folder can be written.";
    case F::InUse:
        return file + " is in use by another program.\r\nNothing was changed. Close that "
                      "program, then start Trevanix again.";
    case F::BadUser:
        return "The user list (user_info.ini) names the database file \"" + name +
               "\", which is not a plain file name in the program's folder.\r\nNothing was "
               "opened or changed. Correct current_user in user_info.ini, then start Trevanix "
               "again.";
    case F::BadTable:
        return "The table list of " + path + " names the table \"" + name +
               "\", which is not a plain table name (letters, digits, _ and - only).\r\n"
               "Nothing was opened or changed. Correct current_table in the table list, then "
               "start Trevanix again.";
    case F::MissingUser:
        return "The user list (user_info.ini) names the database file \"" + name +
               "\", which does not exist in the program's folder. The folder holds: " + detail +
               ".\r\nNothing was opened, created or changed. Set current_user in user_info.ini "
               "to the file that holds your results, then start Trevanix again.";
    case F::DownloadAsMain:
        return "The user list (user_info.ini) names the database file \"" + name +
               "\", which holds only the list of the last download and is emptied by every "
               "download.\r\nNothing was opened or changed. Set current_user in user_info.ini to "
               "the file that holds your results (Trevanix.sqlite by default), then start "
               "Trevanix again.";
    case F::NoResultTable:
        return file + " holds no table of results.\r\nThe file has been left as it is. "
                      "Results cannot be listed or stored until the right file is in its place.";
    case F::NeedsRepair:
        return file + " needs a repair before it can be read (" + detail +
               ").\r\nNothing was changed. Start the Trevanix program or run trevanix-cli "
               "download once (either repairs it), then try again.";
    case F::NothingStored:
        return file + " does not exist: no result has been stored yet.\r\nNothing was "
                      "created. Download results first.";
    case F::Damaged:
    case F::None:
        break;
    }
    return file + " could not be opened (" + detail +
           ").\r\nThe file has been left as it is. Results cannot be listed or stored until it "
           "is repaired or moved away.";
}

void CResultDatabases::Report(Failure failure, const std::string& name) {
    if (readOnly_ && failure == Failure::Damaged && IsRepairCode(ResultTable.LastErrorCode()))
        failure = Failure::NeedsRepair;
    failure_ = failure;
    if (failure != Failure::MissingUser) // else openError_ already lists the files there
        openError_ = ResultTable.LastError();
    const int code = ResultTable.LastErrorCode();
    if (failure == Failure::NeedsRepair && IsRepairCode(code) && (code & 0xff) != code)
        openError_ = PlainReason(code) + "; " + openError_; // an interrupted store
    else if (failure == Failure::NeedsRepair && !IsRepairCode(code))
        openError_ = "the file holds no table yet";
    else if (failure == Failure::NothingStored)
        openError_ = "no result database yet";
    if (failure == Failure::DownloadAsMain)
        openError_ = "the download database named as the main one: " + name;
    else if (failure == Failure::BadUser || failure == Failure::BadTable)
        openError_ = "not a plain name: " + name;
    else if (failure == Failure::NoResultTable)
        openError_ = "no table of results";
    if (openError_.empty())
        openError_ = "unknown error";
    if (!prompt_)
        return;
    const std::string path = QDir::toNativeSeparators(MainDbPath).toLocal8Bit().toStdString();
    const std::string detail = failure == Failure::Damaged || failure == Failure::Create
                                   ? PlainReason(ResultTable.LastErrorCode()) + "; " + openError_
                                   : openError_;
    prompt_->Inform(DatabaseFailureText(failure, path, detail, name), kMessageTitle);
}

void CResultDatabases::CloseDatabases() {
    DatabaseReady = 0;
    MainDbPath.clear();
    ResultTable.Close();
    DownloadTable.Close();
}

void CResultDatabases::OpenForReading() {
    readOnly_ = true;
    OpenDatabases();
    readOnly_ = false;
}
