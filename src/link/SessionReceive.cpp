// The session's receive routine and the worker's jobs.

#include "link/AcquisitionController.h"

#include "link/DecoderBridge.h"
#include "platform/Prompt.h"
#include "settings/Settings.h"

// ---------------------------------------------------------------------------------------------
// Receive routine

void CAcquisitionController::SerialRx(int tag, const char* bytes, int count) {
    if (tag != kSerialRxTag || !state_.AppRunning || count <= 0)
        return;
    deferred_.append(bytes, static_cast<size_t>(count));
    DrainReceived();
}

void CAcquisitionController::DrainReceived() {
    if (draining_)
        return;
    draining_ = true;
    while (deferredPos_ < deferred_.size() && writes_.Idle() && state_.AppRunning)
        ReceiveByte(deferred_[deferredPos_++]);
    ShowRunStatus();
    if (deferredPos_ >= deferred_.size()) {
        deferred_.clear();
        deferredPos_ = 0;
    }
    draining_ = false;
}

Listen CAcquisitionController::Listening() const {
    switch (state_.LinkPhase) {
    case kPhaseAutoWaiting:
        return Listen::Replies;
    case kPhaseAutoTransfer:
        return Listen::AutoBlock;
    case kPhaseManual:
        return state_.TransferActive ? Listen::ManualBlock : Listen::ManualHandshake;
    default:
        return Listen::Nothing;
    }
}

void CAcquisitionController::ReceiveByte(char byte) {
    const FramerEvent e =
        framer_.Push(byte, Listening(), state_.ReplyFilter, state_.TransferActive);
    // Whatever follows the block's bytes is shown after them, in the order it happens.
    if (e.kind != FramerEvent::Receiving && e.kind != FramerEvent::None &&
        e.kind != FramerEvent::Blank && e.kind != FramerEvent::BlockComplete)
        ShowRunStatus();
    switch (e.kind) {
    case FramerEvent::HandshakeReply:
        state_.HandshakeReplyU = e.replyU;
        break;
    case FramerEvent::Receiving:
        if (state_.LinkPhase == kPhaseAutoTransfer) {
            static const std::string receiving = LinkText::kReceiving;
            receivingText_ = &receiving; // shown when the run is read
        } else
            OnBlockByte(e);
        break;
    case FramerEvent::Blank:
        OnBlockByte(e);
        ShowRunStatus();
        OnBlankAnalyzer();
        break;
    case FramerEvent::BlockComplete:
        OnBlockByte(e);
        ShowRunStatus(); // before the worker's statuses
        state_.TransferActive = false;
        watchdogTimer_.Stop();
        autoTimer_.Stop();
        HandOverBlock(framer_.BlockText(), e.count);
        break;
    case FramerEvent::MeasurementFinished:
        ShowStatus(LinkText::kReceiving);
        state_.LinkPhase = kPhaseAutoWaiting;
        state_.AutoStep = kStepRequestAgain;
        state_.StepTime = ctx_.clock.NowMs();
        break;
    case FramerEvent::DataReply:
        ShowStatus(LinkText::kReceiving);
        // One hand-over per request: the bytes after the record must not hand it over again.
        state_.TransferActive = false;
        HandOverBlock(framer_.BlockText(), 1);
        writes_.Wait(50);
        writes_.Then([this]() { Dispatch(kCmdAcknowledge); });
        break;
    case FramerEvent::None:
        break;
    }
}

void CAcquisitionController::OnBlockByte(const FramerEvent& e) {
    // Every byte of a block turns the status text; the text of a run's last byte is the one
    // shown (ShowReceivingText), so a block costs a status change per run, not per byte.
    static const std::string receivingA = LinkText::kReceivingA;
    static const std::string receivingB = LinkText::kReceivingB;
    receivingText_ = state_.RxCount % 4 == 0 ? &receivingA : &receivingB;
    if (e.headerNew && e.count > 400) {
        state_.StallTimeout = 90000;
        state_.SilenceTimeout = 150000;
        state_.GiveUpTimeout = std::max(200000.0, GiveUpLimitForBlock(e.count));
    }
    if (e.records < 0 || e.records == progressRecords_)
        return; // the bar moves record by record
    progressRecords_ = e.records;
    progressOf_ = e.count;
    progressDue_ = true;
}

void CAcquisitionController::ShowRunStatus() {
    if (receivingText_)
        ShowStatus(*receivingText_);
    receivingText_ = nullptr;
    if (progressDue_ && progressOf_ > 0) {
        const int percent =
            static_cast<int>(static_cast<long long>(progressRecords_) * 100 / progressOf_);
        ctx_.processDlg.SetProgress(percent,
                                    "Records received: " + std::to_string(progressRecords_) +
                                        " of " + std::to_string(progressOf_));
    }
    progressDue_ = false;
}

void CAcquisitionController::OnBlankAnalyzer() {
    state_.TransferActive = false;
    handshakeTimer_.Stop();
    watchdogTimer_.Stop();
    autoTimer_.Stop();
    Inform(LinkText::kBlankBox);
    ShowStatus(LinkText::kBlankStatus);
    state_.ManualPhase = kManualIdle;
    Report(DownloadOutcome::Blank, LinkText::kBlankBox);
    writes_.Wait(50);
    writes_.Then([this]() { Dispatch(kCmdAcknowledge); });
}

void CAcquisitionController::HandOverBlock(std::string block, int count) {
    state_.BlockRecordCount = count;
    state_.BlockText = std::move(block);
    DownloadBlock b;
    b.BlockText = state_.BlockText;
    b.BlockRecordCount = count;
    b.HandshakeReplyU = state_.HandshakeReplyU;
    b.AutoMode = state_.AutoMode == kModeAutomatic;
    b.PidDigit = ctx_.settings.PID_Digit;
    b.OpidDigit = ctx_.settings.OPID_Digit;
    writes_.Wait(50);
    writes_.Then([this, b = std::move(b)]() mutable { worker_.SignalDecode(std::move(b)); });
}

// ---------------------------------------------------------------------------------------------
// Worker

void CAcquisitionController::SignalScan() {
    worker_.SignalScan();
}

void CAcquisitionController::SignalPresence() {
    worker_.SignalPresence();
}

bool CAcquisitionController::WorkerBusy() const {
    return worker_.Busy();
}

bool CAcquisitionController::WorkerQuiet() const {
    return worker_.Quiet();
}

bool CAcquisitionController::CallOnFrame(std::function<void()> step) {
    return worker_.CallOnFrame(std::move(step));
}

void CAcquisitionController::RunDecode(const DownloadBlock& block) {
    CDecoderBridge bridge(static_cast<IDecoderHost&>(*this));
    const int stored = ProcessDownloadBlock(block, ctx_.db, ctx_.folders, bridge);
    // A rejected automatic block sends nothing back; without this the sequencer would stay at
    // step 100 for good and the measurement would never be fetched.
    if (stored == kBlockRejected && block.AutoMode)
        CallOnFrame([this]() {
            if (state_.AutoMode == kModeAutomatic && state_.AutoStep == kStepTransfer)
                sequencer_.TransferFailed();
        });
}

void CAcquisitionController::RunFullScan() {
    ctx_.ports.FullScan(ctx_.enumerate()); // clears AdapterFound first
    CallOnFrame([this]() {
        if (state_.LinkPhase == kPhaseManual || state_.LinkPhase == kPhaseNone) {
            state_.ManualPhase = kManualScanned;
            Dispatch(kCmdManual);
        }
    });
}

void CAcquisitionController::RunPresenceCheck() {
    if (!ctx_.ports.PresenceCheck(ctx_.enumerate()))
        CallOnFrame([this]() { Dispatch(kCmdAdapterGone); });
}
