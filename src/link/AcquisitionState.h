#pragma once
// The acquisition state: what the link knows about the exchange with the analyzer. The download
// session (CAcquisitionController) is its one writer; views and the command-line front end
// read it and ask the session for changes.

#include "link/LinkCodes.h"
#include "platform/Clock.h"
#include "storage/DownloadDecoder.h"

#include <atomic>
#include <cstdint>
#include <string>

// The tags that mark a frame command and bytes from the port as the session's own: anything
// that arrives with another tag is not meant for it and changes nothing.
inline constexpr int FRAME_COMMAND_TAG = 0x0400 + 600; // 1624
inline constexpr int kSerialRxTag = 1000;

// Timer ids of the frame.
enum FrameTimer { kTimerHandshake = 3, kTimerWatchdog = 5, kTimerAuto = 10 };

// Stopwatch in milliseconds on the event clock: the first Run starts it.
struct Stopwatch {
    bool running = false;
    int64_t start = 0;
    int64_t Run(const IClock& clock) {
        if (!running) {
            running = true;
            start = clock.NowMs();
        }
        return clock.NowMs() - start;
    }
    void Stop() { running = false; }
};

// What the session publishes of the exchange. The session and its parts write it on the
// session's thread; everybody else reads it through IDownloadSession::State(). Only AppRunning
// is read by other threads.
struct AcquisitionState {
    std::atomic<bool> AppRunning{true};
    bool WorkerRun = true;
    AutoModeValue AutoMode = kModeManual;
    LinkPhaseValue LinkPhase = kPhaseNone;
    AutoStepValue AutoStep = kStepStopped;
    ManualPhaseValue ManualPhase = kManualIdle;
    int64_t StepTime = 0;
    int ScanPortIndex = 0;
    int ScanPortCount = 0;
    std::string RxText;
    int RxCount = 0;
    int ReplyFilter = 0;
    bool HandshakeReplyU = false;
    int StallCount = 0;
    int LastRxCount = 0;
    double StallTimeout = 8000;
    double SilenceTimeout = 15000;
    double GiveUpTimeout = 90000;
    Stopwatch LinkStopwatch;
    Stopwatch TransferStopwatch;
    std::string BlockText;
    int BlockRecordCount = 0;
    int ReplyRecordLength = kReplyRecordLength;
    std::string SelectedPortLabel;
    // The replies of automatic mode collected so far (two letters each).
    std::string AckText;
    bool TransferActive = false;
    int DownloadAttempts = 0;
    int HandshakeCount = 0;
};
