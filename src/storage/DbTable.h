#pragma once
// Record-at-a-time access to one table of one SQLite file, in the manner of a recordset: one
// bound value per declared column, a filter (WHERE text) and a sort (ORDER BY text) set by the
// caller, a requery that fixes the list of matching ROWIDs (in one statement, so it is the set
// of rows of one moment, also while another program stores), navigation that reads one row at a
// time by ROWID, and add, update and delete.
//
// Every operation that touches the database requires the table to be open and otherwise does
// nothing and returns false (or 0). Failures are reported by the result; no exceptions, no
// messages. LastError() tells what SQLite said about the last failure.
//
// Threads: a table is used by one thread at a time. A caller that may share a table with
// another thread holds Lock() for the whole sequence (set filter, requery, read rows).

#include "DbColumns.h"
#include "DbRowCache.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// Names of tables and users come from the profile files, which anyone can edit: only plain
// names (letters, digits, "_", "-", and for file names ".") of a sensible length reach SQL or a
// path.
inline constexpr size_t kMaxPlainNameLength = 64;
// The page cache of each connection, in KiB.
inline constexpr int kPageCacheKiB = 64 * 1024;
bool IsPlainName(const std::string& name, bool allowDot = false);
// What an SQLite failure means to the user, in plain words ("the disk is full").
std::string PlainReason(int sqliteCode);
// True for the codes that mean another program holds the file.
bool IsBusyCode(int sqliteCode);
// True for the codes that mean the file is not a healthy database.
bool IsDamagedCode(int sqliteCode);
// True for the codes a read-only connection gets where a writing one would repair the file (an
// interrupted store to roll back, a table to create or complete).
bool IsRepairCode(int sqliteCode);
// An identifier as SQL text: "[name]", or in double quotes when the name holds a "]".
std::string QuoteIdentifier(const std::string& name);
// A text as an SQL string literal: in single quotes, an inner quote doubled.
std::string QuoteText(const std::string& text);

class CDbTable {
public:
    CDbTable();
    virtual ~CDbTable();
    CDbTable(const CDbTable&) = delete;
    CDbTable& operator=(const CDbTable&) = delete;

    virtual const char* GetTableName() const = 0;
    virtual int GetColumnCount() const = 0;
    // Opens an existing file read-write; a new file gets full auto-vacuum.
    virtual bool Open(const char* path);

    void RegisterColumn(int index, const char* name, unsigned type, void* value);
    // Opens an existing file read-write without looking at the table (no requery).
    bool OpenFile(const char* path);
    // The tables of the open file, and the columns of one. False when the file cannot be read
    // (not a database, held by another program): LastErrorCode tells which.
    bool TableNames(std::vector<std::string>& out);
    bool TableColumns(const std::string& table, std::vector<std::string>& out);
    // As Open, but creates the file and the table when missing, then requeries.
    bool OpenOrCreate(const char* path);
    bool Close();
    bool Execute(const char* sql);
    // The same, leaving LastError() and LastErrorCode() as they were (a clean-up after a failure).
    bool ExecuteKeepingLastError(const char* sql);
    // The CREATE TABLE text of the declared columns for the given (quoted, perhaps
    // schema-qualified) table name.
    std::string CreateTableSql(const std::string& qualifiedName, bool ifNotExists) const;
    bool CreateTable();
    bool DropTable();
    std::string BuildSelect(bool rowidOnly, bool withFilter, bool withSort) const;
    bool CheckColumns();
    int CountRows();
    bool Requery();
    // Drops the listed rows without reading: the next Requery lists them again.
    void ForgetRows();
    bool RequeryHasRows();
    // Whether the table can be read now, without listing its rows: its columns checked (and
    // completed, unless read-only) and its first row read. False where Requery would fail for a
    // file in use, damaged or lacking columns. The list of rows is left as it was.
    bool CheckReadable();
    bool DeleteWhere();
    bool MoveTo(int n);
    bool MoveFirst();
    bool MoveNext();
    bool IsEOF() const;
    void ClearFields();
    void LoadRow(sqlite3_stmt* statement);
    bool AddNew();
    bool Edit();
    // Writes the bound values into the rows the WHERE text names. False when the statement
    // fails or names no row.
    bool UpdateWhere(const char* where);
    // Stores the bound values as a new row. False when nothing was stored.
    bool Update();
    bool InsertWithColumnList();
    // Stores the bound values as a new row of another table on this connection (an attached
    // one, "schema".[table]); the list of this table is not touched.
    bool InsertInto(const std::string& qualifiedName);
    // Another database file on this connection, so that one transaction covers both files.
    bool Attach(const char* path, const char* schema);
    bool Detach(const char* schema);
    // The table name as SQL text.
    std::string QuotedName() const;

    // Read-only mode, for the next open: the file is opened with SQLITE_OPEN_READONLY, nothing
    // is created, and a table that lacks declared columns is reported (IsRepairCode) instead of
    // completed. Readers beside a running program use it.
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
    bool IsReadOnly() const { return readOnly_; }
    // How many times a requery could not list its rows, or a listed row could not be read (it
    // went away, or the read failed), since the table was made: a reader that needs every row
    // compares it before and after.
    int ReadFailures() const { return readFailures_; }

    // How long a statement waits for another program that holds the file (default 5 s).
    void SetBusyTimeout(int ms);
    // From any thread: waits for another program end at once (the program is closing).
    void CancelWaits(bool cancel);

    void SetFilter(const char* filter) { filter_.Assign(filter ? filter : ""); }
    void SetSort(const char* sort) { sort_.Assign(sort ? sort : ""); }
    const CTextBuf& Filter() const { return filter_; }
    const CTextBuf& Sort() const { return sort_; }

    bool IsOpen() const { return open_ && db_ != nullptr; }
    const CTextBuf& Path() const { return path_; }
    int RowCount() const { return rowCount_; }
    int Position() const { return position_; }
    int TableColumnCount() const { return tableColumnCount_; }
    bool ColumnsChecked() const { return columnsChecked_; }
    int Loaded() const { return loaded_; }
    bool IsAdding() const { return adding_; }
    int RowIdCapacity() const { return static_cast<int>(rowIds_.size()); }
    // ROWID of matching row n (1-based), 0 outside the list.
    int RowIdAt(int n) const;
    const ColumnDesc* Columns() const { return columns_.empty() ? nullptr : columns_.data(); }
    const std::string& LastError() const { return lastError_; }
    // SQLite's extended result code of the last failure.
    int LastErrorCode() const { return lastErrorCode_; }
    sqlite3* Database() const { return db_; }
    // A statement prepared once on this connection and kept until it closes: reset and its
    // bindings cleared when handed out again. Null when it cannot be prepared. Slots 0 to 1
    // are the result table's, 2 to 3 the lab outbox's.
    sqlite3_stmt* CachedStatement(int slot, const std::string& sql);
    // Takes SQLite's last error on this connection as the table's, with `what` in front.
    void NoteError(const char* what);

    // One thread at a time: hold this for a whole sequence of calls.
    std::unique_lock<std::recursive_mutex> Lock() {
        return std::unique_lock<std::recursive_mutex>(mutex_);
    }

protected:
    // Subclasses call this when the table name changes: the cached statements name the table.
    void ForgetStatements();

private:
    bool OpenWithFlags(const char* path, int flags);
    bool MapColumns(sqlite3_stmt* select);
    bool BindColumns(sqlite3_stmt* statement);
    bool AppendRowId(long long rowid);
    std::string InsertSql(const std::string& qualifiedName) const;
    static int BusyHandler(void* self, int count);

    sqlite3* db_ = nullptr;
    std::vector<ColumnDesc> columns_;
    bool open_ = false;
    CTextBuf path_;
    CTextBuf filter_;
    CTextBuf sort_;
    int rowCount_ = 0;
    int position_ = -1;
    int tableColumnCount_ = 0;
    bool columnsChecked_ = false;
    std::vector<int> rowIds_; // size() is the capacity; the first rowCount_ entries are valid
    int loaded_ = 0;
    bool adding_ = false;
    bool readOnly_ = false;
    int readFailures_ = 0;

    // Prepared once per open table: the read-ahead of rows and the insert are the statements
    // run for every row.
    sqlite3_stmt* insertStatement_ = nullptr;
    std::vector<sqlite3_stmt*> ownStatements_;
    sqlite3_stmt* otherInsert_ = nullptr; // InsertInto's, for otherInsertTarget_
    std::string otherInsertTarget_;
    // Navigation reads rows ahead in list order (see DbRowCache.h).
    CRowReadAhead readAhead_;
    std::string lastError_;
    int lastErrorCode_ = 0;
    std::atomic<int> busyTimeoutMs_{5000};
    std::atomic<bool> cancelWaits_{false};
    std::chrono::steady_clock::time_point busySince_;
    std::recursive_mutex mutex_;
};

// A transaction on a table's connection: BEGIN IMMEDIATE now, COMMIT on Commit(), ROLLBACK when
// it goes out of scope uncommitted. Hold the table's Lock() around it. The rollback never hides
// the error that caused it: after a full disk or an I/O error SQLite may have rolled back on its
// own, and the table's last error stays the first one.
class CDbTransaction {
public:
    explicit CDbTransaction(CDbTable& table);
    ~CDbTransaction();
    CDbTransaction(const CDbTransaction&) = delete;
    CDbTransaction& operator=(const CDbTransaction&) = delete;

    bool IsActive() const { return active_; }
    bool Commit();
    void Rollback();

private:
    void RollbackKeepingError();

    CDbTable& table_;
    bool active_ = false;
};
