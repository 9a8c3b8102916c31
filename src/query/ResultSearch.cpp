#include "query/ResultSearch.h"

#include "storage/Databases.h"

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

// The row's columns from column `at` of the statement on.
void ReadRow(sqlite3_stmt* st, int at, RowKey key, ResultRow& row) {
    row.key.DATE = TextAt(st, at + 0);
    row.key.TIME = TextAt(st, at + 1);
    row.key.HbA1c_VALUE = TextAt(st, at + 2);
    row.key.PID = TextAt(st, at + 3);
    row.key.OPID = TextAt(st, at + 4);
    row.key.p_NAME = TextAt(st, at + 5);
    row.key.p_DOB = TextAt(st, at + 6);
    row.key.P_DIAGNOSE = sqlite3_column_int(st, at + 7);
    row.key.P_MEMO = TextAt(st, at + 8);
    row.key.rowid = key;
    row.EQ_TYPE = TextAt(st, at + 9);
}

struct Statement {
    sqlite3_stmt* st = nullptr;
    ~Statement() { sqlite3_finalize(st); }
};

} // namespace

std::string CResultSearch::Where() const {
    return filter_.empty() ? "" : " WHERE " + filter_;
}

std::string CResultSearch::OrderBy() const {
    return order_.empty() ? "" : " ORDER BY " + order_;
}

bool CResultSearch::ReadKeys(std::vector<RowKey>& keys) const {
    keys.clear();
    auto lock = table_.Lock();
    if (!table_.IsOpen())
        return false;
    const std::string sql = "SELECT ROWID FROM " + table_.QuotedName() + Where() + OrderBy();
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
    const size_t n = std::min(count, keys.size() - first);
    // The run's rows are looked up in ROWID order, which is the order of the file's pages: a
    // run costs the same whether the rows were stored in date order or not. They are put back
    // in the order of the keys afterwards.
    std::vector<std::pair<RowKey, size_t>> byKey(n);
    for (size_t i = 0; i < n; ++i)
        byKey[i] = {keys[first + i], i};
    std::sort(byKey.begin(), byKey.end());
    std::vector<ResultRow> found(n);
    std::vector<char> present(n, 0);
    {
        auto lock = table_.Lock();
        if (!table_.IsOpen())
            return false;
        const std::string sql = std::string("SELECT ") + kRowColumns + " FROM " +
                                table_.QuotedName() + " WHERE ROWID=?";
        Statement s;
        if (sqlite3_prepare_v2(table_.Database(), sql.c_str(), -1, &s.st, nullptr) != SQLITE_OK)
            return false;
        // One read transaction for the run, not one per row.
        const bool inTransaction = sqlite3_get_autocommit(table_.Database()) == 0;
        if (!inTransaction)
            sqlite3_exec(table_.Database(), "BEGIN", nullptr, nullptr, nullptr);
        bool ok = true;
        for (size_t i = 0; i < n && ok; ++i) {
            sqlite3_reset(s.st);
            sqlite3_bind_int64(s.st, 1, byKey[i].first);
            const int rc = sqlite3_step(s.st);
            if (rc == SQLITE_ROW) {
                ReadRow(s.st, 0, byKey[i].first, found[byKey[i].second]);
                present[byKey[i].second] = 1;
            } else if (rc != SQLITE_DONE) {
                ok = false;
            }
        }
        sqlite3_reset(s.st);
        if (!inTransaction)
            sqlite3_exec(table_.Database(), "COMMIT", nullptr, nullptr, nullptr);
        if (!ok)
            return false;
    }
    out.reserve(n);
    for (size_t i = 0; i < n; ++i)
        if (present[i])
            out.push_back(std::move(found[i]));
    return true;
}

bool CResultSearch::ReadFirstRow(ResultRow& row, bool& found) const {
    found = false;
    auto lock = table_.Lock();
    if (!table_.IsOpen())
        return false;
    sqlite3* db = table_.Database();
    // The key through the index alone, then its row: asked for every column at once with the
    // stored-order tie, SQLite would sort the whole table for the one row. One read
    // transaction, so the row is the one the key named.
    const bool inTransaction = sqlite3_get_autocommit(db) == 0;
    if (!inTransaction)
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    bool ok = false;
    RowKey key = 0;
    {
        const std::string sql =
            "SELECT ROWID FROM " + table_.QuotedName() + Where() + OrderBy() + " LIMIT 1";
        Statement s;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s.st, nullptr) == SQLITE_OK) {
            const int rc = sqlite3_step(s.st);
            ok = rc == SQLITE_ROW || rc == SQLITE_DONE;
            found = rc == SQLITE_ROW;
            if (found)
                key = sqlite3_column_int64(s.st, 0);
        }
    }
    if (found) {
        std::vector<ResultRow> rows;
        ok = ReadRows({key}, 0, 1, rows);
        found = ok && !rows.empty();
        if (found)
            row = std::move(rows.front());
    }
    if (!inTransaction)
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
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

bool SetListSearch(CResultSearch& search, const ListSearch& o, const AppSettings& settings,
                   const QDate& today, std::string* message) {
    const bool dates = o.from.isValid() || o.to.isValid() || !o.pid.empty() || !o.opid.empty();
    if (o.periodWeeks <= 0 && !dates) {
        search.SetFilter("");
        search.SetOrder(kDefaultSort);
        return true;
    }
    // The first row of the list's order: the newest stored result.
    CResultSearch newest(search.Table());
    newest.SetOrder(kDefaultSort);
    ResultRow first;
    bool found = false;
    newest.ReadFirstRow(first, found);
    std::string filter;
    if (o.periodWeeks > 0) {
        // The period list takes its date from the first row as the list shows it.
        const std::string shown =
            found ? ResultCells(first, 1, settings, ListKind::AllData)[1] : std::string();
        filter = PeriodFilter(o.periodWeeks, shown, settings.Date, today);
    } else {
        QDate reference = today;
        if (found) {
            const QDate stored =
                QDate::fromString(QString::fromLatin1(first.key.DATE.c_str()), "yyyyMMdd");
            if (stored.isValid())
                reference = stored;
        }
        const QDate to = o.to.isValid() ? o.to : reference;
        const QDate from = o.from.isValid() ? o.from : to.addDays(-7);
        const QDateTime start(from, QTime(0, 0)), end(to, QTime(0, 0));
        const RangeCheck check = CheckSearchRange(start, end);
        if (check != RangeCheck::Ok) {
            if (message)
                *message = RangeMessage(check);
            return false;
        }
        filter = RangeFilter(start, end, o.pid, o.opid);
    }
    search.SetFilter(filter);
    search.SetOrder(kDefaultSort);
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
