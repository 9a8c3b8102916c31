#pragma once
// The result database files, the user list and the per-user table list, all in the base folder:
//   Trevanix.sqlite (or the current user's file)   main database, table HospitalTlb by default
//   TrevanixDown.sqlite                            table DownLoadData: the latest download only
//   user_info.ini                                  user list
//   Trevanix.ini (user's file name less ".sqlite") the user's table list
// OpenDatabases creates what is missing on the first run and leaves both tables open, sorted
// newest first with no filter. A first run cut short (a crash, a power cut) is completed at the
// next start: a main file that holds no table gets its table, missing profile files are written
// again, and a missing download database is made anew (it only holds the last download's list).
// Names read from the profile files are used only when they are plain names. When the user list
// names a database that is not there (a hand-edited or damaged user_info.ini) while the folder
// holds other result databases, nothing is created: an empty database in its place would hide
// every stored result and take the next download.

#include "ResultTable.h"
#include "ResultsNotice.h"

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

class IPrompt;

// Newest first; results alike in date, time and value in the order they were stored, whatever
// index SQLite reads them through (the lists and the command line show the same order).
inline constexpr const char* kDefaultSort =
    "[DATE] DESC, [TIME] DESC, [HbA1c_VALUE] DESC, ROWID ASC";
inline constexpr const char* kDefaultUser = "Trevanix.sqlite";
inline constexpr const char* kDefaultTable = "HospitalTlb";
inline constexpr const char* kDownloadTableName = "DownLoadData";
inline constexpr const char* kDownloadDbFile = "TrevanixDown.sqlite";
inline constexpr const char* kUserInfoFile = "user_info.ini";

class CResultDatabases {
public:
    // prompt may be null: then a database that cannot be opened is only reported through
    // DatabaseReady and OpenError().
    explicit CResultDatabases(QString baseFolder, IPrompt* prompt = nullptr);

    void OpenDatabases();
    // For the readers beside a running program (trevanix-cli list, export, print, audit): the
    // main database opened read-only (SQLITE_OPEN_READONLY), nothing created, repaired or written
    // (no profile file, no table, no download database; the download table stays closed). A
    // file that would need a repair is reported (Failure::NeedsRepair), one that does not exist
    // yet as Failure::NothingStored; DatabaseReady stays 0 then. The result table gets the
    // default sort and no filter but is not requeried: a reader runs its own search.
    void OpenForReading();
    // Shutdown: not ready, main path emptied, both tables closed.
    void CloseDatabases();

    const QString& BaseFolder() const { return baseFolder_; }
    // How long opening and storing wait for another program that holds a file.
    void SetBusyTimeout(int ms) {
        ResultTable.SetBusyTimeout(ms);
        DownloadTable.SetBusyTimeout(ms);
    }
    // Why the main database could not be opened at the last OpenDatabases, empty when it was.
    const std::string& OpenError() const { return openError_; }

    CResultTable ResultTable;
    CResultTable DownloadTable;
    // Told whenever stored results change (a download, a correction, a deletion).
    CResultsNotice Changed;
    int DatabaseReady = 0;
    std::string CurrentUser;
    std::string CurrentTable;
    std::vector<std::string> UserList;
    std::vector<std::string> TableList;
    QString MainDbPath;
    QString DownloadDbPath;

    // Why the main database could not be opened, for the message.
    enum class Failure {
        None,
        Create,
        Damaged,
        InUse,
        BadUser,
        BadTable,
        NoResultTable,
        MissingUser,    // the user list names a file that is not there, while others are
        DownloadAsMain, // the user list names the download database
        NeedsRepair,    // reading only: a writing open would repair the file first
        NothingStored,  // reading only: no main database yet
    };
    Failure OpenFailure() const { return failure_; }

private:
    void FirstRun();
    void ExistingFiles();
    bool ChooseResultTable(const std::vector<std::string>& tables);
    void RepairProfiles(bool userListMissing, bool tableChanged);
    void OpenDownloadDatabase();
    void Report(Failure failure, const std::string& name = std::string());
    QString InBase(const std::string& name) const;
    static std::string UserTableListFile(const std::string& userDbFile);
    QStringList OtherResultFiles() const;

    QString baseFolder_;
    IPrompt* prompt_;
    std::string openError_;
    Failure failure_ = Failure::None;
    bool readOnly_ = false; // OpenForReading
};

// The message the user reads when the main database could not be opened.
std::string DatabaseFailureText(CResultDatabases::Failure failure, const std::string& path,
                                const std::string& detail, const std::string& name);

// Requery with the default sort and no filter.
void RequeryDefault(CResultTable& table);
// The default sort and no filter, with no rows listed: what opening and storing leave, so that
// neither reads the whole table.
void ResetDefault(CResultTable& table);
