// CDbTable: opening and closing the file, names and errors, the schema and its columns, plain
// statements, attached files and the transaction. The list of rows and the writes are in
// DbTableRows.cpp.

#include "DbTable.h"

#include <sqlite3.h>

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

// SQLITE_STATIC spelled without the old-style cast of the sqlite3.h macro: the bound buffers
// outlive every step.
const sqlite3_destructor_type kStatic = nullptr;

bool IsOk(int code) {
    return code == SQLITE_ROW || code == SQLITE_DONE;
}

} // namespace

std::string QuoteIdentifier(const std::string& name) {
    // SQLite's square brackets have no escape for a "]" inside; such a name is quoted with
    // double quotes instead, an inner double quote doubled.
    if (name.find(']') == std::string::npos)
        return "[" + name + "]";
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"')
            out += '"';
    }
    return out + "\"";
}

std::string QuoteText(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    return out + "'";
}

bool IsBusyCode(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

bool IsDamagedCode(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

bool IsRepairCode(int code) {
    return code == SQLITE_READONLY_ROLLBACK || code == SQLITE_READONLY_RECOVERY ||
           code == SQLITE_READONLY;
}

std::string PlainReason(int code) {
    if (code == SQLITE_READONLY_ROLLBACK || code == SQLITE_READONLY_RECOVERY)
        return "a store was cut short (a crash or a power cut) and must be rolled back first";
    switch (code & 0xff) {
    case SQLITE_READONLY:
        return "the database file is read-only";
    case SQLITE_FULL:
        return "the disk is full";
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return "the database is in use by another program";
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return "the database file or its folder cannot be written";
    case SQLITE_IOERR:
        return "the disk reported an error while writing";
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return "the database file is damaged";
    default:
        return sqlite3_errstr(code);
    }
}

bool IsPlainName(const std::string& name, bool allowDot) {
    if (name.empty() || name.size() > kMaxPlainNameLength || name[0] == '.' || name[0] == '-')
        return false;
    for (char c : name) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '_' || c == '-' || (allowDot && c == '.');
        if (!plain)
            return false;
    }
    return true;
}

int CDbTable::BusyHandler(void* self, int count) {
    auto* t = static_cast<CDbTable*>(self);
    const auto now = std::chrono::steady_clock::now();
    if (count == 0)
        t->busySince_ = now;
    if (t->cancelWaits_.load() ||
        now - t->busySince_ >= std::chrono::milliseconds(t->busyTimeoutMs_.load()))
        return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return 1;
}

void CDbTable::SetBusyTimeout(int ms) {
    busyTimeoutMs_ = ms < 0 ? 0 : ms;
}

void CDbTable::CancelWaits(bool cancel) {
    cancelWaits_ = cancel;
}

std::string CDbTable::QuotedName() const {
    return QuoteIdentifier(GetTableName());
}

CDbTable::CDbTable() {
    path_.Clear();
}

CDbTable::~CDbTable() {
    if (db_ || open_)
        Close();
}

void CDbTable::NoteError(const char* what) {
    lastError_ = what;
    lastErrorCode_ = db_ ? sqlite3_extended_errcode(db_) : SQLITE_CANTOPEN;
    if (db_) {
        lastError_ += ": ";
        lastError_ += sqlite3_errmsg(db_);
    }
}

void CDbTable::RegisterColumn(int index, const char* name, unsigned type, void* value) {
    const int count = GetColumnCount();
    if (count <= 0)
        return;
    if (columns_.empty())
        columns_.resize(static_cast<size_t>(count));
    if (index < 0 || index >= count || !name || std::strlen(name) >= sizeof(ColumnDesc{}.name))
        return;
    ColumnDesc& c = columns_[static_cast<size_t>(index)];
    c.type = type;
    c.value = value;
    c.resultColumn = -1;
    std::strcpy(c.name, name);
}

bool CDbTable::OpenWithFlags(const char* path, int flags) {
    if (open_ || db_)
        return false;
    const int rc = sqlite3_open_v2(path, &db_, flags, nullptr);
    if (rc != SQLITE_OK || !db_) {
        NoteError("cannot open the file");
        return false; // a handle left behind is released by the next Close
    }
    // Another program (a backup tool, a database browser) may hold the file for a moment. The
    // wait is bounded, and CancelWaits ends it at once when the program is closing.
    sqlite3_busy_handler(db_, &CDbTable::BusyHandler, this);
    // The lists, the chart and the searches read rows by key in date order; once the rows are
    // not stored in that order, SQLite's default 2 MB cache would read most pages again and
    // again. The cache only grows as pages are read, so a small file costs no more.
    const std::string cache = "PRAGMA cache_size=-" + std::to_string(kPageCacheKiB);
    sqlite3_exec(db_, cache.c_str(), nullptr, nullptr, nullptr);
    open_ = true;
    path_.Assign(path);
    return true;
}

bool CDbTable::Open(const char* path) {
    return OpenWithFlags(path, readOnly_ ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE);
}

bool CDbTable::OpenFile(const char* path) {
    return CDbTable::Open(path);
}

bool CDbTable::TableNames(std::vector<std::string>& out) {
    out.clear();
    if (!IsOpen())
        return false;
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(
        db_, "SELECT name FROM main.sqlite_master WHERE type='table' ORDER BY name", -1, &st,
        nullptr);
    if (rc == SQLITE_OK && st) {
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            const unsigned char* t = sqlite3_column_text(st, 0);
            out.emplace_back(t ? reinterpret_cast<const char*>(t) : "");
        }
    }
    if (rc != SQLITE_DONE)
        NoteError("cannot read the file");
    sqlite3_finalize(st);
    return rc == SQLITE_DONE;
}

bool CDbTable::TableColumns(const std::string& table, std::vector<std::string>& out) {
    out.clear();
    if (!IsOpen())
        return false;
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db_, "SELECT name FROM pragma_table_info(?)", -1, &st, nullptr);
    if (rc == SQLITE_OK && st) {
        sqlite3_bind_text(st, 1, table.c_str(), -1, kStatic);
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            const unsigned char* t = sqlite3_column_text(st, 0);
            out.emplace_back(t ? reinterpret_cast<const char*>(t) : "");
        }
    }
    if (rc != SQLITE_DONE)
        NoteError("cannot read the table's columns");
    sqlite3_finalize(st);
    return rc == SQLITE_DONE;
}

bool CDbTable::OpenOrCreate(const char* path) {
    // Only a file made here gets full auto-vacuum: opening an existing file writes nothing.
    if (readOnly_) {
        lastError_ = "a reader creates nothing";
        lastErrorCode_ = SQLITE_READONLY;
        return false;
    }
    const bool fresh = path && !QFileInfo::exists(QFile::decodeName(path));
    if (!OpenWithFlags(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE))
        return false;
    if (fresh)
        Execute("PRAGMA auto_vacuum=1");
    if (!CreateTable())
        return false;
    Requery();
    return true;
}

void CDbTable::ForgetStatements() {
    sqlite3_finalize(otherInsert_);
    otherInsert_ = nullptr;
    sqlite3_finalize(insertStatement_);
    insertStatement_ = nullptr;
    for (sqlite3_stmt*& st : ownStatements_) {
        sqlite3_finalize(st);
        st = nullptr;
    }
    readAhead_.Forget();
}

sqlite3_stmt* CDbTable::CachedStatement(int slot, const std::string& sql) {
    if (!IsOpen() || slot < 0)
        return nullptr;
    if (static_cast<size_t>(slot) >= ownStatements_.size())
        ownStatements_.resize(static_cast<size_t>(slot) + 1, nullptr);
    sqlite3_stmt*& st = ownStatements_[static_cast<size_t>(slot)];
    if (!st) {
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
            NoteError("cannot prepare");
            sqlite3_finalize(st);
            st = nullptr;
        }
        return st;
    }
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    return st;
}

bool CDbTable::Close() {
    // A reading thread of a view may be inside a statement: the connection closes after it,
    // and the thread's next statement finds the table closed.
    auto lock = Lock();
    if (!open_ && !db_)
        return true;
    ForgetStatements();
    sqlite3_close(db_);
    db_ = nullptr;
    open_ = false;
    columnsChecked_ = false;
    path_.Clear();
    for (ColumnDesc& c : columns_)
        c.resultColumn = -1;
    return true;
}

bool CDbTable::Execute(const char* sql) {
    if (!IsOpen() || !sql)
        return false;
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql, -1, &st, nullptr);
    if (rc == SQLITE_OK && st)
        rc = sqlite3_step(st);
    if (!IsOk(rc))
        NoteError(sql);
    sqlite3_finalize(st);
    return IsOk(rc);
}

bool CDbTable::ExecuteKeepingLastError(const char* sql) {
    const std::string error = lastError_;
    const int code = lastErrorCode_;
    const bool ok = Execute(sql);
    lastError_ = error;
    lastErrorCode_ = code;
    return ok;
}

std::string CDbTable::CreateTableSql(const std::string& qualifiedName, bool ifNotExists) const {
    std::string sql = ifNotExists ? "CREATE TABLE IF NOT EXISTS " : "CREATE TABLE ";
    sql += qualifiedName + " (";
    for (size_t i = 0; i < columns_.size(); ++i) {
        const ColumnDesc& c = columns_[i];
        sql += i == 0 ? ' ' : ',';
        sql += QuoteIdentifier(c.name) + " " + ColumnCreateType(c.type);
    }
    return sql + ")";
}

bool CDbTable::CreateTable() {
    if (!IsOpen() || columns_.empty() || GetColumnCount() <= 0)
        return false;
    Execute(CreateTableSql(QuotedName(), false).c_str()); // fails quietly when the table exists
    return true;
}

bool CDbTable::DropTable() {
    if (!IsOpen())
        return false;
    ForgetStatements();
    Execute(("DELETE FROM " + QuotedName()).c_str());
    Execute(("DROP TABLE  " + QuotedName()).c_str());
    columnsChecked_ = false;
    return true;
}

std::string CDbTable::BuildSelect(bool rowidOnly, bool withFilter, bool withSort) const {
    std::string sql = rowidOnly ? "SELECT ROWID FROM " : "SELECT * FROM ";
    sql += QuotedName();
    if (withFilter && filter_.IsNonEmpty()) {
        sql += " WHERE ";
        sql += filter_.c_str();
    }
    if (withSort && sort_.IsNonEmpty()) {
        sql += " ORDER BY ";
        sql += sort_.c_str();
    }
    return sql;
}

bool CDbTable::MapColumns(sqlite3_stmt* select) {
    tableColumnCount_ = sqlite3_column_count(select);
    for (ColumnDesc& c : columns_)
        c.resultColumn = -1;
    for (int rc = 0; rc < tableColumnCount_; ++rc) {
        const char* name = sqlite3_column_name(select, rc);
        if (!name)
            continue;
        for (ColumnDesc& c : columns_) {
            if (c.resultColumn == -1 && std::strcmp(c.name, name) == 0) {
                c.resultColumn = rc;
                break;
            }
        }
    }
    for (const ColumnDesc& c : columns_)
        if (c.resultColumn == -1)
            return false;
    return true;
}

bool CDbTable::CheckColumns() {
    if (!IsOpen() || columns_.empty() || GetColumnCount() <= 0)
        return false;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, BuildSelect(false, true, true).c_str(), -1, &st, nullptr) !=
            SQLITE_OK ||
        !st) {
        NoteError("cannot read the table");
        sqlite3_finalize(st);
        return false;
    }
    const bool complete = MapColumns(st);
    sqlite3_finalize(st);

    if (!complete && readOnly_) {
        lastError_ = "the table " + QuotedName() + " lacks columns of this version of the program";
        lastErrorCode_ = SQLITE_READONLY;
        return false;
    }
    if (!complete) {
        // A table from an earlier layout: add the missing columns and fill the existing rows.
        const std::string table = QuotedName();
        for (const ColumnDesc& c : columns_) {
            if (c.resultColumn != -1)
                continue;
            const std::string column = QuoteIdentifier(c.name);
            Execute(("ALTER TABLE " + table + " ADD COLUMN " + column + " " + ColumnAddType(c.type))
                        .c_str());
            if (const char* fill = ColumnFillValue(c.type))
                Execute(("UPDATE " + table + " SET " + column + " = " + fill).c_str());
        }
        // Map again at once, so that values written to the new columns in this run read back.
        ForgetStatements();
        sqlite3_stmt* again = nullptr;
        if (sqlite3_prepare_v2(db_, BuildSelect(false, false, false).c_str(), -1, &again,
                               nullptr) == SQLITE_OK &&
            again)
            MapColumns(again);
        sqlite3_finalize(again);
    }
    columnsChecked_ = true;
    return true;
}

bool CDbTable::Attach(const char* path, const char* schema) {
    if (!IsOpen() || !path || !schema)
        return false;
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db_, "ATTACH DATABASE ? AS ?", -1, &st, nullptr);
    if (rc == SQLITE_OK && st) {
        sqlite3_bind_text(st, 1, path, -1, kStatic);
        sqlite3_bind_text(st, 2, schema, -1, kStatic);
        rc = sqlite3_step(st);
    }
    if (rc != SQLITE_DONE)
        NoteError("cannot attach");
    sqlite3_finalize(st);
    return rc == SQLITE_DONE;
}

bool CDbTable::Detach(const char* schema) {
    if (!IsOpen() || !schema)
        return false;
    sqlite3_finalize(otherInsert_); // it names a table of the attached file
    otherInsert_ = nullptr;
    return Execute(("DETACH DATABASE " + QuoteIdentifier(schema)).c_str());
}

CDbTransaction::CDbTransaction(CDbTable& table) : table_(table) {
    active_ = table_.Execute("BEGIN IMMEDIATE");
}

CDbTransaction::~CDbTransaction() {
    Rollback();
}

bool CDbTransaction::Commit() {
    if (!active_)
        return false;
    active_ = false;
    if (table_.Execute("COMMIT"))
        return true;
    RollbackKeepingError();
    return false;
}

void CDbTransaction::Rollback() {
    if (!active_)
        return;
    active_ = false;
    RollbackKeepingError();
}

void CDbTransaction::RollbackKeepingError() {
    sqlite3* db = table_.Database();
    if (!db || sqlite3_get_autocommit(db))
        return; // SQLite has rolled back already
    table_.ExecuteKeepingLastError("ROLLBACK");
}
