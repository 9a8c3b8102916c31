#pragma once
// What the commands of trevanix-cli that read the stored results share: the list's search
// options, the one-copy locks, and the result files opened under them.

#include "platform/Prompt.h"
#include "platform/SingleInstance.h"
#include "settings/Settings.h"
#include "storage/Databases.h"
#include "storage/ResultQuery.h"

#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitAlreadyRunning = 3;

// Message boxes become lines on the terminal; "\r\n" inside a text is a line break.
std::string Printable(const std::string& text);

// Tells on the terminal and asks nothing (every question reads as no).
class LinePrompt : public IPrompt {
public:
    void Inform(const std::string& text, const std::string& title) override;
    bool Ask(const std::string& text, const std::string& title) override;
};

// The list's search options from argv[2] on: --from, --to, --pid, --opid, --period. Any other
// option goes with its value to `extra`, which returns false for one it does not know. False on
// anything wrong (a period mixed with a range, a date that is not one).
using ExtraOption = std::function<bool(const std::string& option, const char* value)>;
bool ParseListArgs(int argc, char** argv, ListSearch& search, const ExtraOption& extra = {});

// The same name the window program takes, and a lock in the base folder: one program at a
// time uses the port and the result files. Says so on the terminal when another copy runs.
class OneCopyLocks {
public:
    explicit OneCopyLocks(const QString& base);
    bool Taken() const { return taken_; }

private:
    SingleInstanceGuard instance_;
    SingleInstanceGuard folder_;
    bool taken_ = false;
};

// The result files of the base folder, opened under the one-copy locks, with the settings.
class StoredResults {
public:
    StoredResults();
    // 0 when open; otherwise the exit status, and why was printed.
    int Status() const { return status_; }
    CResultDatabases& Db() { return *db_; }
    const AppSettings& Settings() const { return settings_; }
    void Tell(const std::string& text) { prompt_.Inform(text, kMessageTitle); }

private:
    QString base_;
    OneCopyLocks locks_;
    LinePrompt prompt_;
    AppSettings settings_;
    std::unique_ptr<CResultDatabases> db_;
    int status_ = 0;
};

// The list's search over the result files, opened under the locks and closed again: the rows,
// and the settings they are shown in. 0, or the exit status after saying why (a refused range
// prints the list's message and gives kExitUsage).
int SearchStoredResults(const ListSearch& search, std::vector<ResultRow>& rows,
                        AppSettings& settings);
