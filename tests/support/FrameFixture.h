#pragma once
// The main window as the window tests build it: a temporary base folder (its DATA folder
// beside), a scripted prompt, and the link on a fake port and the manual clock, so nothing waits
// for a device or real time. The frame is initialised; `shown` shows it first.

#include "FakeSerialPort.h"
#include "ManualEventClock.h"
#include "TestSupport.h"
#include "app/MainFrame.h"

#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QThread>
#include <memory>

inline std::unique_ptr<LinkStack> FakeLinkStack() {
    return std::make_unique<LinkStack>(std::make_unique<FakeSerialPort>(),
                                       std::make_unique<ManualEventClock>());
}

struct FrameFixture {
    explicit FrameFixture(bool shown = true)
        : frame(prompt, home.path(), home.path() + "/DATA", FakeLinkStack()) {
        if (shown)
            frame.show();
        frame.FirstInitialisation();
    }
    // Until the worker's job has sent its call to this thread (not handled yet). False when it
    // has not within a deadline far beyond any normal run, so a lost call fails the test instead
    // of hanging it.
    [[nodiscard]] bool LetTheWorkerCatchUp() {
        const QDeadlineTimer deadline(kWorkerDeadlineMs);
        while (!frame.Link().WorkerCalling()) {
            if (deadline.hasExpired())
                return false;
            QThread::yieldCurrentThread();
        }
        return true;
    }
    static constexpr int kWorkerDeadlineMs = 30000;

    QTemporaryDir home;
    ScriptedPrompt prompt;
    CMainFrame frame;
};
