// Link benchmark: a 9,999-record manual download.
//
//  1. Receive routine alone: the block's bytes fed one at a time to the controller, beside a
//     baseline that only appends each byte to a string.
//  2. End to end, in this process: the simulated analyzer (a child process) sends the block at
//     full speed over a pseudo-terminal to the real serial port, controller, decoder and
//     tables. Reported: bytes per second through the receive routine, the time from the last
//     byte to the last row stored (and how much of it is the protocol's fixed pauses), and the
//     CPU time of this process for the whole download against the block's wire time at 9600
//     baud.
//  3. trevanix-cli as a child process on the same kind of block: its CPU time and peak
//     resident memory.
//
// usage: bench_link [records]   (run from the build folder; default 9999)

#include "AnalyzerSim.h"
#include "link/AcquisitionController.h"
#include "link/LinkStack.h"
#include "link/SerialComm.h"
#include "platform/EventClock.h"
#include "platform/Prompt.h"
#include "settings/Settings.h"
#include "storage/Databases.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

double CpuSeconds(const rusage& r) {
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

double NowSec() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class NullPrompt : public IPrompt {
public:
    void Inform(const std::string& text, const std::string&) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        failed = true;
    }
    bool Ask(const std::string&, const std::string&) override { return true; }
    bool failed = false;
};

class PathChooser : public IPortChooser {
public:
    std::string path;
    bool ChoosePort(GetDataDlgModel&, GetDataDlgModel::Choice& c) override {
        c.devicePath = path;
        c.label = "COM5";
        return true;
    }
    bool IsOpen() const override { return false; }
    void Refresh() override {}
};

class Frame : public IFrameHost {
public:
    int ActiveView() const override { return 2; }
    void ShowView(int) override {}
    void RefreshActiveView() override {}
    void SetStatusPane(int, const std::string&) override {}
};

class NullPort : public ISerialPort {
public:
    bool Setup(Receiver, uint32_t) override { return true; }
    bool Open() override { return true; }
    int Write(const char*, int n) override { return n; }
    void Purge() override {}
    void Close() override {}
    bool IsOpen() const override { return true; }
    PortOpenError OpenError() const override { return PortOpenError::None; }
    std::string OpenErrorText() const override { return {}; }
};

std::string Block(int n) {
    char head[16];
    std::snprintf(head, sizeof head, "SH%04d\r\n", n);
    std::string b = head;
    for (const SimRecord& r : GenerateRecords(n, 0))
        b += MakeRecord(r);
    return b;
}

// Starts a program with the given arguments, its output to /dev/null (stdout kept when asked),
// in the given folder (empty: this one). Returns its pid, or -1.
pid_t Spawn(std::vector<std::string> args, const std::string& dir = std::string()) {
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    if (!dir.empty())
        posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, args[0].c_str(), &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    return rc == 0 ? pid : -1;
}

// Starts analyzer-sim with a symbolic link to its device; returns its pid.
pid_t StartSim(const std::string& simPath, int records, const std::string& link) {
    const pid_t pid = Spawn({simPath, "--records", std::to_string(records), "--link", link});
    for (int i = 0; pid > 0 && i < 100 && access(link.c_str(), F_OK) != 0; ++i)
        usleep(20000);
    return pid;
}

void StopSim(pid_t pid) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

void ReceiveRoutine(int n) {
    const std::string block = Block(n);
    // Baseline: the least any receive routine does, keep each byte.
    double base = 1e9;
    for (int rep = 0; rep < 3; ++rep) {
        std::string kept;
        const double t0 = NowSec();
        for (char c : block)
            kept.push_back(c);
        base = std::min(base, NowSec() - t0);
        if (kept.size() != block.size())
            std::abort();
    }
    double ours = 1e9;
    for (int rep = 0; rep < 3; ++rep) {
        QTemporaryDir home;
        NullPrompt prompt;
        CResultDatabases db(home.path(), &prompt);
        AppSettings settings;
        LinkStack stack(std::make_unique<NullPort>(), std::make_unique<QtEventClock>());
        stack.enumerate = []() { return std::vector<EnumeratedPort>(); };
        PathChooser chooser;
        Frame frame;
        CAcquisitionController c(
            stack.Context(prompt, chooser, frame, db, settings, DecoderFolders{}));
        c.Initialise();
        c.Presets().PresetAwaitingBlock(false);
        const AcquisitionState& s = c.State();
        const double t0 = NowSec();
        for (char ch : block)
            c.SerialRx(kSerialRxTag, &ch, 1);
        ours = std::min(ours, NowSec() - t0);
        if (s.TransferActive || s.BlockRecordCount != n)
            std::fprintf(stderr, "receive routine did not complete the block\n");
        c.Shutdown();
    }
    std::printf("receive routine, %zu bytes one at a time (best of 3)\n", block.size());
    std::printf("  baseline (append only) : %8.2f ms  %10.0f bytes/s\n", base * 1e3,
                block.size() / base);
    std::printf("  receive routine        : %8.2f ms  %10.0f bytes/s  (%.1fx baseline)\n",
                ours * 1e3, block.size() / ours, ours / base);
}

void EndToEnd(const std::string& simPath, int n) {
    const std::string link =
        QDir::tempPath().toStdString() + "/bench-link-" + std::to_string(getpid());
    const pid_t sim = StartSim(simPath, n, link);
    if (sim <= 0) {
        std::fprintf(stderr, "cannot start %s\n", simPath.c_str());
        return;
    }
    QTemporaryDir home;
    NullPrompt prompt;
    CResultDatabases db(home.path(), &prompt);
    db.OpenDatabases();
    AppSettings settings;
    std::unique_ptr<LinkStack> stack = LinkStack::Real();
    PathChooser chooser;
    chooser.path = link;
    Frame frame;
    double storedAt = 0;
    db.Changed.Subscribe([&storedAt](ResultsChange change, int) {
        if (change == ResultsChange::Stored) {
            storedAt = NowSec();
            QCoreApplication::quit();
        }
    });
    ProcessDlgModel& dlg = stack->processDlg;
    double firstByte = 0, lastByte = 0;
    const std::string done = "Records received: " + std::to_string(n) + " of " + std::to_string(n);
    dlg.SetObserver([&]() {
        const std::string d = dlg.ProgressDetail();
        if (firstByte == 0 && dlg.ProgressPercent() >= 0)
            firstByte = NowSec();
        if (lastByte == 0 && d == done)
            lastByte = NowSec();
    });
    CAcquisitionController c(stack->Context(prompt, chooser, frame, db, settings,
                                            DecoderFolders{home.path(), home.path() + "/DATA"}));
    c.Initialise();
    rusage r0{}, r1{};
    getrusage(RUSAGE_SELF, &r0);
    const double t0 = NowSec();
    QTimer::singleShot(0, [&]() { c.FrameCommand(FRAME_COMMAND_TAG, 50); });
    QTimer::singleShot(600000, []() { QCoreApplication::quit(); });
    QCoreApplication::exec();
    const double t1 = NowSec();
    getrusage(RUSAGE_SELF, &r1);
    c.Shutdown();
    int rows;
    {
        auto lock = db.ResultTable.Lock();
        rows = db.ResultTable.CountRows();
    }
    db.CloseDatabases();
    StopSim(sim);

    const size_t bytes = 8 + 43 * static_cast<size_t>(n);
    const double wire = bytes * 10.0 / 9600.0;
    // Fixed waits between the last byte and the stored rows: 50 ms hand-over, the decoder's
    // 300 + 300 ms and the end command's five 500-ms gaps.
    const double fixedWaits = 0.050 + 0.300 + 2.500 + 0.300;
    const double cpu = CpuSeconds(r1) - CpuSeconds(r0);
    std::printf("end to end over a pseudo-terminal, %d records, %zu bytes\n", n, bytes);
    std::printf("  rows stored            : %d\n", rows);
    std::printf("  first to last byte     : %8.3f s  %10.0f bytes/s through the receive routine\n",
                lastByte - firstByte, bytes / std::max(1e-9, lastByte - firstByte));
    std::printf("  last byte to rows in   : %8.3f s  (%.3f s of it fixed protocol waits, "
                "%.3f s the program's own work)\n",
                storedAt - lastByte, fixedWaits, storedAt - lastByte - fixedWaits);
    std::printf("  whole download         : %8.3f s wall, %.3f s CPU of this process\n", t1 - t0,
                cpu);
    std::printf("  wire time at 9600 baud : %8.1f s; CPU is %.3f%% of it (target < 1%%)\n", wire,
                100.0 * cpu / wire);
}

void CliChild(const std::string& simPath, const std::string& cliPath, int n) {
    const std::string link =
        QDir::tempPath().toStdString() + "/bench-cli-" + std::to_string(getpid());
    const pid_t sim = StartSim(simPath, n, link);
    QTemporaryDir home;
    setenv("TREVANIX_HOME", home.path().toLocal8Bit().constData(), 1);
    const double t0 = NowSec();
    const pid_t pid =
        Spawn({cliPath, "download", "--port", link, "--yes"}, home.path().toStdString());
    if (pid <= 0) {
        std::fprintf(stderr, "cannot start %s\n", cliPath.c_str());
        StopSim(sim);
        return;
    }
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    const double t1 = NowSec();
    StopSim(sim);
    std::printf("trevanix-cli download of %d records (child process)\n", n);
    std::printf("  exit status            : %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    std::printf("  wall time              : %8.3f s\n", t1 - t0);
    std::printf("  CPU time               : %8.3f s\n", CpuSeconds(ru));
    std::printf("  peak resident memory   : %8.1f MB (target < 80 MB)\n", ru.ru_maxrss / 1024.0);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 9999;
    const QString dir = QCoreApplication::applicationDirPath();
    const std::string simPath = (dir + "/analyzer-sim").toStdString();
    const std::string cliPath = (dir + "/../src/trevanix-cli").toStdString();
    ReceiveRoutine(n);
    EndToEnd(simPath, n);
    CliChild(simPath, cliPath, n);
    return 0;
}
