#pragma once
// One stored HbA1c result and the table class that binds its sixteen columns.

#include "DbTable.h"

#include <string>

struct HbA1cRecord {
    CTextBuf DATE;        // YYYYMMDD
    CTextBuf TIME;        // HHMM
    CTextBuf HbA1c_VALUE; // tenths of a percent, three digits: "065" is 6.5 %
    CTextBuf PID;
    CTextBuf OPID;
    CTextBuf EQ_TYPE; // "Analyzer Tilted" or one blank
    CTextBuf p_NAME;
    CTextBuf p_DOB; // YYYYMMDD, "19000101" when unknown
    int P_AGE = 0;
    int P_DIAGNOSE = 0; // 0 None, 1 Type I, 2 Type II, 3 Gestational, 4 Normal
    int DATE_YEAR = 0;
    int DATE_MONTH = 0;
    int DATE_DAY = 0;
    int TIME_HOUR = 0;
    int TIME_MIN = 0;
    CTextBuf P_MEMO;
};

#include "ResultJournal.h"

inline constexpr const char* kReplacedTable = "ReplacedResults";

class CResultTable : public CDbTable {
public:
    static constexpr int kColumnCount = 16;

    CResultTable();
    ~CResultTable() override;

    const char* GetTableName() const override { return tableName_.c_str(); }
    int GetColumnCount() const override { return kColumnCount; }
    // Opens the file and requeries; closes again when either fails.
    bool Open(const char* path) override;

    void SetTableName(const char* name);

    // The duplicate test: does the table hold a row with these DATE, TIME, HbA1c_VALUE, PID and
    // OPID texts? The values are bound, never part of the SQL text, so an apostrophe in an ID
    // neither breaks the test nor changes the statement. A failed statement counts as no match.
    bool HoldsResult(const char* date, const char* time, const char* value, const char* pid,
                     const char* opid);
    // An index on those five columns, so that the test costs the same however many rows the
    // table holds. Older copies of the program read the file as before: an index adds no
    // column and changes no row.
    bool EnsureDuplicateIndex();
    // The same index, made only when no index of the table starts with the date (a table made
    // by another program, or never downloaded into): the lists, the chart and the searches read
    // in date order through it. Writes nothing when there is one.
    bool EnsureDateIndex();

    // Results the staff corrected or deleted, as they were stored before the change: the
    // analyzer sends every result it holds at each download, and one of these must not come
    // back. A small table of the main database, keyed by the result table's name and the five
    // values; EnsureDuplicateIndex makes it too.
    static std::string ReplacedTableSql();
    // Was a result with these five values corrected or deleted in this table? A failed
    // statement counts as no.
    bool WasReplaced(const char* date, const char* time, const char* value, const char* pid,
                     const char* opid);

    // The bound values: the current row after navigation, the new row before Update.
    HbA1cRecord Record;

    // Told of stored, corrected and deleted results inside their transactions (see
    // ResultJournal.h); null for none. Set before the table is shared between threads.
    void SetJournal(IResultJournal* journal) { journal_ = journal; }
    IResultJournal* Journal() const { return journal_; }

private:
    std::string tableName_;
    IResultJournal* journal_ = nullptr;
};
