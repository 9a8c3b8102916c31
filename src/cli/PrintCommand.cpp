#include "cli/PrintCommand.h"

#include "cli/CliCommon.h"
#include "platform/SafeTarget.h"
#include "report/ResultListReport.h"

#include <QDir>
#include <QGuiApplication>
#include <QPrinter>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct PrintArgs {
    QString pdf;
    int dpi = 0; // 0: the printer's high resolution
    ListSearch search;
};

// The same search options as `list`, plus --pdf (required) and --dpi.
bool ParsePrintArgs(int argc, char** argv, PrintArgs& out) {
    const bool parsed =
        ParseListArgs(argc, argv, out.search, [&out](const std::string& option, const char* value) {
            if (option == "--pdf" && *value) {
                out.pdf = QString::fromLocal8Bit(value);
                return true;
            }
            if (option == "--dpi") {
                out.dpi = std::atoi(value);
                return out.dpi >= 72 && out.dpi <= 9600;
            }
            return false;
        });
    return parsed && !out.pdf.isEmpty();
}

int PrintUsage() {
    std::fprintf(stderr, "usage: trevanix-cli print --pdf FILE [--dpi N] [--from YYYY-MM-DD]\n"
                         "                          [--to YYYY-MM-DD] [--pid ID] [--opid ID]\n"
                         "                          [--period WEEKS]\n"
                         "  writes the printed result list of the rows `list` shows for the same\n"
                         "  search as a PDF file; --dpi sets its resolution (default 1200)\n");
    return kExitUsage;
}

} // namespace

int PrintMain(int argc, char** argv) {
    PrintArgs args;
    if (!ParsePrintArgs(argc, argv, args))
        return PrintUsage();
    // Fonts need Qt Gui, a display does not: the offscreen platform unless one is chosen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    // The cells of one row at a time, read as they are drawn: a long list is never held whole.
    // A row deleted while the file is drawn spoils it: the search runs again, a few times.
    StoredSearch found;
    const std::string none;
    int cachedRow = -1;
    ListCells cells;
    ReportRows rows;
    rows.cell = [&](int row, int column) -> const std::string& {
        if (row != cachedRow) {
            const ResultRow* r = found.Row(static_cast<size_t>(row));
            if (!r)
                return none;
            cells = ResultCells(*r, row + 1, found.Settings(), ListKind::AllData);
            cachedRow = row;
        }
        return cells[static_cast<size_t>(column)];
    };
    rows.complete = [&found] { return found.Whole(); };

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    if (args.dpi > 0)
        printer.setResolution(args.dpi);
    printer.setOutputFileName(args.pdf);
    CReportPrinter engine;
    for (int attempt = 0;; ++attempt) {
        if (const int status = found.Run(args.search))
            return status;
        rows.count = static_cast<int>(found.Count());
        cachedRow = -1;
        QString reason;
        const ReportOutcome outcome = PrintToPrinter(engine, printer, rows, {}, &reason);
        if (outcome == ReportOutcome::Printed)
            break;
        if (found.Whole()) {
            LinePrompt().Inform(
                FileWriteFailedText(QDir::cleanPath(QDir::current().absoluteFilePath(args.pdf)),
                                    reason.isEmpty() ? QStringLiteral("unknown error") : reason),
                kMessageTitle);
            return kExitFailed;
        }
        if (attempt == 2)
            return found.TellNotWhole();
    }
    std::fprintf(stderr, "%d result%s printed to %s\n", rows.count, rows.count == 1 ? "" : "s",
                 Printable(args.pdf.toLocal8Bit().toStdString()).c_str());
    return 0;
}
