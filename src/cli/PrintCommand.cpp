#include "cli/PrintCommand.h"

#include "platform/AppFolders.h"
#include "platform/Prompt.h"
#include "platform/SingleInstance.h"
#include "print/ResultListReport.h"
#include "settings/Settings.h"
#include "storage/Databases.h"
#include "storage/ResultQuery.h"

#include <QGuiApplication>
#include <QPrinter>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitAlreadyRunning = 3;

class StderrPrompt : public IPrompt {
public:
    void Inform(const std::string& text, const std::string& title) override {
        std::string line;
        for (char c : text)
            if (c != '\r')
                line += c;
        std::fprintf(stderr, "%s: %s\n", title.c_str(), line.c_str());
    }
    bool Ask(const std::string& text, const std::string& title) override {
        Inform(text, title);
        return false;
    }
};

struct PrintArgs {
    QString pdf;
    int dpi = 0; // 0: the printer's high resolution
    ListSearch search;
};

// The same search options as `list`, plus --pdf (required) and --dpi.
bool ParsePrintArgs(int argc, char** argv, PrintArgs& out) {
    auto date = [](const char* text, QDate& d) {
        d = QDate::fromString(QString::fromLocal8Bit(text), QStringLiteral("yyyy-MM-dd"));
        return d.isValid();
    };
    ListSearch& s = out.search;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc)
            return false;
        const char* value = argv[++i];
        if (a == "--pdf" && *value)
            out.pdf = QString::fromLocal8Bit(value);
        else if (a == "--dpi") {
            out.dpi = std::atoi(value);
            if (out.dpi < 72 || out.dpi > 9600)
                return false;
        } else if (a == "--from" && date(value, s.from)) {
        } else if (a == "--to" && date(value, s.to)) {
        } else if (a == "--pid")
            s.pid = value;
        else if (a == "--opid")
            s.opid = value;
        else if (a == "--period") {
            s.periodWeeks = std::atoi(value);
            if (s.periodWeeks < 1 || s.periodWeeks > 12)
                return false;
        } else
            return false;
    }
    const bool mixed = s.periodWeeks > 0 &&
                       (s.from.isValid() || s.to.isValid() || !s.pid.empty() || !s.opid.empty());
    return !out.pdf.isEmpty() && !mixed;
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

    const QString base = AppFolders::MakeBaseFolder(AppFolders::DefaultBaseFolder());
    SingleInstanceGuard instance;
    SingleInstanceGuard folder(base);
    if (!instance.TryAcquire() || !folder.TryAcquire()) {
        std::fprintf(stderr, "trevanix-cli: another copy of Trevanix (the program or trevanix-cli) "
                             "is running. Try again when it has finished.\n");
        return kExitAlreadyRunning;
    }
    StderrPrompt prompt;
    AppSettings settings;
    LoadSettings(settings, base);
    CResultDatabases db(base, &prompt);
    db.OpenDatabases();
    if (!db.DatabaseReady) {
        std::fprintf(stderr, "trevanix-cli: the result databases are not open\n");
        return kExitFailed;
    }
    std::vector<ResultRow> found;
    std::string message;
    const bool ok =
        RunListSearch(db.ResultTable, args.search, settings, QDate::currentDate(), found, &message);
    db.CloseDatabases();
    if (!ok) {
        prompt.Inform(message, kMessageTitle);
        return kExitUsage;
    }

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
    if (PrintToPrinter(engine, printer, rows, {}) != ReportOutcome::Printed) {
        std::fprintf(stderr, "trevanix-cli: %s could not be written\n",
                     args.pdf.toLocal8Bit().constData());
        return kExitFailed;
    }
    std::fprintf(stderr, "%d result%s printed to %s\n", rows.count, rows.count == 1 ? "" : "s",
                 args.pdf.toLocal8Bit().constData());
    return 0;
}
