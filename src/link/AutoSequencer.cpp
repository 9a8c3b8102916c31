// The automatic-mode step machine, one step per tick of timer 10: find the adapter, open its
// port, check the link, wait for the measurement, fetch it, then lead the user through the
// cartridge prompts.

#include "link/AutoSequencer.h"

#include "link/AcquisitionController.h"

CAutoSequencer::CAutoSequencer(CAcquisitionController& session)
    : x_(session), s_(session.s_) {}

void CAutoSequencer::Tick() {
    stepTimeTaken_ = false;
    Step();
    RestartStepTimeAfterWrites();
}

bool CAutoSequencer::After(int64_t ms) const {
    return x_.c_.clock.NowMs() - s_.StepTime >= ms;
}

void CAutoSequencer::GoTo(int step, bool keepTime) {
    s_.AutoStep = step;
    if (!keepTime) {
        s_.StepTime = x_.c_.clock.NowMs();
        stepTimeTaken_ = true;
    }
}

void CAutoSequencer::RestartStepTimeAfterWrites() {
    // The original wrote its commands with blocking pauses, so a step's wait began after the
    // last byte of the command (or the port's open pause) the step had queued. Here the bytes
    // go out afterwards: the step time is taken again once they are written, unless the
    // sequence has moved on meanwhile.
    if (!stepTimeTaken_ || x_.writes_.Idle())
        return;
    const int step = s_.AutoStep;
    x_.writes_.Then([this, step]() {
        if (s_.AutoStep == step)
            s_.StepTime = x_.c_.clock.NowMs();
    });
}

void CAutoSequencer::ClearAll() {
    x_.ClearReceiveState();
    s_.AckText.clear();
}

void CAutoSequencer::TransferFailed() {
    // Ask for the same result again twice (step 27 repeats the request 3.5 s later), then go
    // back to checking the link and waiting.
    s_.TransferActive = false;
    s_.LinkPhase = kPhaseAutoWaiting;
    if (++retries_ <= 2) {
        GoTo(kStepRequestAgain);
    } else {
        retries_ = 0;
        GoTo(kStepSearch);
    }
}

void CAutoSequencer::Step() {
    const int step = s_.AutoStep;
    if (step >= kStepStart && step <= kStepSearchWait)
        StepSearch();
    else if (step >= kStepPrepare && step <= kStepHandshakeReply)
        StepHandshake();
    else if (step >= kStepAwaitMeasurement && step <= kStepRequest)
        StepMeasurement();
    else if (step >= kStepRemoveCartridge && step <= kStepEnd)
        StepPrompts();
}

bool CAutoSequencer::AckBegins(const char* two) const {
    const std::string& ack = s_.AckText;
    return ack.size() >= 2 && ack[0] == two[0] && s_.AckText[1] == two[1];
}

// Steps 0 to 7: scan for the adapter and open its port.
void CAutoSequencer::StepSearch() {
    switch (s_.AutoStep) {
    case kStepStart:
        s_.ScanPortIndex = 0;
        s_.HandshakeCount = 0;
        x_.SignalScan();
        GoTo(kStepScanWait);
        break;
    case kStepRescan:
        if (After(2500)) {
            x_.SignalScan();
            GoTo(kStepScanWait);
        }
        break;
    case kStepScanWait:
        if (After(1500))
            GoTo(kStepFirstOpen, true);
        break;
    case kStepFirstOpen:
    case kStepOpenNext: {
        // Flag and count from the same scan.
        const PortLists::Snapshot ports = x_.c_.ports.Get();
        if (ports.AdapterFound) {
            if (s_.AutoStep == kStepFirstOpen)
                s_.ScanPortCount = static_cast<int>(ports.AdapterPortList.size());
            GoTo(kStepPrepare);
            x_.Dispatch(kCmdOpenNextAdapter);
        } else {
            GoTo(kStepRescan);
        }
        break;
    }
    case kStepSearch:
        x_.ShowStatus(LinkText::kWaiting);
        s_.AckText.clear();
        x_.SignalScan();
        GoTo(kStepSearchWait);
        break;
    case kStepSearchWait:
        if (After(1500)) {
            const PortLists::Snapshot ports = x_.c_.ports.Get();
            if (x_.c_.port.IsOpen() && ports.AdapterFound) {
                s_.ScanPortCount = static_cast<int>(ports.AdapterPortList.size());
                GoTo(kStepOpenNext);
            } else {
                x_.ClosePort();
                GoTo(kStepRescan);
            }
        }
        break;
    default:
        break;
    }
}

// Steps 10 to 20: check the link ("HC"), six tries per port.
void CAutoSequencer::StepHandshake() {
    switch (s_.AutoStep) {
    case kStepPrepare:
        if (After(1500)) {
            x_.ShowStatus(LinkText::kChecking);
            s_.AckText.clear();
            GoTo(kStepHandshake, true);
        }
        break;
    case kStepHandshake:
        if (x_.c_.port.IsOpen()) {
            s_.AckText.clear();
            GoTo(kStepHandshakeReply);
            x_.Dispatch(kCmdAutoHandshake);
        } else {
            GoTo(kStepSearch);
        }
        break;
    case kStepHandshakeReply:
        if (AckBegins("HC") || AckBegins("HU")) {
            s_.HandshakeReplyU = s_.AckText[1] == 'U';
            if (++s_.HandshakeCount > 5)
                s_.HandshakeCount = 0;
            // What came before the reply is gone with it; what followed it (a measurement
            // notice sent at once) is kept, and the port is not purged, as everything still
            // in its queue arrived after the reply.
            const std::string following = s_.AckText.substr(2);
            ClearAll();
            x_.ShowStatus(LinkText::kAwaiting);
            s_.ReplyFilter = kFilterMeasurement;
            s_.AckText = following;
            GoTo(kStepAwaitMeasurement);
        } else if (After(7000)) {
            ++s_.HandshakeCount;
            ClearAll();
            x_.Dispatch(kCmdPurge);
            if (s_.HandshakeCount > 5) {
                s_.HandshakeCount = 0;
                GoTo(kStepSearch);
            } else {
                GoTo(kStepPrepare);
            }
        }
        break;
    default:
        break;
    }
}

// Steps 25 to 30: wait for the finished measurement, then ask for it.
void CAutoSequencer::StepMeasurement() {
    switch (s_.AutoStep) {
    case kStepAwaitMeasurement:
        if (AckBegins("SF")) {
            x_.Dispatch(kCmdPurge);
            x_.ShowStatus(LinkText::kMeasured);
            x_.c_.processDlg.SetCaption(LinkText::kClose);
            s_.LinkPhase = kPhaseAutoWaiting;
            ClearAll();
            GoTo(kStepRequest);
        } else if (After(400000)) {
            ClearAll();
            GoTo(kStepSearch);
        }
        break;
    case kStepRequestAgain:
        if (After(1500)) {
            s_.LinkPhase = kPhaseAutoWaiting;
            ClearAll();
            GoTo(kStepRequest);
            x_.Dispatch(kCmdPurge);
        }
        break;
    case kStepRequest:
        if (After(2000)) {
            GoTo(kStepTransfer);
            s_.LinkPhase = kPhaseAutoTransfer;
            ClearAll();
            x_.Dispatch(kCmdAutoRequest);
        }
        break;
    default:
        break;
    }
}

// Steps 110 to 130: the cartridge prompts, then the end of automatic mode.
void CAutoSequencer::StepPrompts() {
    switch (s_.AutoStep) {
    case kStepRemoveCartridge:
        if (!x_.c_.processDlg.IsVisible()) {
            x_.ShowStatus(LinkText::kRemoveCartridge);
            s_.LinkPhase = kPhaseAutoWaiting;
            GoTo(kStepCartridgeRemoved, true);
        }
        break;
    case kStepCartridgeRemoved:
        if (!x_.c_.processDlg.IsVisible()) {
            x_.ShowStatus(LinkText::kCartridgeRemoved);
            GoTo(kStepPromptsDone, true);
        }
        break;
    case kStepPromptsDone:
        if (!x_.c_.processDlg.IsVisible())
            GoTo(kStepTerminate, true);
        break;
    case kStepTerminate:
        x_.c_.checkingDlg.SetText(LinkText::kAutoTerminated); // also resets its answer
        x_.c_.checkingDlg.Show();
        s_.ScanPortIndex = 0;
        GoTo(kStepEnd, true);
        break;
    case kStepEnd:
        if (!x_.c_.checkingDlg.IsVisible()) {
            s_.AutoStep = kStepStopped;
            s_.AutoMode = 0;
            s_.LinkPhase = kPhaseManual;
        }
        break;
    default:
        break;
    }
}
