#pragma once
// The printed result list: a ruled table of the shown rows under the title "Trevanix HbA1c Data
// List", with the page frame ("HbA1c data reports" between rules) on every page. The window's
// Print button and `trevanix-cli print` draw it with the same code. No widgets here: the dialogs
// a print job needs come through IPrintSteps.

#include "query/ResultQuery.h"
#include "report/ReportPrinter.h"

#include <functional>
#include <string>

class IPrompt;
class QPrinter;

inline constexpr const char* kReportTitle = "Trevanix HbA1c Data List";
inline constexpr const char* kReportFrameText = "HbA1c data reports";
inline constexpr const char* kFailedInitializingPrinter = "Failed Initializing Printer";
// The document name the spooler shows.
inline constexpr const char* kReportDocumentName = "Trevanix";

// The rows to print, in the order shown: the cell text of (row, column), column 0 to 6.
// Rows are asked for in rising order.
struct ReportRows {
    int count = 0;
    std::function<const std::string&(int row, int column)> cell;
    // Asked after the last row when set: false when some row could not be had (rows read as
    // they are drawn, one of them gone meanwhile); the job is then cancelled.
    std::function<bool()> complete;
};

// Called with the rows drawn so far and the row count; false stops the job.
using ReportProgress = std::function<bool(int done, int total)>;

enum class ReportOutcome { Printed, Cancelled, Failed };

// Draws the whole list as one document on printer (a real printer, a PDF file or a preview).
// The engine keeps its font sets between jobs. Failed when the printer cannot be painted on;
// Cancelled when progress said stop (a printer then drops the job).
ReportOutcome DrawResultList(CReportPrinter& engine, QPrinter& printer, const ReportRows& rows,
                             const ReportProgress& progress = {});

// The same on an engine whose document has started (any paint device); ends the document.
ReportOutcome DrawReport(CReportPrinter& engine, const ReportRows& rows,
                         const ReportProgress& progress = {});

// The page frame drawn at the top and bottom of every page.
void DrawPageFrame(CReportPrinter& engine, bool top);

// What a print job asks of the user. The window shows the print dialog, a preview and a
// progress dialog; tests answer from a script, so that no test blocks on a dialog.
class IPrintSteps {
public:
    virtual ~IPrintSteps() = default;
    // The print dialog on printer; false when cancelled.
    virtual bool ChoosePrinter(QPrinter& printer) = 0;
    // Shows the document as draw paints it on printer's pages; true when the user asks to print.
    virtual bool Preview(QPrinter& printer, const std::function<void(QPrinter&)>& draw) = 0;
    // The progress of a long job (rows drawn of total); false when the user cancels.
    virtual bool Progress(int done, int total) = 0;
    // The job (or the preview's drawing) is over: hide the progress.
    virtual void EndProgress() = 0;
};

// The Print button: print dialog, "Failed Initializing Printer" on a printer that cannot be
// used (a PDF file that cannot be written: the file and the reason), the preview, then the job
// with progress. A PDF file is written beside its name and put
// in place at the end, so a cancelled or failed job leaves an earlier file as it was.
ReportOutcome PrintResultList(CReportPrinter& engine, IPrintSteps& steps, IPrompt& prompt,
                              const ReportRows& rows);

// Prints to printer with the progress given. A PDF file goes through a temporary copy that
// replaces the named file only when it was written whole and synced; a file that could not be
// written whole (a full disk) is a failure. Only a new path or a regular file is written
// (through symbolic links to it), see platform/SafeTarget.h. A PDF file that could not be
// written gives its reason in plain words; a failure of a real printer leaves reason empty.
ReportOutcome PrintToPrinter(CReportPrinter& engine, QPrinter& printer, const ReportRows& rows,
                             const ReportProgress& progress, QString* reason = nullptr);
