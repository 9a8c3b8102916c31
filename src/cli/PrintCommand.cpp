#include "cli/PrintCommand.h"

#include "cli/CliCommon.h"
#include "platform/SafeTarget.h"
#include "print/ResultListReport.h"

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
    const bool parsed = ParseListArgs(argc, argv, out.search, [&out](const std::string& option,
                                                                     const char* value) {
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
    std::fprintf(stderr,
                 "usage: trevanix-cli print --pdf FILE [--dpi N] [--from YYYY-MM-DD]\n"
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

    std::vector<ResultRow> found;
    AppSettings settings;
    if (const int status = SearchStoredResults(args.search, found, settings))
        return status;

    // The cells of one row at a time: a long list is never held as texts all at once.
    int cachedRow = -1;
    ListCells cells;
    ReportRows rows;
    rows.count = static_cast<int>(found.size());
    rows.cell = [&](int row, int column) -> const std::string& {
        if (row != cachedRow) {
            cells = ResultCells(found[static_cast<size_t>(row)], row + 1, settings,
                                ListKind::AllData);
            cachedRow = row;
        }
        return cells[static_cast<size_t>(column)];
    };

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    if (args.dpi > 0)
        printer.setResolution(args.dpi);
    printer.setOutputFileName(args.pdf);
    CReportPrinter engine;
    QString reason;
    if (PrintToPrinter(engine, printer, rows, {}, &reason) != ReportOutcome::Printed) {
        LinePrompt().Inform(
            FileWriteFailedText(QDir::cleanPath(QDir::current().absoluteFilePath(args.pdf)),
                                reason.isEmpty() ? QStringLiteral("unknown error") : reason),
            kMessageTitle);
        return kExitFailed;
    }
    std::fprintf(stderr, "%d result%s printed to %s\n", rows.count, rows.count == 1 ? "" : "s",
                 Printable(args.pdf.toLocal8Bit().toStdString()).c_str());
    return 0;
}
