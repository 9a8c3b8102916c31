// The frame-command dispatcher: every request that crosses the program (views, the settings
// dialog, the decoder, the session itself) arrives here as one command code.

#include "link/CommandDispatcher.h"

#include "link/AcquisitionController.h"

namespace {
constexpr const char kDeleteCommand[] = "SD\x03"; // delete every result in the analyzer
} // namespace

CCommandDispatcher::CCommandDispatcher(CAcquisitionController& session)
    : x_(session), s_(session.s_) {}

void CCommandDispatcher::Dispatch(int code) {
    if (!View(code) && !Automatic(code))
        Manual(code);
}

// Views and their refresh (1 to 4, 12). True when the code was one of these.
bool CCommandDispatcher::View(int code) {
    switch (code) {
    case kCmdShowHome:
    case kCmdShowAllData:
    case kCmdShowGraph:
        if (x_.c_.frame.ActiveView() != code)
            x_.c_.frame.ShowView(code);
        return true;
    case kCmdDownload:
        if (x_.c_.frame.ActiveView() == 2) {
            if (s_.AutoMode == 0)
                x_.SignalScan();
        } else {
            x_.c_.frame.ShowView(2);
        }
        return true;
    case kCmdRefreshView: {
        const int v = x_.c_.frame.ActiveView();
        if (v >= 2 && v <= 4)
            x_.c_.frame.RefreshActiveView();
        return true;
    }
    default:
        return false;
    }
}

// The automatic sequence (30 to 36). True when the code was one of these.
bool CCommandDispatcher::Automatic(int code) {
    const bool running = s_.AppRunning;
    switch (code) {
    case kCmdStartAutomatic:
        x_.BeginAutomatic();
        return true;
    case kCmdOpenNextAdapter:
        x_.OpenNextAdapterPort();
        return true;
    case kCmdAdapterGone:
        s_.AutoStep = kStepSearch;
        s_.LinkPhase = kPhaseAutoWaiting;
        s_.LinkStopwatch.Stop();
        return true;
    case kCmdAutoHandshake:
        if (running)
            x_.AutoHandshake();
        return true;
    case kCmdAutoRequest:
        if (running)
            x_.AutoRequest();
        return true;
    case kCmdAutoStored:
        s_.AutoStep = kStepRemoveCartridge;
        s_.LinkPhase = kPhaseAutoWaiting;
        x_.sequencer_.ResetRetries();
        return true;
    case kCmdPresenceCheck:
        x_.SignalPresence();
        return true;
    default:
        return false;
    }
}

// The manual download and the line (10, 37, 50 to 54, 60, 65, 500).
void CCommandDispatcher::Manual(int code) {
    const bool running = s_.AppRunning;
    switch (code) {
    case kCmdPortChoice:
        x_.ManualPortChoice();
        break;
    case kCmdAcknowledge:
    case kCmdEndTransfer:
        if (running)
            x_.Acknowledge();
        break;
    case kCmdManual:
        x_.timer10_.Stop();
        s_.AutoStep = kStepStopped;
        s_.LinkPhase = kPhaseManual;
        s_.LinkStopwatch.Stop();
        s_.ManualPhase = kManualScanned;
        x_.c_.frame.SetStatusPane(kPaneMode, "manual");
        Dispatch(kCmdPortChoice);
        break;
    case kCmdManualHandshake:
        if (running)
            x_.ManualHandshake();
        break;
    case kCmdManualRequest:
        if (running)
            x_.ManualRequest();
        break;
    case kCmdClosePort:
        // After whatever is still being written.
        x_.writes_.Then([this]() { x_.ClosePort(); });
        break;
    case kCmdDeleteAll:
        if (running) {
            s_.TransferActive = true;
            x_.ClearReceiveState();
            s_.StallCount = s_.LastRxCount = 0;
            x_.writes_.Send(kDeleteCommand, 500, 2);
        }
        break;
    case kCmdPurge:
        x_.writes_.Then([this]() { x_.c_.port.Purge(); });
        break;
    case kCmdStored:
        x_.Finish();
        break;
    default:
        break;
    }
}
