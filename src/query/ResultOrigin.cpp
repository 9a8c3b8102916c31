#include "ResultOrigin.h"

#include "ResultEdit.h"

#include <map>
#include <sqlite3.h>
#include <tuple>

namespace {

using Key = std::tuple<std::string, std::string, std::string, std::string, std::string>;

Key KeyOf(const ResultIdentity& r) {
    return {r.DATE, r.TIME, r.HbA1c_VALUE, r.PID, r.OPID};
}

struct Step {
    long long id;
    ResultIdentity before;
};

std::string Column(sqlite3_stmt* st, int col) {
    const unsigned char* t = sqlite3_column_text(st, col);
    return t ? std::string(reinterpret_cast<const char*>(t),
                           static_cast<size_t>(sqlite3_column_bytes(st, col)))
             : std::string();
}

} // namespace

ResultIdentity IdentityOf(const ListRowKey& key) {
    return {key.DATE, key.TIME, key.HbA1c_VALUE, key.PID, key.OPID};
}

namespace {

using Corrections = std::map<Key, std::vector<Step>>;

// Every correction of this table, by its values after the change, oldest first. Nothing when
// the table has no audit trail yet.
bool ReadCorrections(CResultTable& table, Corrections& byAfter, std::string* error) {
    auto lock = table.Lock();
    if (!table.IsOpen()) {
        if (error)
            *error = "the result database is not open";
        return false;
    }
    sqlite3* db = table.Database();
    sqlite3_stmt* st = nullptr;
    const auto fail = [&]() {
        if (error)
            *error = sqlite3_errmsg(db);
        sqlite3_finalize(st);
        return false;
    };
    if (sqlite3_prepare_v2(db, "SELECT 1 FROM main.sqlite_master WHERE type='table' AND name=?", -1,
                           &st, nullptr) != SQLITE_OK)
        return fail();
    sqlite3_bind_text(st, 1, kAuditTable, -1, SQLITE_STATIC);
    const int exists = sqlite3_step(st);
    sqlite3_finalize(st);
    st = nullptr;
    if (exists == SQLITE_DONE)
        return true;
    if (exists != SQLITE_ROW)
        return fail();
    std::string sql = "SELECT [ID]";
    for (const char* side : {"[ROW_BEFORE]", "[ROW_AFTER]"})
        for (const char* col : {"DATE", "TIME", "HbA1c_VALUE", "PID", "OPID"})
            sql += std::string(", json_extract(") + side + ", '$." + col + "')";
    sql += std::string(" FROM main.") + kAuditTable +
           " WHERE [ACTION]='modify' AND [TABLE_NAME]=? AND json_valid([ROW_BEFORE])"
           " AND json_valid([ROW_AFTER]) ORDER BY [ID]";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
        return fail();
    sqlite3_bind_text(st, 1, table.GetTableName(), -1, SQLITE_TRANSIENT);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        const ResultIdentity before{Column(st, 1), Column(st, 2), Column(st, 3), Column(st, 4),
                                    Column(st, 5)};
        const ResultIdentity after{Column(st, 6), Column(st, 7), Column(st, 8), Column(st, 9),
                                   Column(st, 10)};
        byAfter[KeyOf(after)].push_back({sqlite3_column_int64(st, 0), before});
    }
    if (rc != SQLITE_DONE)
        return fail();
    sqlite3_finalize(st);
    return true;
}

// Follows the result back through its corrections, newest first, each older than the last.
void FollowBack(ResultOrigin& o, const Corrections& byAfter) {
    long long below = -1; // only corrections older than the one just followed
    while (true) {
        const auto it = byAfter.find(KeyOf(o.original));
        if (it == byAfter.end())
            break;
        const Step* found = nullptr;
        for (auto s = it->second.rbegin(); s != it->second.rend() && !found; ++s)
            if (below < 0 || s->id < below)
                found = &*s;
        if (!found)
            break;
        o.corrected = true;
        o.original = found->before;
        below = found->id;
    }
}

} // namespace

bool ReadResultOrigins(CResultTable& table, const std::vector<ResultRow>& rows,
                       std::vector<ResultOrigin>& out, std::string* error) {
    out.clear();
    out.reserve(rows.size());
    for (const ResultRow& r : rows)
        out.push_back({IdentityOf(r.key), false});
    Corrections byAfter;
    if (!ReadCorrections(table, byAfter, error))
        return false;
    for (ResultOrigin& o : out)
        if (!byAfter.empty())
            FollowBack(o, byAfter);
    return true;
}
