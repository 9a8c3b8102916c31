// The automatic-mode step machine, one step per tick of the automatic timer: find the adapter, open
// its port, check the link, wait for the measurement, fetch it, then lead the user through the
// cartridge prompts.

#include "link/AutoSequencer.h"

#include "link/Framer.h"
#include "link/LinkTexts.h"
#include "link/SessionParts.h"
#include "link/WriteQueue.h"

CAutoSequencer::CAutoSequencer(ISequencerHost& host, AcquisitionState& state)
    : host_(host), state_(state) {}

void CAutoSequencer::Tick() {
    stepTimeTaken_ = false;
    Step();
    RestartStepTimeAfterWrites();
}

bool CAutoSequencer::After(int64_t ms) const {
    return host_.Clock().NowMs() - state_.StepTime >= ms;
}

void CAutoSequencer::GoTo(AutoStepValue step, bool keepTime) {
    state_.AutoStep = step;
    if (!keepTime) {
        state_.StepTime = host_.Clock().NowMs();
        stepTimeTaken_ = true;
    }
}

void CAutoSequencer::RestartStepTimeAfterWrites() {
    // A step's wait counts from the last byte of the command (or the port's open pause) the
    // step queued: the analyzer's reply time starts there, not when the step ran. The bytes go
    // out after the step, so the step time is taken again once they are written, unless the
    // sequence has moved on meanwhile.
    if (!stepTimeTaken_ || host_.Writes().Idle())
        return;
    const AutoStepValue step = state_.AutoStep;
    host_.Writes().Then([this, step]() {
        if (state_.AutoStep == step)
            state_.StepTime = host_.Clock().NowMs();
    });
}

void CAutoSequencer::ClearAll() {
    host_.ClearReceiveState();
    state_.AckText.clear();
}

void CAutoSequencer::TransferFailed() {
    // Ask for the same result again twice (step 27 repeats the request 3.5 s later), then go
    // back to checking the link and waiting.
    state_.TransferActive = false;
    state_.LinkPhase = kPhaseAutoWaiting;
    if (++retries_ <= 2) {
        GoTo(kStepRequestAgain);
    } else {
        retries_ = 0;
        GoTo(kStepSearch);
    }
}

void CAutoSequencer::Step() {
    const AutoStepValue step = state_.AutoStep;
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
    const std::string& ack = state_.AckText;
    return ack.size() >= 2 && ack[0] == two[0] && ack[1] == two[1];
}

// Steps 0 to 7: scan for the adapter and open its port.
void CAutoSequencer::StepSearch() {
    switch (state_.AutoStep) {
    case kStepStart:
        state_.ScanPortIndex = 0;
        state_.HandshakeCount = 0;
        host_.SignalScan();
        GoTo(kStepScanWait);
        break;
    case kStepRescan:
        if (After(2500)) {
            host_.SignalScan();
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
        const PortLists::Snapshot ports = host_.Ports();
        if (ports.AdapterFound) {
            if (state_.AutoStep == kStepFirstOpen)
                state_.ScanPortCount = static_cast<int>(ports.AdapterPortList.size());
            GoTo(kStepPrepare);
            host_.Dispatch(kCmdOpenNextAdapter);
        } else {
            GoTo(kStepRescan);
        }
        break;
    }
    case kStepSearch:
        host_.ShowStatus(LinkText::kWaiting);
        state_.AckText.clear();
        host_.SignalScan();
        GoTo(kStepSearchWait);
        break;
    case kStepSearchWait:
        if (After(1500)) {
            const PortLists::Snapshot ports = host_.Ports();
            if (host_.PortOpen() && ports.AdapterFound) {
                state_.ScanPortCount = static_cast<int>(ports.AdapterPortList.size());
                GoTo(kStepOpenNext);
            } else {
                host_.ClosePort();
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
    switch (state_.AutoStep) {
    case kStepPrepare:
        if (After(1500)) {
            host_.ShowStatus(LinkText::kChecking);
            state_.AckText.clear();
            GoTo(kStepHandshake, true);
        }
        break;
    case kStepHandshake:
        if (host_.PortOpen()) {
            state_.AckText.clear();
            GoTo(kStepHandshakeReply);
            host_.Dispatch(kCmdAutoHandshake);
        } else {
            GoTo(kStepSearch);
        }
        break;
    case kStepHandshakeReply:
        if (AckBegins("HC") || AckBegins("HU")) {
            state_.HandshakeReplyU = state_.AckText[1] == 'U';
            if (++state_.HandshakeCount > 5)
                state_.HandshakeCount = 0;
            // What came before the reply is gone with it; what followed it (a measurement
            // notice sent at once) is kept, and the port is not purged, as everything still
            // in its queue arrived after the reply.
            const std::string following = state_.AckText.substr(2);
            ClearAll();
            host_.ShowStatus(LinkText::kAwaiting);
            state_.ReplyFilter = kFilterMeasurement;
            state_.AckText = following;
            GoTo(kStepAwaitMeasurement);
        } else if (After(7000)) {
            ++state_.HandshakeCount;
            ClearAll();
            host_.Dispatch(kCmdPurge);
            if (state_.HandshakeCount > 5) {
                state_.HandshakeCount = 0;
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
    switch (state_.AutoStep) {
    case kStepAwaitMeasurement:
        if (AckBegins("SF")) {
            host_.Dispatch(kCmdPurge);
            host_.ShowStatus(LinkText::kMeasured);
            host_.SetStatusCaption(LinkText::kClose);
            state_.LinkPhase = kPhaseAutoWaiting;
            ClearAll();
            GoTo(kStepRequest);
        } else if (After(400000)) {
            ClearAll();
            GoTo(kStepSearch);
        }
        break;
    case kStepRequestAgain:
        if (After(1500)) {
            state_.LinkPhase = kPhaseAutoWaiting;
            ClearAll();
            GoTo(kStepRequest);
            host_.Dispatch(kCmdPurge);
        }
        break;
    case kStepRequest:
        if (After(2000)) {
            GoTo(kStepTransfer);
            state_.LinkPhase = kPhaseAutoTransfer;
            ClearAll();
            host_.Dispatch(kCmdAutoRequest);
        }
        break;
    default:
        break;
    }
}

// Steps 110 to 130: the cartridge prompts, then the end of automatic mode.
void CAutoSequencer::StepPrompts() {
    switch (state_.AutoStep) {
    case kStepRemoveCartridge:
        if (!host_.StatusShown()) {
            host_.ShowStatus(LinkText::kRemoveCartridge);
            state_.LinkPhase = kPhaseAutoWaiting;
            GoTo(kStepCartridgeRemoved, true);
        }
        break;
    case kStepCartridgeRemoved:
        if (!host_.StatusShown()) {
            host_.ShowStatus(LinkText::kCartridgeRemoved);
            GoTo(kStepPromptsDone, true);
        }
        break;
    case kStepPromptsDone:
        if (!host_.StatusShown())
            GoTo(kStepTerminate, true);
        break;
    case kStepTerminate:
        host_.ShowTermination(LinkText::kAutoTerminated);
        terminationShown_ = true;
        state_.ScanPortIndex = 0;
        GoTo(kStepEnd, true);
        break;
    case kStepEnd:
        if (!terminationShown_)
            host_.LeaveAutomatic();
        break;
    default:
        break;
    }
}

SessionPrompt CAutoSequencer::Pending() const {
    switch (state_.AutoStep) {
    case kStepRemoveCartridge:
    case kStepCartridgeRemoved:
    case kStepPromptsDone:
        return host_.StatusShown() ? SessionPrompt::Status : SessionPrompt::None;
    case kStepEnd:
        return terminationShown_ ? SessionPrompt::Termination : SessionPrompt::None;
    default:
        return SessionPrompt::None;
    }
}
