#include "Databases.h"

#include "platform/ProfileFile.h"
#include "platform/Prompt.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QByteArray Native(const QString& path) { return QFile::encodeName(path); }

} // namespace

CResultDatabases::CResultDatabases(QString baseFolder, IPrompt* prompt)
    : baseFolder_(std::move(baseFolder)), prompt_(prompt) {}

QString CResultDatabases::InBase(const std::string& name) const {
    return QDir(baseFolder_).filePath(QString::fromLocal8Bit(name.c_str()));
}

std::string CResultDatabases::UserTableListFile(const std::string& userDbFile) {
    // The user's database file name without its last seven characters (".sqlite"), plus ".ini".
    const std::string stem =
        userDbFile.size() > 7 ? userDbFile.substr(0, userDbFile.size() - 7) : std::string();
    return stem + ".ini";
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
    DatabaseReady = 0;

    const QString userInfo = InBase(kUserInfoFile);
    CurrentUser = ReadProfileString(userInfo, "User Count", "current_user");
    MainDbPath = CurrentUser != "-1" ? InBase(CurrentUser) : InBase(kDefaultUser);
    DownloadDbPath = InBase(kDownloadDbFile);

    // An existing file is never created again: a damaged one is left alone (see ExistingFiles).
    if (!QFileInfo::exists(MainDbPath))
        FirstRun();
    else
        ExistingFiles();

    RequeryDefault(ResultTable);
    RequeryDefault(DownloadTable);
}

void CResultDatabases::FirstRun() {
    ResultTable.Close();
    DownloadTable.Close();
    const std::string user = kDefaultUser;
    UserList.push_back(user);

    ResultTable.SetTableName(kDefaultTable);
    if (!ResultTable.OpenOrCreate(Native(MainDbPath).constData())) {
        ReportUnopened(true);
        return;
    }

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

    ResultTable.Close();
    ResultTable.SetTableName(kDefaultTable);
    if (ResultTable.Open(Native(MainDbPath).constData()))
        DatabaseReady = 1;
    else
        ReportUnopened(false);

    DownloadTable.SetTableName(kDownloadTableName);
    DownloadTable.OpenOrCreate(Native(DownloadDbPath).constData());
    DownloadTable.Close();
    DownloadTable.SetTableName(kDownloadTableName);
    DownloadTable.Open(Native(DownloadDbPath).constData());
}

void CResultDatabases::ExistingFiles() {
    ResultTable.Close();
    DownloadTable.Close();

    ProfileFile users(InBase(kUserInfoFile));
    users.Load();
    const int userCount = users.ReadInt("User Count", "cnt");
    for (int i = 1; i <= userCount; ++i)
        UserList.push_back(users.Read("User Set", "no" + std::to_string(i)));

    ProfileFile tables(InBase(UserTableListFile(CurrentUser)));
    tables.Load();
    const int tableCount = tables.ReadInt("Table Count", "cnt");
    CurrentTable = tables.Read("Table Count", "current_table");
    for (int j = 1; j <= tableCount; ++j)
        TableList.push_back(tables.Read("Table Set", "no" + std::to_string(j)));

    ResultTable.SetTableName(CurrentTable.c_str());
    // Open never creates or rewrites a file: a damaged or foreign file fails here and stays
    // exactly as it was.
    if (ResultTable.Open(Native(MainDbPath).constData()))
        DatabaseReady = 1;
    else
        ReportUnopened(false);

    // The download database is not created here: when its file is missing the table stays
    // closed and downloads go to the main table only. (Both tables get the default sort and
    // filter when OpenDatabases ends.)
    DownloadTable.SetTableName(kDownloadTableName);
    DownloadTable.Open(Native(DownloadDbPath).constData());
}

void CResultDatabases::ReportUnopened(bool creating) {
    openError_ = ResultTable.LastError();
    if (openError_.empty())
        openError_ = "unknown error";
    if (!prompt_)
        return;
    const std::string path = QDir::toNativeSeparators(MainDbPath).toLocal8Bit().toStdString();
    std::string text;
    if (creating)
        text = "The result database \"" + path + "\" could not be created (" + openError_ +
               ").\r\nResults cannot be stored until the folder can be written.";
    else
        text = "The result database \"" + path + "\" could not be opened (" + openError_ +
               ").\r\nThe file has been left as it is. Results cannot be listed or stored "
               "until it is repaired or moved away.";
    prompt_->Inform(text, kMessageTitle);
}

void CResultDatabases::CloseDatabases() {
    DatabaseReady = 0;
    MainDbPath.clear();
    ResultTable.Close();
    DownloadTable.Close();
}
