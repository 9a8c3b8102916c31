#pragma once
// A whole download path without a window: the simulated analyzer behind a port without a
// device, the session built from the program's LinkStack, the decoder and the tables, in
// simulated time.

#include "FakeAnalyzer.h"
#include "FakeLinkStack.h"
#include "LinkFakes.h"
#include "TestSupport.h"
#include "link/AcquisitionController.h"
#include "settings/Settings.h"
#include "storage/Databases.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThread>
#include <memory>
#include <string>
#include <vector>

struct LinkRig {
    static constexpr const char* kPortPath = "/dev/ttyFAKE0";

    explicit LinkRig(SimOptions options = SimOptions())
        : sim(std::move(options), serial, clock, kPortPath) {
        base = home.path();
        db = std::make_unique<CResultDatabases>(base, &prompt);
        db->OpenDatabases();
        chooser.path = sim.SlavePath();
        stack.enumerate = [this]() { return enumerated; };
        controller = std::make_unique<CAcquisitionController>(stack.Context(
            prompt, chooser, frame, *db, settings, DecoderFolders{base, base + "/DATA"}));
        controller->Initialise();
        controller->Writes().OnWrite = [this](char byte, bool taken) {
            if (taken) {
                ++written;
                writes.push_back({byte, clock.NowMs()});
            }
        };
        db->Changed.Subscribe([this](ResultsChange change, int rows) {
            if (change == ResultsChange::Stored)
                storedNotices.push_back(rows);
        });
        controller->SetOutcomeListener(
            [this](const SessionOutcome& o) { outcomes.push_back(o.kind); });
        processDlg.SetObserver([this]() {
            const std::string t = processDlg.Text();
            if (statuses.empty() || statuses.back() != t)
                statuses.push_back(t);
        });
    }
    ~LinkRig() {
        controller->Shutdown();
        db->CloseDatabases();
    }

    // Lets the worker catch up: until it is idle or waits for this thread. True when it did.
    bool Settle() {
        for (int i = 0; i < 2000000; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            if (i > 1 && controller->WorkerQuiet())
                return true;
            QThread::yieldCurrentThread();
        }
        return false;
    }
    void Run(int64_t ms) {
        clock.RunFor(ms, [this]() { settled &= Settle(); });
    }
    void Command(int code) {
        controller->FrameCommand(FRAME_COMMAND_TAG, code);
        settled &= Settle();
    }
    // Runs in steps (half a second unless given) until the condition holds.
    template <typename F> bool RunUntil(F done, int64_t limitMs, int64_t stepMs = 500) {
        for (int64_t t = 0; t < limitMs; t += stepMs) {
            if (done())
                return true;
            Run(stepMs);
        }
        return done();
    }
    // The simulator offered as the USB adapter, as the scan will find it.
    static EnumeratedPort Adapter(const std::string& path) {
        return ExtraPorts(path + "=Prolific USB-to-Serial Comm Port")[0];
    }
    // Runs until the manual download is over (ManualPhase back to -1 and nothing pending).
    bool RunUntilIdle(int64_t limitMs) {
        for (int64_t t = 0; t < limitMs; t += 100) {
            Run(100);
            const AcquisitionState& s = controller->State();
            if (s.ManualPhase == kManualIdle && controller->Writes().Idle() &&
                controller->WorkerQuiet() && !controller->WorkerBusy() &&
                !controller->TimerRunning(kTimerWatchdog) &&
                !controller->TimerRunning(kTimerHandshake))
                return true;
        }
        return false;
    }
    int Rows(CResultTable& table) {
        auto lock = table.Lock();
        return table.CountRows();
    }
    // The commands the analyzer received, as their letters.
    std::string Commands() const {
        std::string out;
        for (const std::string& c : sim.Commands())
            out += c + " ";
        return out;
    }
    bool Said(const std::string& text) const {
        for (const auto& m : prompt.messages)
            if (m.text.rfind(text, 0) == 0)
                return true;
        return false;
    }
    bool Showed(const std::string& text) const {
        for (const auto& s : statuses)
            if (s == text)
                return true;
        return false;
    }

    QTemporaryDir home;
    QString base;
    ScriptedPrompt prompt;
    std::unique_ptr<CResultDatabases> db;
    AppSettings settings;
    ScriptedChooser chooser;
    FakeFrame frame;
    FakeLinkStack stack;
    PortLists& ports = stack.ports;
    ProcessDlgModel& processDlg = stack.processDlg;
    CheckingDlgModel& checkingDlg = stack.checkingDlg;
    ReceiveProgressModel& progress = stack.progress;
    std::vector<EnumeratedPort> enumerated;
    FakeSerialPort& serial = stack.serial;
    ManualEventClock& clock = stack.manualClock;
    FakeAnalyzer sim;
    std::unique_ptr<CAcquisitionController> controller;
    size_t written = 0;
    // Every byte the port took, with the simulated time it was handed over.
    std::vector<FakeAnalyzer::Rx> writes;
    bool settled = true;
    std::vector<std::string> statuses;
    // The rows of each "stored" notice of the databases, and every outcome of the session.
    std::vector<int> storedNotices;
    std::vector<DownloadOutcome> outcomes;
};
