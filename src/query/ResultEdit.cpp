#include "ResultEdit.h"

#include <QDateTime>
#include <algorithm>
#include <pwd.h>
#include <sqlite3.h>
#include <unistd.h>

namespace {

// One prepared statement, finalized on every way out.
class Statement {
public:
    Statement(sqlite3* db, const std::string& sql) {
        prepared_ = sqlite3_prepare_v2(db, sql.c_str(), -1, &st_, nullptr);
    }
    ~Statement() { sqlite3_finalize(st_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ok() const { return prepared_ == SQLITE_OK && st_ != nullptr; }
    sqlite3_stmt* Handle() const { return st_; }
    void Text(int index, const std::string& value) {
        sqlite3_bind_text(st_, index, value.data(), static_cast<int>(value.size()),
                          SQLITE_TRANSIENT);
    }
    void Null(int index) { sqlite3_bind_null(st_, index); }
    void Int(int index, long long value) { sqlite3_bind_int64(st_, index, value); }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step() { return sqlite3_step(st_); }
    long long ColumnInt(int index) const { return sqlite3_column_int64(st_, index); }
    std::string ColumnText(int index) const {
        const unsigned char* t = sqlite3_column_text(st_, index);
        return t ? std::string(reinterpret_cast<const char*>(t),
                               static_cast<size_t>(sqlite3_column_bytes(st_, index)))
                 : std::string();
    }
    void Reset() {
        sqlite3_reset(st_);
        sqlite3_clear_bindings(st_);
    }

private:
    sqlite3_stmt* st_ = nullptr;
    int prepared_ = SQLITE_ERROR;
};

// Length of the well-formed UTF-8 character at p (at most n bytes), 0 when there is none.
size_t Utf8CharLength(const unsigned char* p, size_t n) {
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    size_t len = 0;
    unsigned char lo = 0x80, hi = 0xbf; // the range of the second byte
    if (c >= 0xc2 && c <= 0xdf) {
        len = 2;
    } else if (c >= 0xe0 && c <= 0xef) {
        len = 3;
        lo = c == 0xe0 ? 0xa0 : 0x80; // no overlong forms
        hi = c == 0xed ? 0x9f : 0xbf; // no surrogates
    } else if (c >= 0xf0 && c <= 0xf4) {
        len = 4;
        lo = c == 0xf0 ? 0x90 : 0x80;
        hi = c == 0xf4 ? 0x8f : 0xbf; // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (n < len || p[1] < lo || p[1] > hi)
        return 0;
    for (size_t i = 2; i < len; ++i)
        if (p[i] < 0x80 || p[i] > 0xbf)
            return 0;
    return len;
}

// json_value_text(x): a column's value as json_object may take it. Text becomes valid UTF-8
// whatever bytes the analyzer sent: a byte that is not part of a well-formed UTF-8 character
// stands for its Latin-1 character. A blob (only another tool could write one) becomes its hex
// text; numbers and NULL stay as they are.
void JsonValueText(sqlite3_context* context, int, sqlite3_value** argv) {
    sqlite3_value* v = argv[0];
    if (sqlite3_value_type(v) == SQLITE_BLOB) {
        static const char kHex[] = "0123456789ABCDEF";
        const auto* b = static_cast<const unsigned char*>(sqlite3_value_blob(v));
        const size_t n = static_cast<size_t>(sqlite3_value_bytes(v));
        std::string hex;
        hex.reserve(2 * n);
        for (size_t i = 0; i < n; ++i) {
            hex += kHex[b[i] >> 4];
            hex += kHex[b[i] & 0xf];
        }
        sqlite3_result_text(context, hex.data(), static_cast<int>(hex.size()), SQLITE_TRANSIENT);
        return;
    }
    if (sqlite3_value_type(v) != SQLITE_TEXT) {
        sqlite3_result_value(context, v);
        return;
    }
    const unsigned char* p = sqlite3_value_text(v);
    const size_t n = static_cast<size_t>(sqlite3_value_bytes(v));
    std::string out;
    out.reserve(n + 8);
    for (size_t i = 0; i < n;) {
        if (const size_t len = Utf8CharLength(p + i, n - i)) {
            out.append(reinterpret_cast<const char*>(p + i), len);
            i += len;
        } else {
            out += static_cast<char>(0xc0 | (p[i] >> 6));
            out += static_cast<char>(0x80 | (p[i] & 0x3f));
            ++i;
        }
    }
    sqlite3_result_text(context, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

void RegisterJsonValueText(sqlite3* db) {
    sqlite3_create_function_v2(db, "json_value_text", 1,
                               SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                               &JsonValueText, nullptr, nullptr, nullptr);
}

// The whole stored row as one JSON object, columns in table order: valid JSON for any stored
// bytes (see JsonValueText).
std::string RowJsonExpression(const std::vector<std::string>& columns,
                              const std::string& alias = std::string()) {
    std::string expr = "json_object(";
    for (size_t i = 0; i < columns.size(); ++i) {
        if (i)
            expr += ", ";
        expr += QuoteText(columns[i]) + ", json_value_text(" + alias + QuoteIdentifier(columns[i]) +
                ")";
    }
    return expr + ")";
}

// The columns of the key, in the order the picked-row query reads them.
constexpr const char* kKeyColumns =
    "[DATE],[TIME],[HbA1c_VALUE],[PID],[OPID],[p_NAME],[p_DOB],[P_DIAGNOSE],[P_MEMO]";

// Does the row the statement stands on (rowid first, then kKeyColumns) read as the key? Texts
// are taken as the list takes them: up to a NUL byte, a blob as its bytes, NULL as empty.
bool ReadsAsListed(sqlite3_stmt* st, const ListRowKey& key) {
    const auto text = [st](int col) {
        const unsigned char* t = sqlite3_column_text(st, col);
        return std::string(t ? reinterpret_cast<const char*>(t) : "");
    };
    return text(1) == key.DATE && text(2) == key.TIME && text(3) == key.HbA1c_VALUE &&
           text(4) == key.PID && text(5) == key.OPID && text(6) == key.p_NAME &&
           text(7) == key.p_DOB && sqlite3_column_int(st, 8) == key.P_DIAGNOSE &&
           text(9) == key.P_MEMO;
}

// The columns other systems are told of, of one stored row.
bool ReadImage(sqlite3* db, const std::string& name, long long rowid, ResultImage& out) {
    Statement st(db, "SELECT [DATE],[TIME],[HbA1c_VALUE],[PID],[OPID],[EQ_TYPE],[p_NAME],"
                     "[p_DOB],[P_MEMO] FROM " +
                         name + " WHERE rowid=?");
    if (!st.Ok())
        return false;
    st.Int(1, rowid);
    if (st.Step() != SQLITE_ROW)
        return false;
    int c = 0;
    for (std::string* f : {&out.DATE, &out.TIME, &out.HbA1c_VALUE, &out.PID, &out.OPID,
                           &out.EQ_TYPE, &out.p_NAME, &out.p_DOB, &out.P_MEMO})
        *f = st.ColumnText(c++);
    return true;
}

// Every row identical to row ?1 in every column (itself included), with its whole row as JSON.
std::string IdenticalRowsSql(const std::string& name, const std::vector<std::string>& columns) {
    std::string same;
    for (const std::string& c : columns)
        same += (same.empty() ? "" : " AND ") + std::string("a.") + QuoteIdentifier(c) + " IS b." +
                QuoteIdentifier(c);
    return "SELECT b.rowid, " + RowJsonExpression(columns, "b.") + " FROM " + name + " AS a JOIN " +
           name + " AS b ON " + same + " WHERE a.rowid=? ORDER BY b.rowid";
}

// One change: the rows with the key's five values, their audit rows, one transaction.
class ResultChange {
public:
    ResultChange(CResultTable& table, const AuditStamp& stamp, const char* action)
        : table_(table), stamp_(stamp), action_(action) {}

    // `change` alters one stored row by its rowid; it returns an SQLite code.
    template <typename Change>
    EditOutcome Run(const ListRowKey& key, bool keepAfter, Change change) {
        auto lock = table_.Lock();
        EditOutcome out;
        if (!table_.IsOpen()) {
            out.code = SQLITE_CANTOPEN;
            out.error = "the result database is not open";
            return out;
        }
        db_ = table_.Database();
        RegisterJsonValueText(db_);
        CDbTransaction tx(table_);
        if (!tx.IsActive())
            return Fail(EditOutcome::Failed, table_.LastErrorCode(), table_.LastError());
        std::vector<std::string> columns;
        if (!table_.TableColumns(table_.GetTableName(), columns) || columns.empty())
            return Fail(EditOutcome::Failed, table_.LastErrorCode(), table_.LastError());
        name_ = "main." + table_.QuotedName();

        long long picked = 0;
        if (!PickRow(key, picked))
            return failure_;
        if (!picked) {
            out.kind = EditOutcome::NotFound;
            return out;
        }
        std::vector<std::pair<long long, std::string>> before;
        std::vector<std::string> afterJson;
        if (!ReadIdentical(columns, picked, before) || !KeepReplaced(before) ||
            !Apply(RowJsonExpression(columns), before, keepAfter, change, afterJson) ||
            !WriteAudit(before, keepAfter, afterJson))
            return failure_;
        if (!tx.Commit())
            return Fail(EditOutcome::Failed, table_.LastErrorCode(), table_.LastError());
        out.kind = EditOutcome::Done;
        out.rows = static_cast<int>(before.size());
        return out;
    }

    static std::string AuditTableSql() {
        return std::string("CREATE TABLE IF NOT EXISTS main.") + kAuditTable +
               " ([ID] INTEGER PRIMARY KEY, [CHANGED_AT] TEXT NOT NULL, [OS_USER] TEXT NOT NULL,"
               " [ACTION] TEXT NOT NULL, [TABLE_NAME] TEXT NOT NULL, [ROW_BEFORE] TEXT NOT NULL,"
               " [ROW_AFTER] TEXT)";
    }

private:
    EditOutcome Fail(EditOutcome::Kind kind, int code, const std::string& error) {
        EditOutcome out;
        out.kind = kind;
        out.code = code;
        out.error = error;
        return out;
    }
    EditOutcome FailHere(EditOutcome::Kind kind) {
        return Fail(kind, sqlite3_extended_errcode(db_), sqlite3_errmsg(db_));
    }
    // The steps of Run: each false after keeping why in failure_.
    bool Failed(EditOutcome::Kind kind) {
        failure_ = FailHere(kind);
        return false;
    }
    bool TableFailed(EditOutcome::Kind kind) {
        failure_ = Fail(kind, table_.LastErrorCode(), table_.LastError());
        return false;
    }

    // The row the list read; without its rowid, the first that reads as the key. picked stays
    // 0 when none does.
    bool PickRow(const ListRowKey& key, long long& picked) {
        Statement st(db_, std::string("SELECT rowid, ") + kKeyColumns + " FROM " + name_ +
                              (key.rowid > 0 ? " WHERE rowid=?" : " ORDER BY rowid"));
        if (!st.Ok())
            return Failed(EditOutcome::Failed);
        if (key.rowid > 0)
            st.Int(1, key.rowid);
        int rc = SQLITE_DONE;
        while (!picked && (rc = st.Step()) == SQLITE_ROW)
            if (ReadsAsListed(st.Handle(), key))
                picked = st.ColumnInt(0);
        if (rc != SQLITE_DONE && rc != SQLITE_ROW)
            return Failed(EditOutcome::Failed);
        return true;
    }

    // The rows identical to the picked one, each with its whole row as JSON.
    bool ReadIdentical(const std::vector<std::string>& columns, long long picked,
                       std::vector<std::pair<long long, std::string>>& before) {
        Statement st(db_, IdenticalRowsSql(name_, columns));
        if (!st.Ok())
            return Failed(EditOutcome::Failed);
        st.Int(1, picked);
        int rc;
        while ((rc = st.Step()) == SQLITE_ROW)
            before.emplace_back(st.ColumnInt(0), st.ColumnText(1));
        if (rc != SQLITE_DONE)
            return Failed(EditOutcome::Failed);
        return true;
    }

    // The values each row had, kept before it changes: the next download leaves it be.
    bool KeepReplaced(const std::vector<std::pair<long long, std::string>>& before) {
        if (!table_.Execute(CResultTable::ReplacedTableSql().c_str()))
            return TableFailed(EditOutcome::Failed);
        Statement keep(db_, std::string("INSERT OR IGNORE INTO main.") + kReplacedTable +
                                " SELECT ?, [DATE],[TIME],[HbA1c_VALUE],[PID],[OPID] FROM " +
                                name_ + " WHERE rowid=?");
        if (!keep.Ok())
            return Failed(EditOutcome::Failed);
        for (const auto& row : before) {
            keep.Text(1, table_.GetTableName());
            keep.Int(2, row.first);
            if (keep.Step() != SQLITE_DONE)
                return Failed(EditOutcome::Failed);
            keep.Reset();
        }
        return true;
    }

    // The change first, then its audit rows (WriteAudit): a change that cannot be made is
    // reported as such, an audit row that cannot be written cancels a change that could.
    template <typename Change>
    bool Apply(const std::string& rowJson,
               const std::vector<std::pair<long long, std::string>>& before, bool keepAfter,
               Change& change, std::vector<std::string>& afterJson) {
        afterJson.assign(before.size(), std::string());
        Statement after(db_, "SELECT " + rowJson + " FROM " + name_ + " WHERE rowid=?");
        if (!after.Ok())
            return Failed(EditOutcome::Failed);
        // The rows are identical: other systems are told of the one result once.
        ResultImage imageBefore, imageAfter;
        IResultJournal* journal = table_.Journal();
        if (journal && !ReadImage(db_, name_, before[0].first, imageBefore))
            return Failed(EditOutcome::Failed);
        for (size_t i = 0; i < before.size(); ++i) {
            if (change(db_, name_, before[i].first) != SQLITE_DONE)
                return Failed(EditOutcome::Failed);
            if (journal && i == 0) {
                if (keepAfter && !ReadImage(db_, name_, before[0].first, imageAfter))
                    return Failed(EditOutcome::Failed);
                if (!journal->ResultChanged(table_, &imageBefore,
                                            keepAfter ? &imageAfter : nullptr))
                    return Failed(EditOutcome::Failed);
            }
            if (!keepAfter)
                continue;
            after.Int(1, before[i].first);
            if (after.Step() != SQLITE_ROW)
                return Failed(EditOutcome::Failed);
            afterJson[i] = after.ColumnText(0);
            after.Reset();
        }
        return true;
    }

    bool WriteAudit(const std::vector<std::pair<long long, std::string>>& before, bool keepAfter,
                    const std::vector<std::string>& afterJson) {
        if (!table_.Execute(AuditTableSql().c_str()))
            return TableFailed(EditOutcome::AuditFailed);
        Statement audit(db_, std::string("INSERT INTO main.") + kAuditTable +
                                 " ([CHANGED_AT],[OS_USER],[ACTION],[TABLE_NAME],[ROW_BEFORE],"
                                 "[ROW_AFTER]) VALUES (?,?,?,?,?,?)");
        if (!audit.Ok())
            return Failed(EditOutcome::AuditFailed);
        for (size_t i = 0; i < before.size(); ++i) {
            audit.Text(1, stamp_.when);
            audit.Text(2, stamp_.user);
            audit.Text(3, action_);
            audit.Text(4, table_.GetTableName());
            audit.Text(5, before[i].second);
            if (keepAfter)
                audit.Text(6, afterJson[i]);
            else
                audit.Null(6);
            if (audit.Step() != SQLITE_DONE)
                return Failed(EditOutcome::AuditFailed);
            audit.Reset();
        }
        return true;
    }

    CResultTable& table_;
    const AuditStamp& stamp_;
    const char* action_;
    sqlite3* db_ = nullptr;
    std::string name_; // the table as SQL text, "main." in front
    EditOutcome failure_;
};

} // namespace

std::string OperatingSystemUser() {
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name && *pw->pw_name)
        return pw->pw_name;
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? std::to_string(geteuid()) : user.toStdString();
}

AuditStamp AuditStampNow() {
    AuditStamp s;
    s.when = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString();
    s.user = OperatingSystemUser();
    return s;
}

EditOutcome DeleteStoredResult(CResultTable& table, const ListRowKey& key,
                               const AuditStamp& stamp) {
    ResultChange change(table, stamp, "delete");
    return change.Run(key, false, [](sqlite3* db, const std::string& name, long long rowid) {
        Statement st(db, "DELETE FROM " + name + " WHERE rowid=?");
        if (!st.Ok())
            return sqlite3_errcode(db);
        st.Int(1, rowid);
        return st.Step();
    });
}

EditOutcome ModifyStoredResult(CResultTable& table, const ListRowKey& key, const ResultEdits& edits,
                               const AuditStamp& stamp) {
    ResultChange change(table, stamp, "modify");
    return change.Run(key, true, [&edits](sqlite3* db, const std::string& name, long long rowid) {
        Statement st(db, "UPDATE " + name +
                             " SET [PID]=?, [OPID]=?, [p_NAME]=?, [p_DOB]=?, [P_DIAGNOSE]=?,"
                             " [P_MEMO]=? WHERE rowid=?");
        if (!st.Ok())
            return sqlite3_errcode(db);
        st.Text(1, edits.PID);
        st.Text(2, edits.OPID);
        st.Text(3, edits.p_NAME);
        st.Text(4, edits.p_DOB);
        st.Int(5, edits.P_DIAGNOSE);
        st.Text(6, edits.P_MEMO);
        st.Int(7, rowid);
        return st.Step();
    });
}

std::string EditFailureText(const EditOutcome& outcome, bool deleting) {
    const char* verb = deleting ? "deleted" : "changed";
    std::string reason = outcome.code ? PlainReason(outcome.code) : std::string();
    if (!outcome.error.empty())
        reason += (reason.empty() ? "" : " (") + outcome.error + (reason.empty() ? "" : ")");
    switch (outcome.kind) {
    case EditOutcome::Done:
        return {};
    case EditOutcome::NotFound:
        return std::string("The result is no longer stored as the list shows it (another "
                           "download or change came first), so it was not ") +
               verb + ".\r\nThe list now shows the stored results.";
    case EditOutcome::AuditFailed:
        return std::string("The result was not ") + verb +
               ": its entry in the audit trail could not be written: " + reason +
               ".\r\nNothing was changed.";
    case EditOutcome::Failed:
        break;
    }
    return std::string("The result could not be ") + verb + ": " + reason +
           ".\r\nNothing was changed.";
}

bool ReadAuditTrail(CDbTable& table, std::vector<AuditEntry>& out, std::string* error) {
    out.clear();
    auto lock = table.Lock();
    const auto fail = [error](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    if (!table.IsOpen())
        return fail("the result database is not open");
    sqlite3* db = table.Database();
    static const char* const kTrailColumns[] = {"ID",         "CHANGED_AT", "OS_USER",  "ACTION",
                                                "TABLE_NAME", "ROW_BEFORE", "ROW_AFTER"};
    {
        // Names in SQLite ignore case: a view or a table of another tool may hold the name.
        Statement kind(db, "SELECT type FROM main.sqlite_master WHERE name=? COLLATE NOCASE");
        kind.Text(1, kAuditTable);
        const int rc = kind.Ok() ? kind.Step() : SQLITE_ERROR;
        if (rc == SQLITE_DONE)
            return true; // nothing changed yet
        if (rc != SQLITE_ROW)
            return fail(sqlite3_errmsg(db));
        const std::string type = kind.ColumnText(0);
        if (type != "table")
            return fail(std::string(kAuditTable) + " is a " + type +
                        ", not the audit trail's table; nothing was read");
        std::vector<std::string> columns;
        if (!table.TableColumns(kAuditTable, columns))
            return fail(table.LastError());
        for (const char* c : kTrailColumns)
            if (std::find(columns.begin(), columns.end(), c) == columns.end())
                return fail(std::string("the table ") + kAuditTable +
                            " is not the audit trail's table (it has no column " + c +
                            "); nothing was read");
    }
    // Newest first by the time of the change: IDs need not grow with it (SQLite picks a random
    // free one once the largest is taken). The ID breaks ties.
    Statement st(db, std::string("SELECT [ID],[CHANGED_AT],[OS_USER],[ACTION],[TABLE_NAME],"
                                 "[ROW_BEFORE],[ROW_AFTER] FROM main.") +
                         kAuditTable + " ORDER BY [CHANGED_AT] DESC, [ID] DESC");
    int rc = SQLITE_ERROR;
    while (st.Ok() && (rc = st.Step()) == SQLITE_ROW) {
        AuditEntry e;
        e.id = st.ColumnInt(0);
        e.when = st.ColumnText(1);
        e.user = st.ColumnText(2);
        e.action = st.ColumnText(3);
        e.table = st.ColumnText(4);
        e.before = st.ColumnText(5);
        e.after = st.ColumnText(6);
        out.push_back(std::move(e));
    }
    if (rc != SQLITE_DONE) {
        out.clear();
        return fail(sqlite3_errmsg(db));
    }
    return true;
}
