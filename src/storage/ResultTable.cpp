#include "ResultTable.h"

#include <sqlite3.h>

CResultTable::CResultTable() {
    RegisterColumn(0, "DATE", kColumnText, &Record.DATE);
    RegisterColumn(1, "TIME", kColumnText, &Record.TIME);
    RegisterColumn(2, "HbA1c_VALUE", kColumnText, &Record.HbA1c_VALUE);
    RegisterColumn(3, "PID", kColumnText, &Record.PID);
    RegisterColumn(4, "OPID", kColumnText, &Record.OPID);
    RegisterColumn(5, "EQ_TYPE", kColumnText, &Record.EQ_TYPE);
    RegisterColumn(6, "p_NAME", kColumnText, &Record.p_NAME);
    RegisterColumn(7, "p_DOB", kColumnText, &Record.p_DOB);
    RegisterColumn(8, "P_AGE", kColumnInt, &Record.P_AGE);
    RegisterColumn(9, "P_DIAGNOSE", kColumnInt, &Record.P_DIAGNOSE);
    RegisterColumn(10, "DATE_YEAR", kColumnInt, &Record.DATE_YEAR);
    RegisterColumn(11, "DATE_MONTH", kColumnInt, &Record.DATE_MONTH);
    RegisterColumn(12, "DATE_DAY", kColumnInt, &Record.DATE_DAY);
    RegisterColumn(13, "TIME_HOUR", kColumnInt, &Record.TIME_HOUR);
    RegisterColumn(14, "TIME_MIN", kColumnInt, &Record.TIME_MIN);
    RegisterColumn(15, "P_MEMO", kColumnText, &Record.P_MEMO);
}

CResultTable::~CResultTable() {
    Close();
}

bool CResultTable::Open(const char* path) {
    if (CDbTable::Open(path) && Requery())
        return true;
    Close();
    return false;
}

void CResultTable::SetTableName(const char* name) {
    // The cached statements name the old table.
    ForgetStatements();
    tableName_ = name ? name : "";
}

bool CResultTable::HoldsResult(const char* date, const char* time, const char* value,
                               const char* pid, const char* opid) {
    const std::string sql = "SELECT 1 FROM main." + QuotedName() +
                            " WHERE [DATE]=? AND [TIME]=? AND [HbA1c_VALUE]=? AND [PID]=? AND "
                            "[OPID]=? LIMIT 1";
    sqlite3_stmt* st = CachedStatement(0, sql);
    if (!st)
        return false;
    int i = 1;
    for (const char* v : {date, time, value, pid, opid})
        sqlite3_bind_text(st, i++, v ? v : "", -1, nullptr);
    const bool found = sqlite3_step(st) == SQLITE_ROW;
    sqlite3_reset(st);
    return found;
}

bool CResultTable::EnsureDuplicateIndex() {
    const std::string sql = "CREATE INDEX IF NOT EXISTS main." +
                            QuoteIdentifier(tableName_ + "_ResultKey") + " ON " + QuotedName() +
                            " ([DATE],[TIME],[HbA1c_VALUE],[PID],[OPID])";
    return Execute(sql.c_str()) && Execute(ReplacedTableSql().c_str());
}

bool CResultTable::EnsureDateIndex() {
    const std::string find = "SELECT 1 FROM main.pragma_index_list(" + QuoteText(tableName_) +
                             ") AS l, main.pragma_index_info(l.name) AS i"
                             " WHERE i.seqno = 0 AND i.name = 'DATE' LIMIT 1";
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(Database(), find.c_str(), -1, &st, nullptr) != SQLITE_OK || !st) {
        sqlite3_finalize(st);
        return false;
    }
    const int rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        return false;
    const std::string make = "CREATE INDEX IF NOT EXISTS main." +
                             QuoteIdentifier(tableName_ + "_ResultKey") + " ON " + QuotedName() +
                             " ([DATE],[TIME],[HbA1c_VALUE],[PID],[OPID])";
    return Execute(make.c_str());
}

std::string CResultTable::ReplacedTableSql() {
    return std::string("CREATE TABLE IF NOT EXISTS main.") + kReplacedTable +
           " ([TABLE_NAME] TEXT NOT NULL, [DATE] TEXT, [TIME] TEXT, [HbA1c_VALUE] TEXT,"
           " [PID] TEXT, [OPID] TEXT,"
           " UNIQUE ([TABLE_NAME],[DATE],[TIME],[HbA1c_VALUE],[PID],[OPID]))";
}

bool CResultTable::WasReplaced(const char* date, const char* time, const char* value,
                               const char* pid, const char* opid) {
    const std::string sql = std::string("SELECT 1 FROM main.") + kReplacedTable +
                            " WHERE [TABLE_NAME]=? AND [DATE]=? AND [TIME]=? AND [HbA1c_VALUE]=?"
                            " AND [PID]=? AND [OPID]=? LIMIT 1";
    sqlite3_stmt* st = CachedStatement(1, sql);
    if (!st)
        return false;
    int i = 1;
    for (const char* v : {tableName_.c_str(), date, time, value, pid, opid})
        sqlite3_bind_text(st, i++, v ? v : "", -1, nullptr);
    const bool found = sqlite3_step(st) == SQLITE_ROW;
    sqlite3_reset(st);
    return found;
}
