#pragma once
// The download path on a fake serial port in simulated time: the controller, the worker, the
// decoder and the tables, with the analyzer's side scripted on the clock. Nothing waits for a
// pseudo-terminal or for real time, so a 9,999-record block at 9600 baud takes seconds.

#include "FakeSerialPort.h"
#include "LinkFakes.h"
#include "LinkRig.h"
#include "ManualEventClock.h"
#include "TestSupport.h"

struct FakeLinkRig {
    FakeLinkRig() : analyzer(port, clock) {
        base = home.path();
        db = std::make_unique<CResultDatabases>(base, &prompt);
        db->OpenDatabases();
        chooser.path = kPortPath;
        controller = std::make_unique<CAcquisitionController>(LinkContext{
            port, clock, prompt, chooser, frame, *db, settings, ports, processDlg, checkingDlg,
            progress, DecoderFolders{base, base + "/DATA"},
            [this]() { return ExtraPorts(std::string(kPortPath) +
                                         "=Prolific USB-to-Serial Comm Port"); }});
        controller->Initialise();
        processDlg.SetObserver([this]() {
            const std::string t = processDlg.Text();
            if (statuses.empty() || statuses.back() != t)
                statuses.push_back(t);
        });
    }
    ~FakeLinkRig() {
        controller->Shutdown();
        db->CloseDatabases();
    }

    // Lets the worker catch up: until it is idle or waiting for this thread's clock.
    void Settle() {
        for (int i = 0; i < 2000000; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            if (controller->WorkerQuiet() && i > 1)
                return;
            QThread::yieldCurrentThread();
        }
    }
    void Run(int64_t ms) {
        clock.RunFor(ms, [this]() { Settle(); });
    }
    template <typename F>
    bool RunUntil(F done, int64_t limitMs, int64_t stepMs = 100) {
        for (int64_t t = 0; t < limitMs; t += stepMs) {
            if (done())
                return true;
            Run(stepMs);
        }
        return done();
    }
    void Command(int code) {
        controller->FrameCommand(FRAME_COMMAND_TAG, code);
        Settle();
    }
    int Rows(CResultTable& table) {
        auto lock = table.Lock();
        return table.CountRows();
    }
    bool Idle() const {
        const AcquisitionState& s = controller->State();
        return s.ManualPhase == -1 && controller->Writes().Idle() && controller->WorkerQuiet() &&
               !controller->WorkerBusy() && !controller->TimerRunning(kTimerWatchdog) &&
               !controller->TimerRunning(kTimerHandshake);
    }

    static constexpr const char* kPortPath = "/dev/fake-adapter";
    QTemporaryDir home;
    QString base;
    ScriptedPrompt prompt;
    std::unique_ptr<CResultDatabases> db;
    AppSettings settings;
    FakeSerialPort port;
    ManualEventClock clock;
    ClockedAnalyzer analyzer;
    ScriptedChooser chooser;
    FakeFrame frame;
    PortLists ports;
    ProcessDlgModel processDlg;
    CheckingDlgModel checkingDlg;
    ReceiveProgressModel progress;
    std::unique_ptr<CAcquisitionController> controller;
    std::vector<std::string> statuses;
};
