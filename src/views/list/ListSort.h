#pragma once
// How the list's rows sort: the comparison kinds of a column, and the sort keys of the result
// lists' shown texts (made once per row for each sort).

#include "views/list/ListModel.h"

#include <functional>
#include <string>

// Sort flags of a column: bit 0 ascending, bit 1 descending, bit 2 toggle on each click.
enum ColumnSortFlags : int { kSortAscending = 1, kSortDescending = 2, kSortToggle = 4 };
// How two cell texts compare.
enum ColumnCompareKind : int {
    kCompareNone = 0,
    kCompareInteger = 1, // leading integer (atol); none counts 0
    kCompareFloat = 2,   // atof
    kCompareText = 3,    // case-sensitive
    kCompareIntText = 4, // integers when both are exactly written integers, else as 3
    kCompareTextNoCase = 5,
    kCompareIntTextNoCase = 6, // as 4, falling back to 5
    kCompareDateTime = 7,
};
// The comparison of two cell texts by kind: below 0, 0 or above 0.
int CompareCells(const std::string& a, const std::string& b, int kind);

// A sort key, made once per row for each sort (a list can hold 100,000 rows): rows compare by
// group, then number, then text.
struct ListSortKey {
    int group = 0;
    double number = 0;
    std::string text;
};
bool operator<(const ListSortKey& a, const ListSortKey& b);
// The key of one row for a column, read from the model's texts.
using ListSortKeyFn = std::function<ListSortKey(const CListModel& rows, int row)>;

// Keys of the result lists' shown texts.
// No.: by number.
ListSortKey NumberSortKey(const std::string& text);
// Date and time: the date in the list's date format (0 year-month-day, 1 month-day-year,
// 2 day-month-year; any separator), the time in either time format. Unreadable texts last.
ListSortKey DateTimeSortKey(const std::string& date, const std::string& time, int dateFormat);
// A time of day, "14:05" or "02:05 PM".
ListSortKey TimeSortKey(const std::string& time);
// A result by value, "< 4 %" / "< 20  mmol/mol" below every value and "> 14 %" / "> 130 ..."
// above; unreadable texts last.
ListSortKey ResultSortKey(const std::string& text);
// An ID without its padding: all-digit IDs first in numeric order, then the others as text
// (without regard to case), empty IDs last.
ListSortKey IdSortKey(const std::string& text);
// Any other text, without regard to case.
ListSortKey TextSortKey(const std::string& text);

struct ColumnSortInfo {
    int flags = 0;
    int kind = kCompareText;
    ListSortKeyFn key; // when set, the sort uses it instead of kind
};
