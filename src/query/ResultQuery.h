#pragma once
// The result searches that the all-data list and trevanix-cli share: the filter texts, the
// period arithmetic, the 0 to 366-day rule, the rows in list order and their cell texts. No
// widgets here; the views only wire these to their controls.

#include "settings/Settings.h"
#include "storage/ResultTable.h"

#include <QDate>
#include <QDateTime>
#include <array>
#include <string>
#include <unordered_set>
#include <vector>

inline constexpr const char* kWrongRangeText =
    "The starting date & ending date set-up is wrong. \r\nPlease set up the date again.";
inline constexpr const char* kTooLongRangeText =
    "365 data can be searched in maximum. \r\nPlease set up the date again.";
inline constexpr const char* kAllDataEntry = "ALL Data";
inline constexpr int kMaxSearchDays = 366;

// One shown result, as read from the table; each list row stays bound to its own key.
struct ListRowKey {
    std::string DATE, TIME, HbA1c_VALUE, PID, OPID, p_NAME, p_DOB;
    int P_DIAGNOSE = 0;
    std::string P_MEMO;
    long long rowid = 0; // the stored row the list read; 0 when not known
};

// A row as read: its key and the note column, which the list shows but the key does not keep.
struct ResultRow {
    ListRowKey key;
    std::string EQ_TYPE;
};

inline constexpr int kListColumnCount = 7;
using ListCells = std::array<std::string, kListColumnCount>;

// The seven cell texts of a row numbered `number` (from 1). The all-data list writes its two
// out-of-range mmol/mol results with a trailing blank; the download list does not.
enum class ListKind { AllData, Download };
ListCells ResultCells(const ResultRow& row, int number, const AppSettings& settings, ListKind kind);

// "20240105": year "%d", month and day zero-padded.
std::string DateKey(const QDate& date);
// The other way: a stored date cut by position into year, month and day; a piece the text is too
// short for counts 0 (so the date is invalid), as is an impossible date.
QDate DateFromKey(const std::string& key);
// An ID without the blanks the decoding pads stored IDs with.
std::string TrimmedId(std::string id);

// The search range rule: end before start refused, over 366 whole days refused.
enum class RangeCheck { Ok, EndBeforeStart, TooLong };
RangeCheck CheckSearchRange(const QDateTime& start, const QDateTime& end, int* days = nullptr);
// The message for a refused range, empty for Ok.
const char* RangeMessage(RangeCheck check);

// An ID as an SQL string literal: quotes doubled, trailing blanks dropped.
std::string QuoteId(const std::string& id);
// The date condition and, for a non-empty ID, a match of that ID without regard to trailing
// blanks (stored IDs keep the blank the decoding leaves).
std::string SearchFilter(const std::string& fromKey, const std::string& toKey,
                         const std::string& pid, const std::string& opid);
// The filter of the search from start to end: to-date = end's date, from-date = to-date minus
// the whole days between them. Empty IDs take no part.
std::string RangeFilter(const QDateTime& start, const QDateTime& end, const std::string& pid,
                        const std::string& opid);

// The reference date of a period selection: the date text of the first row cut by position
// according to the date format (a format outside 0-2 reads as year first, as the lists show
// it). Empty pieces when there is no first row.
struct DatePieces {
    std::string year, month, day;
};
DatePieces CutListDate(const std::string& shownDate, int dateFormat);
// "DATE between 'from' and 'to'" for k weeks back from the first row's date, or from today
// when the list is empty (the upper bound is then empty, so nothing matches).
std::string PeriodFilter(int weeks, const std::string& firstRowDate, int dateFormat,
                         const QDate& today);

// The PID or OPID list: "ALL Data", then each ID once, compared without regard to case, in
// order of first appearance.
class CIdList {
public:
    CIdList() { Clear(); }
    void Clear();
    void Add(const std::string& id);
    const std::vector<std::string>& Items() const { return items_; }

private:
    std::vector<std::string> items_;
    std::unordered_set<std::string> seen_;
};

// Reads the table's rows in list order. Unless keepFilter, the table first gets the newest-first
// sort and no filter (two requeries, as the lists always did). Holds the table's lock. False
// when the table is not open.
bool ReadResultRows(CResultTable& table, bool keepFilter, std::vector<ResultRow>& out);
// Sets the filter and requeries under the table's lock.
void ApplyFilter(CResultTable& table, const std::string& filter);

// A search as the command line gives it. No option: every row, newest first. Dates (either)
// or an ID: the search button's search over from..to (to: the newest stored date, else today;
// from: to minus 7 days). Period: the period list's entry of that many weeks.
struct ListSearch {
    QDate from, to;
    std::string pid, opid;
    int periodWeeks = 0;
};
// Runs it and fills rows; on a refused range returns false with the message in *message.
bool RunListSearch(CResultTable& table, const ListSearch& search, const AppSettings& settings,
                   const QDate& today, std::vector<ResultRow>& rows, std::string* message);

// The graph view's reading: oldest first, so the chart runs left to right in time.
inline constexpr const char* kChartSort = "[DATE] ASC, [TIME] ASC, [HbA1c_VALUE] ASC";

// What the chart needs of one stored result.
struct ChartRow {
    std::string DATE, TIME, HbA1c_VALUE, PID;
};
// A match of the ID without regard to trailing blanks, quotes doubled; empty for an empty ID.
std::string PidCondition(const std::string& pid);
// "DATE between 'from' and 'to'" for k weeks back from the reference date (YYYYMMDD), with the
// PID condition appended for a non-empty PID.
std::string ChartPeriodFilter(int weeks, const QDate& reference, const std::string& pid);
