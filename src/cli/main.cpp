// trevanix-cli: downloads the analyzer's results without a window, through the same controller,
// decoder and tables as the program.
//
//   trevanix-cli download --port PATH [--yes]
//
// The status texts are printed as they come. Exit status: 0 when the download finished (also
// when the analyzer was empty or held nothing new), 1 on any failure message, 2 when the
// download was declined or the arguments are wrong.

#include "app/settings/Settings.h"
#include "link/AcquisitionController.h"
#include "link/SerialComm.h"
#include "platform/AppFolders.h"
#include "platform/Prompt.h"
#include "storage/Databases.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>
#include <cstdio>
#include <iostream>
#include <set>
#include <string>

namespace {

// Message boxes become lines on the terminal; "\r\n" inside a text is a line break.
std::string Printable(std::string text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r')
            continue;
        out += text[i];
    }
    return out;
}

class TerminalPrompt : public IPrompt {
public:
    explicit TerminalPrompt(bool yes) : yes_(yes) {}
    void Inform(const std::string& text, const std::string& title) override {
        std::fprintf(stderr, "%s: %s\n", title.c_str(), Printable(text).c_str());
        if (Failures().count(text) || text.rfind(LinkText::kOpenFail, 0) == 0 ||
            text.find("could not be") != std::string::npos)
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
            declined = true;
            return false;
        }
        const bool y = !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
        declined = !y;
        return y;
    }
    bool failed = false;
    bool declined = false;

private:
    static const std::set<std::string>& Failures() {
        static const std::set<std::string> f = {LinkText::kGiveUpStall, LinkText::kGiveUpSilence,
                                                LinkText::kGiveUpLimit, kCrcFailText};
        return f;
    }
    bool yes_;
};

class FixedPortChooser : public IPortChooser {
public:
    explicit FixedPortChooser(std::string path) : path_(std::move(path)) {}
    bool ChoosePort(GetDataDlgModel&, GetDataDlgModel::Choice& choice) override {
        choice.devicePath = path_;
        const size_t slash = path_.rfind('/');
        choice.label = slash == std::string::npos ? path_ : path_.substr(slash + 1);
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
    explicit ConsoleFrame(CResultDatabases& db) : db_(db) {}
    int ActiveView() const override { return 2; }
    void ShowView(int) override {}
    void RefreshActiveView() override {}
    void FillDownloadList() override {
        auto lock = db_.DownloadTable.Lock();
        stored = db_.DownloadTable.CountRows();
        std::fprintf(stderr, "%d new result%s stored in %s\n", stored, stored == 1 ? "" : "s",
                     db_.MainDbPath.toLocal8Bit().constData());
    }
    void SetStatusPane(int, const std::string&) override {}
    int stored = 0;

private:
    CResultDatabases& db_;
};

int Usage() {
    std::fprintf(stderr, "usage: trevanix-cli download --port PATH [--yes]\n"
                         "  Downloads every result the analyzer holds and stores the new ones.\n"
                         "  --port PATH  the serial device of the analyzer (e.g. /dev/ttyUSB0)\n"
                         "  --yes        do not ask before downloading\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::string port;
    bool yes = false;
    if (argc < 2 || std::string(argv[1]) != "download")
        return Usage();
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--port" && i + 1 < argc)
            port = argv[++i];
        else if (a == "--yes" || a == "-y")
            yes = true;
        else
            return Usage();
    }
    if (port.empty())
        return Usage();

    TerminalPrompt prompt(yes);
    const QString base = AppFolders::MakeBaseFolder(AppFolders::DefaultBaseFolder());
    const QString data = AppFolders::MakeDataFolder(QDir::currentPath());
    AppSettings settings;
    LoadSettings(settings, base);
    CResultDatabases db(base, &prompt);
    db.OpenDatabases();
    if (!db.DatabaseReady) {
        std::fprintf(stderr, "trevanix-cli: the result databases are not open\n");
        return 1;
    }

    CSerialComm serial;
    QtEventClock clock;
    FixedPortChooser chooser(port);
    ConsoleFrame frame(db);
    PortLists ports;
    ProcessDlgModel processDlg;
    CheckingDlgModel checkingDlg;
    ReceiveProgressModel progress;
    // Status texts, without the per-byte "Receiving data" alternation, and progress by tenths.
    std::string lastText;
    int lastTenth = -1;
    processDlg.SetObserver([&]() {
        const std::string text = processDlg.Text();
        const int percent = processDlg.ProgressPercent();
        if (percent >= 0 && percent / 10 != lastTenth) {
            lastTenth = percent / 10;
            std::fprintf(stderr, "  %3d%%  %s\n", percent, processDlg.ProgressDetail().c_str());
        }
        const bool receiving = text.rfind(LinkText::kReceivingA, 0) == 0 ||
                               text == LinkText::kReceivingB;
        if (receiving && lastText.rfind("Receiving data", 0) == 0)
            return;
        if (text != lastText) {
            lastText = text;
            std::fprintf(stderr, "%s\n", Printable(receiving ? std::string("Receiving data from analyzer...") : text).c_str());
        }
    });

    CAcquisitionController link(LinkContext{serial, clock, prompt, chooser, frame, db, settings,
                                            ports, processDlg, checkingDlg, progress,
                                            DecoderFolders{base, data}, nullptr});
    link.Initialise();
    QTimer::singleShot(0, [&]() { link.FrameCommand(FRAME_COMMAND_TAG, 50); });
    // Done when the download has ended and nothing is being written or decoded any more.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&]() {
        const AcquisitionState& s = link.State();
        if (s.ManualPhase == -1 && link.Writes().Idle() && !link.WorkerBusy() &&
            !link.TimerRunning(kTimerHandshake) && !link.TimerRunning(kTimerWatchdog))
            app.quit();
    });
    poll.start(100);
    app.exec();
    link.Shutdown();
    db.CloseDatabases();

    if (prompt.failed)
        return 1;
    if (prompt.declined)
        return 2;
    return 0;
}
