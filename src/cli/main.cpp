// trevanix-cli: downloads the analyzer's results without a window, through the same controller,
// decoder and tables as the program.
//
//   trevanix-cli download --port PATH [--yes]     every result the analyzer holds (manual mode)
//   trevanix-cli auto [--port PATH] [--timeout S] one automatic cycle: wait for the next
//                                                 measurement and store it
//   trevanix-cli list [--from D] [--to D] [--pid ID] [--opid ID] [--period WEEKS]
//                                                 the rows the all-data list shows for that
//                                                 search, the seven cell texts tab-separated
//                                                 (escaped: one line per result, see CliCommon.h)
//   trevanix-cli export --csv FILE [list options]  those rows as the all-data list's CSV file
//   trevanix-cli export --fhir FILE [list options] those rows as a FHIR R4 transaction Bundle
//   trevanix-cli print --pdf FILE [--dpi N] [list options]  the same rows printed to a PDF file
//   trevanix-cli audit                            corrections and deletions, newest first
//   trevanix-cli --help | --version
//
// The status texts are printed as they come; in automatic mode the cartridge prompts count as
// read (acknowledged on the session). The session's outcome decides the exit status: 0 when the
// download finished (also when the analyzer was empty or held nothing new), 1 on any failure
// message or time-out, 2 when the download was declined or the arguments are wrong, 3 when another
// copy of the program (the window or trevanix-cli) is running: only one may use the port and store
// at a time. list, export, print and audit only read (CliCommon.h): they run beside the window and
// never exit 3.

#include "cli/CliCommon.h"
#include "cli/ExportCommand.h"
#include "cli/FhirCommand.h"
#include "cli/LabCommands.h"
#include "cli/PrintCommand.h"
#include "lab/LabOutbox.h"
#include "link/AcquisitionController.h"
#include "link/LinkStack.h"
#include "platform/AppFolders.h"
#include "platform/Prompt.h"
#include "platform/SingleInstance.h"
#include "query/ResultEdit.h"
#include "query/ResultQuery.h"
#include "settings/Settings.h"
#include "storage/Databases.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <iterator>
#include <string>

namespace {

// Messages on stderr, questions answered on stdin (or by --yes). What the session tells the
// user ends the command through its outcome; a message of the databases or the lab link that
// says something could not be done (a file that could not be opened or created) fails it too.
class TerminalPrompt : public IPrompt {
public:
    explicit TerminalPrompt(bool yes) : yes_(yes) {}
    void Inform(const std::string& text, const std::string& title) override {
        std::fprintf(stderr, "%s: %s\n", title.c_str(), Printable(text).c_str());
        if (watchFailures && text.find("could not be") != std::string::npos)
            failed = true;
    }
    bool Ask(const std::string& text, const std::string& title) override {
        std::fprintf(stderr, "%s: %s [y/N] ", title.c_str(), Printable(text).c_str());
        if (yes_) {
            std::fprintf(stderr, "yes\n");
            return true;
        }
        std::string answer;
        if (!std::getline(std::cin, answer)) {
            std::fprintf(stderr, "\n");
            return false;
        }
        return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
    }
    bool watchFailures = true;
    bool failed = false;

private:
    bool yes_;
};

class FixedPortChooser : public IPortChooser {
public:
    explicit FixedPortChooser(std::string path) : path_(std::move(path)) {}
    bool ChoosePort(GetDataDlgModel&, GetDataDlgModel::Choice& choice) override {
        // The question names the port as given: "/dev/ttyUSB0 is connected."
        choice.devicePath = path_;
        choice.label = path_;
        return true;
    }
    bool IsOpen() const override { return false; }
    void Refresh() override {}

private:
    std::string path_;
};

// No views here: the download view counts as shown, so that nothing switches.
class ConsoleFrame : public IFrameHost {
public:
    int ActiveView() const override { return kViewDownload; }
    void ShowView(int) override {}
    void RefreshActiveView() override {}
    void SetStatusPane(int, const std::string&) override {}
};

// What the session reported: the stores (said on stderr) and whether anything failed.
struct OutcomeLog {
    explicit OutcomeLog(CResultDatabases& db) : db_(db) {}
    void operator()(const SessionOutcome& o) {
        if (o.Failed())
            failed = true;
        if (o.kind == DownloadOutcome::Declined)
            declined = true;
        if (o.kind == DownloadOutcome::Stored) {
            ++stores;
            std::fprintf(stderr, "%d new result%s stored in %s\n", o.rows, o.rows == 1 ? "" : "s",
                         db_.MainDbPath.toLocal8Bit().constData());
        }
    }
    bool failed = false;
    bool declined = false;
    int stores = 0;

private:
    CResultDatabases& db_;
};

void WriteUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: trevanix-cli download --port PATH [--yes]\n"
                 "       trevanix-cli auto [--port PATH] [--timeout SECONDS]\n"
                 "       trevanix-cli list [--from YYYY-MM-DD] [--to YYYY-MM-DD] [--pid ID]\n"
                 "                         [--opid ID] [--period WEEKS]\n"
                 "       trevanix-cli print --pdf FILE [--dpi N] [the options of list]\n"
                 "       trevanix-cli export --csv FILE [the options of list]\n"
                 "       trevanix-cli export --fhir FILE [the options of list]\n"
                 "       trevanix-cli audit\n"
                 "       trevanix-cli send [--requeue [the options of list]]\n"
                 "       trevanix-cli outbox\n"
                 "  download      stores every new result the analyzer holds (manual mode)\n"
                 "  auto          finds the adapter, waits for the next measurement and stores\n"
                 "                it (automatic mode); without --port the system's USB adapters\n"
                 "                are searched\n"
                 "  --port PATH   the serial device of the analyzer (e.g. /dev/ttyUSB0)\n"
                 "  --yes         do not ask before downloading\n"
                 "  --timeout S   give up after S seconds (default: wait as long as it takes)\n"
                 "  list          prints the stored results as the all-data list shows them, one\n"
                 "                line per row, the seven columns separated by a tab; no option:\n"
                 "                every row, newest first. --from/--to/--pid/--opid search a\n"
                 "                date range of at most 366 days (--to defaults to the newest\n"
                 "                stored date, --from to 7 days before --to); --period 1 to 12\n"
                 "                lists that many weeks back from the newest result. Inside a\n"
                 "                field tab, line feed, carriage return and backslash read \\t,\n"
                 "                \\n, \\r and \\\\, other control bytes \\xNN (also in audit)\n"
                 "  export        writes those rows to FILE as the All data list's CSV export,\n"
                 "                or with --fhir as a FHIR R4 transaction Bundle of Observations\n"
                 "  print         writes those rows to FILE as the All data list's printout (PDF)\n"
                 "  audit         prints the audit trail of corrected and deleted results, newest\n"
                 "                first, one line per changed row: when (UTC), user, action,\n"
                 "                table, the row before and after (JSON), separated by a tab\n"
                 "  send          sends the results waiting for the lab system (lab_info.ini);\n"
                 "                --requeue first queues the stored results the options select;\n"
                 "                exits 0 delivered, 1 refused (AE/AR/CR), 4 not reached\n"
                 "  outbox        prints the messages not yet delivered: control ID, state,\n"
                 "                attempts, last answer, the result's date, time and PID\n");
}

int Usage() {
    WriteUsage(stderr);
    return 2;
}

// trevanix-cli list: the all-data list's search, printed.
int ListMain(int argc, char** argv) {
    ListSearch search;
    if (!ParseListArgs(argc, argv, search))
        return Usage();
    StoredSearch found;
    if (const int status = found.Run(search))
        return status;
    // Each row is written as it is read; a row deleted meanwhile is left out.
    std::string line;
    int number = 0;
    for (size_t i = 0; i < found.Count(); ++i) {
        const ResultRow* row = found.Row(i);
        if (!row)
            continue;
        const ListCells cells = ResultCells(*row, ++number, found.Settings(), ListKind::AllData);
        const std::string* fields[kListColumnCount];
        for (size_t c = 0; c < cells.size(); ++c)
            fields[c] = &cells[c];
        line.clear();
        AppendLine(line, fields, cells.size());
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return found.ReadFailed() ? found.TellNotWhole() : 0;
}

// trevanix-cli audit: every correction and deletion, newest first.
int AuditMain(int argc) {
    if (argc != 2)
        return Usage();
    StoredResults store;
    if (store.Status())
        return store.Status();
    std::vector<AuditEntry> entries;
    std::string error;
    if (!ReadAuditTrail(store.Db().ResultTable, entries, &error)) {
        std::fprintf(stderr, "trevanix-cli: the audit trail cannot be read: %s\n",
                     Printable(error).c_str());
        return kExitFailed;
    }
    std::string line;
    for (const AuditEntry& e : entries) {
        const std::string* fields[] = {&e.when, &e.user, &e.action, &e.table, &e.before, &e.after};
        line.clear();
        AppendLine(line, fields, std::size(fields));
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return 0;
}

} // namespace

namespace {

// Is the download (or the automatic cycle) over? In automatic mode nobody is there to close the
// cartridge prompts: they count as read.
bool CycleOver(IDownloadSession& link, bool automatic) {
    if (!automatic)
        return link.IsIdle();
    const SessionPrompt pending = link.PendingPrompt();
    if (pending != SessionPrompt::None)
        link.AcknowledgePrompt(pending);
    const AcquisitionState& s = link.State();
    return s.AutoStep == kStepStopped && s.AutoMode == kModeManual && link.IsIdle();
}

struct LinkArgs {
    std::string port;
    bool yes = false;
    bool automatic = false;
    int timeout = 0;
};

// download/auto options; false on anything else.
bool ParseLinkArgs(int argc, char** argv, LinkArgs& out) {
    out.automatic = std::string(argv[1]) == "auto";
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--port" && i + 1 < argc)
            out.port = argv[++i];
        else if ((a == "--yes" || a == "-y") && !out.automatic)
            out.yes = true;
        else if (a == "--timeout" && i + 1 < argc)
            out.timeout = std::atoi(argv[++i]);
        else
            return false;
    }
    return out.automatic || !out.port.empty();
}

// The status texts as lines, without the per-byte "Receiving data" alternation, and the
// transfer's progress by tenths.
void PrintStatusTexts(LinkStack& link) {
    auto lastText = std::make_shared<std::string>();
    auto lastTenth = std::make_shared<int>(-1);
    ProcessDlgModel& dlg = link.processDlg;
    dlg.SetObserver([&dlg, lastText, lastTenth]() {
        const std::string text = dlg.Text();
        const int percent = dlg.ProgressPercent();
        if (percent >= 0 && percent / 10 != *lastTenth) {
            *lastTenth = percent / 10;
            std::fprintf(stderr, "  %3d%%  %s\n", percent, dlg.ProgressDetail().c_str());
        }
        const bool receiving =
            text.rfind(LinkText::kReceivingA, 0) == 0 || text == LinkText::kReceivingB;
        if (receiving && lastText->rfind("Receiving data", 0) == 0)
            return;
        if (text != *lastText) {
            *lastText = text;
            std::fprintf(stderr, "%s\n",
                         Printable(receiving ? std::string(LinkText::kReceiving) : text).c_str());
        }
    });
    CheckingDlgModel& checking = link.checkingDlg;
    checking.SetObserver([&checking]() {
        if (checking.IsVisible())
            std::fprintf(stderr, "%s\n", Printable(checking.Text()).c_str());
    });
}

// The port, clock and dialog models of the command line: a given port is the adapter the scan
// finds, in both modes, so the download runs as it does in the window with that adapter plugged
// in (the stall check included); the status texts are printed as they come.
std::unique_ptr<LinkStack> ConsoleLinkStack(const std::string& port) {
    std::unique_ptr<LinkStack> stack = LinkStack::Real();
    if (!port.empty())
        stack->enumerate = [port]() {
            return ExtraPorts(port + "=Prolific USB-to-Serial Comm Port");
        };
    PrintStatusTexts(*stack);
    return stack;
}

// One download (or automatic cycle) on the session until it is over, failed or timed out.
int RunDownload(QCoreApplication& app, const LinkArgs& args, const QString& base,
                TerminalPrompt& prompt, CResultDatabases& db) {
    const QString data = AppFolders::MakeDataFolder(QDir::currentPath());
    AppSettings settings;
    LoadSettings(settings, base);
    std::unique_ptr<LinkStack> stack = ConsoleLinkStack(args.port);
    FixedPortChooser chooser(args.port);
    ConsoleFrame frame;
    // The session's own messages are printed; its outcome tells how it went.
    TerminalPrompt sessionPrompt = prompt;
    sessionPrompt.watchFailures = false;
    CAcquisitionController link(
        stack->Context(sessionPrompt, chooser, frame, db, settings, DecoderFolders{base, data}));
    OutcomeLog outcomes(db);
    // Whether the session is over is looked at once a second while nothing has happened (a
    // block at 9600 baud takes minutes; the line should not wake the command more than the
    // bytes do), and every 100 ms once the session reported an outcome or waits on a prompt.
    QTimer poll;
    poll.setInterval(1000);
    link.SetOutcomeListener([&outcomes, &poll](const SessionOutcome& o) {
        outcomes(o);
        poll.setInterval(100);
    });
    link.Initialise();
    QTimer::singleShot(0, [&]() {
        if (args.automatic)
            link.StartAutomatic();
        else
            link.StartManual(); // as the download view does: the port scan, then the download
    });
    bool timedOut = false;
    // The limit is on the wait for a measurement: once a result is stored the command has done
    // its work, whatever prompts follow.
    if (args.timeout > 0)
        QTimer::singleShot(args.timeout * 1000, [&]() {
            timedOut = outcomes.stores == 0;
            app.quit();
        });
    QObject::connect(&poll, &QTimer::timeout, [&]() {
        if (link.PendingPrompt() != SessionPrompt::None)
            poll.setInterval(100);
        if (prompt.failed || outcomes.failed || CycleOver(link, args.automatic))
            app.quit();
    });
    poll.start();
    app.exec();
    link.Shutdown();

    if (prompt.failed || outcomes.failed)
        return 1;
    if (timedOut) {
        std::fprintf(stderr, "trevanix-cli: no result within %d s\n", args.timeout);
        return 1;
    }
    return outcomes.declined ? 2 : 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        WriteUsage(stdout);
        return 0;
    }
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::printf("trevanix-cli %s\n", TREVANIX_VERSION_TEXT);
        return 0;
    }
    if (argc >= 2 && std::string(argv[1]) == "print")
        return PrintMain(argc, argv);
    QCoreApplication app(argc, argv);
    const std::string mode = argc >= 2 ? argv[1] : "";
    if (mode == "list")
        return ListMain(argc, argv);
    if (mode == "audit")
        return AuditMain(argc);
    if (mode == "export" && IsFhirExport(argc, argv))
        return FhirExportMain(argc, argv, Usage);
    if (mode == "export")
        return ExportMain(argc, argv, Usage);
    if (mode == "send")
        return SendMain(argc, argv, Usage);
    if (mode == "outbox")
        return OutboxMain(argc, Usage);
    LinkArgs args;
    if ((mode != "download" && mode != "auto") || !ParseLinkArgs(argc, argv, args))
        return Usage();

    const QString base = AppFolders::MakeBaseFolder(AppFolders::DefaultBaseFolder());
    OneCopyLocks locks(base);
    if (!locks.Taken())
        return kExitAlreadyRunning;
    TerminalPrompt prompt(args.yes);
    CResultDatabases db(base, &prompt);
    db.OpenDatabases();
    if (!db.DatabaseReady) {
        std::fprintf(stderr, "trevanix-cli: the result databases are not open\n");
        return 1;
    }
    // With the link to the lab system on, each stored result is queued in the store.
    LabConfig lab;
    std::string labProblem;
    if (!LoadLabConfig(base, lab, &labProblem))
        prompt.Inform(labProblem, kMessageTitle);
    AppSettings shown;
    LoadSettings(shown, base);
    CLabJournal journal(lab, shown.unit);
    db.ResultTable.SetJournal(&journal);
    const int code = RunDownload(app, args, base, prompt, db);
    db.ResultTable.SetJournal(nullptr);
    db.CloseDatabases();
    return code;
}
