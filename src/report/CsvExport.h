#pragma once
// The CSV files of the two result lists, without a window: the bytes, the file, and the steps of
// an export (ask for a file, write it, open it in the spreadsheet program). The lists and
// trevanix-cli write through the same code, so a script gets the bytes the window writes.
//
// A file is the caller's header line, then one line per row in the shown order: every column in
// column-index order (hidden columns too), each cell followed by ",", then a line feed. Cells
// go out as the list shows them, with two exceptions so that the file opens as it was meant:
//  - a cell holding a comma, a double quote, a carriage return or a line feed is put between
//    double quotes with its inner quotes doubled (it would split its field or its line);
//  - a PID or OPID beginning with =, +, -, @, a tab or a carriage return gets a leading
//    apostrophe, so that the spreadsheet does not run a typed ID as a formula.

#include "query/ResultQuery.h"

#include <QString>
#include <functional>
#include <string>
#include <vector>

class IPrompt;
class QIODevice;

inline constexpr const char* kExportAllQuestion = "Do you want current-data export?";
inline constexpr const char* kNothingToExportText = "There is no HbA1c data to expert.";
inline constexpr const char* kExportDownloadQuestion = "Do you want to expert selected data?";

// Which columns hold an ID that someone typed: bit c for column c.
inline constexpr unsigned kCsvIdColumns = (1u << 4) | (1u << 5);

struct CsvLayout {
    const char* header; // written as it stands; ends in one line feed
    unsigned typedColumns;
};
// The download list has seven columns under these six names; its lines carry one field more.
inline constexpr CsvLayout kAllDataCsv = {"No,Date,Time,Result,PID,OPID,Note\n", kCsvIdColumns};
inline constexpr CsvLayout kDownloadCsv = {"No,Date,Time,Result,PID,OPID\n", kCsvIdColumns};

// The cells to write: rows in the shown order, columns in index order.
class ICsvRows {
public:
    virtual ~ICsvRows() = default;
    virtual int RowCount() const = 0;
    virtual int ColumnCount() const = 0;
    // The row's cells, `count` of them (columns beyond count are empty). Rows are asked for in
    // rising order, once each.
    virtual const std::string* RowCells(int row, int& count) const = 0;
    // Asked after the last row: false when some row could not be had (rows read as they are
    // written, one of them gone meanwhile). The writing then fails and nothing is replaced.
    virtual bool Complete() const { return true; }
    // Asked before each row: true stops the writing (a cancelled export), which then fails and
    // replaces nothing.
    virtual bool Stopped() const { return false; }
};

// Rows held as the lists' seven cell texts (trevanix-cli, the benchmark).
class CListCellsRows : public ICsvRows {
public:
    explicit CListCellsRows(const std::vector<ListCells>& rows) : rows_(rows) {}
    int RowCount() const override { return static_cast<int>(rows_.size()); }
    int ColumnCount() const override { return kListColumnCount; }
    const std::string* RowCells(int row, int& count) const override {
        count = kListColumnCount;
        return rows_[static_cast<size_t>(row)].data();
    }

private:
    const std::vector<ListCells>& rows_;
};

// The whole file.
std::string CsvBytes(const CsvLayout& layout, const ICsvRows& rows);
// The same bytes, written to the device in pieces; false when it refused some.
bool WriteCsv(QIODevice& device, const CsvLayout& layout, const ICsvRows& rows);

// Writes the file through a temporary copy: an existing file is replaced only by a complete new
// one. Only a new path or a regular file is written (through symbolic links to it); anything
// else is refused (see platform/SafeTarget.h). False with the reason in plain words when it
// cannot be written.
bool WriteCsvFile(const QString& path, const CsvLayout& layout, const ICsvRows& rows,
                  QString* reason);
// The message for a file that could not be written.
std::string CsvWriteFailedText(const QString& path, const QString& reason);

// What an export asks of the desktop. The window gives the save dialog and the desktop's handler
// of the file; tests give their own, so that no dialog blocks and nothing is opened.
struct CsvDesktop {
    // The file to write, offering that folder; empty when the user cancels.
    std::function<QString(const QString& folder)> chooseFile;
    // Opens the written file in the spreadsheet program; false when nothing could open it.
    std::function<bool(const QString& path)> openFile;
};

struct CsvFolders {
    QString offered; // where the save dialog starts
    QString after;   // made the current directory when the export is over, as the caller wants
};

enum class CsvExportResult { Cancelled, Written, Failed };
struct CsvExportOutcome {
    CsvExportResult result = CsvExportResult::Cancelled;
    QString path; // the chosen file, also when it could not be written
};

// Asks for a file, writes it, opens it; says so when it could not be written or opened.
CsvExportOutcome ExportCsv(const ICsvRows& rows, const CsvLayout& layout, const CsvFolders& folders,
                           IPrompt& prompt, const CsvDesktop& desktop);
// The same with the writing step given: it writes the chosen file (as WriteCsvFile does) and
// says whether it was written, could not be (with the reason) or was cancelled (said nothing).
enum class CsvWrite { Written, Failed, Cancelled };
using CsvFileWriter = std::function<CsvWrite(const QString& path, QString* reason)>;
CsvExportOutcome ExportCsv(const CsvFileWriter& write, const CsvFolders& folders, IPrompt& prompt,
                           const CsvDesktop& desktop);
