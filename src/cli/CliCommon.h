#pragma once
// What the commands of trevanix-cli that read the stored results share: the list's search
// options, the one-copy locks, and the result files opened under them.

#include "platform/Prompt.h"
#include "platform/SingleInstance.h"
#include "query/ResultQuery.h"
#include "query/ResultSearch.h"
#include "settings/Settings.h"
#include "storage/Databases.h"

#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitAlreadyRunning = 3;

// Message boxes become lines on the terminal; "\r\n" inside a text is a line break. Other
// control bytes go out as EscapedField writes them.
std::string Printable(const std::string& text);

// A line that `list` or `audit` prints: the fields tab-separated, then a line feed. Inside a
// field, tab, line feed, carriage return and backslash go out as \t, \n, \r and \\; every other
// byte a terminal could take for a control (0x00 to 0x1F, 0x7F, and 0x80 to 0x9F, the C1
// controls of 8-bit terminals, also where they are part of a UTF-8 character) as \xNN. So a line
// holds its fields whatever bytes the analyzer sent, and no escape sequence reaches the terminal.
void AppendLine(std::string& line, const std::string* const* fields, size_t count);

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

// The result files of the base folder opened for reading beside a running program (the window
// or a download): read-only, without the one-copy locks, writing nothing (no settings or profile
// file, no table, no folder). A file that needs a repair is reported, not repaired.
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
    LinePrompt prompt_;
    AppSettings settings_;
    std::unique_ptr<CResultDatabases> db_;
    int status_ = 0;
};

// The list's search over the result files opened for reading. The keys of the rows found are
// taken in one statement, so they are the rows of one moment (a download stored meanwhile is in
// them whole or not at all); the rows themselves are read a run at a time as they are written
// out, each run in a short read of its own, so a store never waits long for this reader, no
// read is held open while the output is written, and only one run is in memory at a time.
class StoredSearch {
public:
    // Opens the files (once) and runs the search, again on each call. 0, or the exit status
    // after saying why (a refused range prints the list's message and gives kExitUsage).
    int Run(const ListSearch& search);
    const AppSettings& Settings() const { return store_.Settings(); }
    // How many rows were found.
    size_t Count() const { return keys_.size(); }
    // Found row i (from 0; read fastest in rising order). Null when it went away since the
    // keys were taken (a deletion in the window) or could not be read: Whole() is then false.
    const ResultRow* Row(size_t i);
    bool Whole() const { return !lost_ && !failed_; }
    // A run could not be read (not only a row gone).
    bool ReadFailed() const { return failed_; }
    // Says that the stored results could not be read whole; returns kExitFailed.
    int TellNotWhole();

private:
    StoredResults store_;
    std::unique_ptr<CResultSearch> found_;
    std::vector<RowKey> keys_;
    std::vector<ResultRow> run_;
    std::vector<int> slot_; // for each key of the run: its row in run_, -1 when missing
    size_t runFirst_ = 0;
    bool lost_ = false;
    bool failed_ = false;
};
