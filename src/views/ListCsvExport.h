#pragma once
// The export of a shown list: its cells as they stand (the shown order, every column in index
// order, hidden ones too) through the CSV export, the save dialog starting in the folder chosen
// last, and the desktop's spreadsheet program.

#include "report/CsvExport.h"

class CListCtrlExt;
class QWidget;

// The save dialog ("CSV File (*.csv)", suffix csv, asks before replacing a file) and the
// desktop's handler of the written file.
CsvDesktop SystemCsvDesktop(QWidget* parent);

// `folderAfter` is made the current directory when the export is over; the dialog offers the
// folder of the last export, or `folderAfter` the first time.
CsvExportOutcome ExportListToCsv(const CListCtrlExt& list, const CsvLayout& layout,
                                 const QString& folderAfter, IPrompt& prompt,
                                 const CsvDesktop& desktop);
