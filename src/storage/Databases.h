#pragma once
// The result database files, the user list and the per-user table list, all in the base folder:
//   Trevanix.sqlite (or the current user's file)   main database, table HospitalTlb by default
//   TrevanixDown.sqlite                            table DownLoadData: the latest download only
//   user_info.ini                                  user list
//   Trevanix.ini (user's file name less ".sqlite") the user's table list
// OpenDatabases creates what is missing on the first run and leaves both tables open, sorted
// newest first with no filter.

#include "ResultTable.h"

#include <QString>
#include <string>
#include <vector>

class IPrompt;

inline constexpr const char* kDefaultSort = "[DATE] DESC, [TIME] DESC, [HbA1c_VALUE] DESC";
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
    // Shutdown: not ready, main path emptied, both tables closed.
    void CloseDatabases();

    const QString& BaseFolder() const { return baseFolder_; }
    // Why the main database could not be opened at the last OpenDatabases, empty when it was.
    const std::string& OpenError() const { return openError_; }

    CResultTable ResultTable;
    CResultTable DownloadTable;
    int DatabaseReady = 0;
    std::string CurrentUser;
    std::string CurrentTable;
    std::vector<std::string> UserList;
    std::vector<std::string> TableList;
    QString MainDbPath;
    QString DownloadDbPath;

private:
    void FirstRun();
    void ExistingFiles();
    void ReportUnopened(bool creating);
    QString InBase(const std::string& name) const;
    static std::string UserTableListFile(const std::string& userDbFile);

    QString baseFolder_;
    IPrompt* prompt_;
    std::string openError_;
};

// Requery with the default sort and no filter, as the lists expect after opening.
void RequeryDefault(CResultTable& table);
