#include "storage/ResultSearch.h"

#include <sqlite3.h>

#include <algorithm>

namespace {

// The columns a list row needs, in the order ReadRow takes them.
constexpr const char* kRowColumns = "[DATE], [TIME], [HbA1c_VALUE], [PID], [OPID], [p_NAME], "
                                    "[p_DOB], [P_DIAGNOSE], [P_MEMO], [EQ_TYPE]";

// A text column as the bound record reads it: up to the first NUL, NULL as "".
std::string TextAt(sqlite3_stmt* st, int col) {
    const unsigned char* t = sqlite3_column_text(st, col);
    return t ? std::string(reinterpret_cast<const char*>(t)) : std::string();
}

void ReadRow(sqlite3_stmt* st, RowKey key, ResultRow& row) {
    row.key.DATE = TextAt(st, 0);
    row.key.TIME = TextAt(st, 1);
    row.key.HbA1c_VALUE = TextAt(st, 2);
    row.key.PID = TextAt(st, 3);
    row.key.OPID = TextAt(st, 4);
    row.key.p_NAME = TextAt(st, 5);
    row.key.p_DOB = TextAt(st, 6);
    row.key.P_DIAGNOSE = sqlite3_column_int(st, 7);
    row.key.P_MEMO = TextAt(st, 8);
    row.key.rowid = key;
    row.EQ_TYPE = TextAt(st, 9);
}

struct Statement {
    sqlite3_stmt* st = nullptr;
    ~Statement() { sqlite3_finalize(st); }
};

} // namespace

std::string CResultSearch::Where() const {
    return filter_.empty() ? "" : " WHERE " + filter_;
}

bool CResultSearch::ReadKeys(std::vector<RowKey>& keys) const {
    keys.clear();
    auto lock = table_.Lock();
    if (!table_.IsOpen())
        return false;
    std::string sql = "SELECT ROWID FROM " + table_.QuotedName() + Where();
    if (!order_.empty())
        sql += " ORDER BY " + order_;
    Statement s;
    if (sqlite3_prepare_v2(table_.Database(), sql.c_str(), -1, &s.st, nullptr) != SQLITE_OK)
        return false;
    int rc;
    while ((rc = sqlite3_step(s.st)) == SQLITE_ROW)
        keys.push_back(sqlite3_column_int64(s.st, 0));
    if (rc != SQLITE_DONE) {
        keys.clear();
        return false;
    }
    return true;
}

int CResultSearch::Count() const {
    auto lock = table_.Lock();
    if (!table_.IsOpen())
        return -1;
    const std::string sql = "SELECT COUNT(*) FROM " + table_.QuotedName() + Where();
    Statement s;
    if (sqlite3_prepare_v2(table_.Database(), sql.c_str(), -1, &s.st, nullptr) != SQLITE_OK ||
        sqlite3_step(s.st) != SQLITE_ROW)
        return -1;
    return sqlite3_column_int(s.st, 0);
}

bool CResultSearch::ReadRows(const std::vector<RowKey>& keys, size_t first, size_t count,
                             std::vector<ResultRow>& out) const {
    out.clear();
    if (first >= keys.size())
        return true;
    const size_t end = first + std::min(count, keys.size() - first);
    auto lock = table_.Lock();
    if (!table_.IsOpen())
        return false;
    const std::string sql =
        std::string("SELECT ") + kRowColumns + " FROM " + table_.QuotedName() + " WHERE ROWID=?";
    Statement s;
    if (sqlite3_prepare_v2(table_.Database(), sql.c_str(), -1, &s.st, nullptr) != SQLITE_OK)
        return false;
    // One read transaction for the run, not one per row.
    const bool inTransaction = sqlite3_get_autocommit(table_.Database()) == 0;
    if (!inTransaction)
        sqlite3_exec(table_.Database(), "BEGIN", nullptr, nullptr, nullptr);
    bool ok = true;
    out.reserve(end - first);
    for (size_t i = first; i < end && ok; ++i) {
        sqlite3_reset(s.st);
        sqlite3_bind_int64(s.st, 1, keys[i]);
        const int rc = sqlite3_step(s.st);
        if (rc == SQLITE_ROW) {
            out.emplace_back();
            ReadRow(s.st, keys[i], out.back());
        } else if (rc != SQLITE_DONE) {
            ok = false;
        }
    }
    sqlite3_reset(s.st);
    if (!inTransaction)
        sqlite3_exec(table_.Database(), "COMMIT", nullptr, nullptr, nullptr);
    return ok;
}

bool CResultSearch::ForEachRow(const std::function<bool(const ResultRow&)>& each,
                               size_t run) const {
    std::vector<RowKey> keys;
    if (!ReadKeys(keys))
        return false;
    std::vector<ResultRow> rows;
    for (size_t first = 0; first < keys.size(); first += run) {
        if (!ReadRows(keys, first, run, rows))
            return false;
        for (const ResultRow& row : rows)
            if (!each(row))
                return true;
    }
    return true;
}

bool CResultSearch::ReadPlaces(const IndexPlace* from, bool backward, size_t skip, size_t count,
                               std::vector<IndexPlace>& out) const {
    out.clear();
    if (count == 0)
        return true;
    std::string sql =
        "SELECT [DATE], [TIME], [HbA1c_VALUE], [PID], [OPID], ROWID FROM " + table_.QuotedName();
    if (from) {
        // The filter goes in as one opaque term, so the planner seeks by the place and not by a
        // date range of the filter (which would step from the start of the range).
        sql += " WHERE ([DATE], [TIME], [HbA1c_VALUE], [PID], [OPID], ROWID) ";
        sql += backward ? "< (?1, ?2, ?3, ?4, ?5, ?6)" : "> (?1, ?2, ?3, ?4, ?5, ?6)";
        if (!filter_.empty())
            sql += " AND CASE WHEN (" + filter_ + ") THEN 1 ELSE 0 END";
    } else if (!filter_.empty()) {
        sql += " WHERE " + filter_;
    }
    sql += backward ? " ORDER BY [DATE] DESC, [TIME] DESC, [HbA1c_VALUE] DESC, [PID] DESC, "
                      "[OPID] DESC, ROWID DESC"
                    : std::string(" ORDER BY ") + kIndexOrder;
    sql += " LIMIT ?7 OFFSET ?8";
    auto lock = table_.Lock();
    if (!table_.IsOpen())
        return false;
    Statement s;
    if (sqlite3_prepare_v2(table_.Database(), sql.c_str(), -1, &s.st, nullptr) != SQLITE_OK)
        return false;
    if (from) {
        // No destructor (SQLITE_STATIC): the place outlives the statement.
        int i = 1;
        for (const std::string* v :
             {&from->DATE, &from->TIME, &from->HbA1c_VALUE, &from->PID, &from->OPID})
            sqlite3_bind_text(s.st, i++, v->c_str(), static_cast<int>(v->size()), nullptr);
        sqlite3_bind_int64(s.st, 6, from->rowid);
    }
    sqlite3_bind_int64(s.st, 7, static_cast<sqlite3_int64>(count));
    sqlite3_bind_int64(s.st, 8, static_cast<sqlite3_int64>(skip));
    out.reserve(count);
    int rc;
    while ((rc = sqlite3_step(s.st)) == SQLITE_ROW) {
        IndexPlace p;
        p.DATE = TextAt(s.st, 0);
        p.TIME = TextAt(s.st, 1);
        p.HbA1c_VALUE = TextAt(s.st, 2);
        p.PID = TextAt(s.st, 3);
        p.OPID = TextAt(s.st, 4);
        p.rowid = sqlite3_column_int64(s.st, 5);
        out.push_back(std::move(p));
    }
    if (rc != SQLITE_DONE) {
        out.clear();
        return false;
    }
    return true;
}
