#pragma once
// The export of a shown list: its cells as they stand (the shown order, every column in index
// order, hidden ones too) through the CSV export, the save dialog starting in the folder chosen
// last, and the desktop's spreadsheet program.

#include "report/CsvExport.h"

#include <functional>
#include <limits>

class CListCtrlExt;
class QWidget;

// The save dialog ("CSV File (*.csv)", suffix csv, asks before replacing a file) and the
// desktop's handler of the written file.
CsvDesktop SystemCsvDesktop(QWidget* parent);

// A long list of rows read on demand is written on a thread of its own from a copy of its rows
// (read a page at a time in the shown order): the window goes on painting, a progress dialog
// with Cancel shows when the writing takes longer than a second, and a cancelled export leaves
// any earlier file as it was. The bytes are those of the export of the same list at once.
struct ListCsvThreading {
    int rowsAbove = std::numeric_limits<int>::max();
    // Tests: called on the writing thread before each page is read, with its first row; false
    // stops the writing as Cancel does.
    std::function<bool(int firstRow)> onPage;
};

// `folderAfter` is made the current directory when the export is over; the dialog offers the
// folder of the last export, or `folderAfter` the first time.
CsvExportOutcome ExportListToCsv(const CListCtrlExt& list, const CsvLayout& layout,
                                 const QString& folderAfter, IPrompt& prompt,
                                 const CsvDesktop& desktop,
                                 const ListCsvThreading& threading = ListCsvThreading());
