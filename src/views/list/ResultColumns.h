#pragma once
// The seven columns both result lists share: how they sort and how wide they are.

#include <QFontMetrics>
#include <QString>
#include <functional>
#include <string>
#include <vector>

class CListCtrlExt;

// The columns of both result lists, in their inserted order.
enum ResultColumn : int {
    kColumnNumber = 0,
    kColumnDate,
    kColumnTime,
    kColumnResult,
    kColumnPid,
    kColumnOpid,
    kColumnNote,
    kResultColumnCount
};

// A result list as both views build it: the lists' bold font, the seven columns with the given
// titles and room for every text they can show, sorting by what they show (dateFormat as for
// SetResultColumnSortKeys), the padded IDs shown without their blanks, No. never hidden, and
// the layout the user left.
void SetUpResultList(CListCtrlExt& list, const char* const (&titles)[kResultColumnCount],
                     std::function<int()> dateFormat);

// The seven columns of both result lists (No., Date, Time, Result., PID, OPID, Note) sort by
// what they show: No. by number, Date by date and time, Time by time of day, the result by
// value, the IDs as IDs, the note as text. dateFormat gives the format the dates were written
// in when the sort runs.
void SetResultColumnSortKeys(CListCtrlExt& list, std::function<int()> dateFormat);

// The width that shows every text a result list can put in the column (every date and time
// format, both units, 14-character IDs, the analyzer's notes) and its title beside the sort
// arrow, with the list's font. The seven fit the lists' width side by side.
int ResultColumnWidth(const QFontMetrics& fm, int column, const QString& title);
// The texts ResultColumnWidth makes room for.
std::vector<std::string> ResultColumnSamples(int column);
