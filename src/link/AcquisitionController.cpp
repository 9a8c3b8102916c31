#include "link/AcquisitionController.h"

#include "link/DecoderBridge.h"
#include "platform/Prompt.h"
#include "settings/Settings.h"
#include "storage/Databases.h"

#include <QDateTime>
#include <QMetaObject>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr uint32_t kPortBufferSize = 1000000;
constexpr const char kManualHandshake[] = "ST\x03";
constexpr const char kManualRequest[] = "SH\x03";
constexpr const char kAutoHandshake[] = "HC\x03";
constexpr const char kAutoRequest[] = "SC\x03";
constexpr const char kEndCommand[] = "SE\x03";
constexpr const char kDeleteCommand[] = "SD\x03"; // delete every result in the analyzer
constexpr int kAutoReplyTimeoutMs = 15000;

std::string Format(const char* fmt, int value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, value);
    return buf;
}

} // namespace

// ---------------------------------------------------------------------------------------------

CAcquisitionController::CAcquisitionController(LinkContext ctx)
    : ctx_(std::move(ctx)), writes_(ctx_.port, ctx_.clock),
      handshakeTimer_(ctx_.clock, 1000, [this]() { OnTimer(kTimerHandshake); }),
      watchdogTimer_(ctx_.clock, 1000, [this]() { OnTimer(kTimerWatchdog); }),
      autoTimer_(ctx_.clock, 1000, [this]() { OnTimer(kTimerAuto); }),
      worker_(
          CCommWorker::Jobs{[this](const DownloadBlock& b) { RunDecode(b); },
                            [this]() { RunFullScan(); }, [this]() { RunPresenceCheck(); },
                            [this](std::function<void()> then) { writes_.Then(std::move(then)); },
                            [this]() { return state_.AppRunning.load(); }}) {
    if (!ctx_.enumerate)
        ctx_.enumerate = []() { return EnumeratePorts(false); };
    writes_.OnIdle = [this]() { DrainReceived(); };
    state_.ReplyRecordLength = kReplyRecordLength;
    state_.ReplyFilter = kFilterNone;
    state_.AppRunning = true;
    state_.WorkerRun = true;
    worker_.Start();
}

CAcquisitionController::~CAcquisitionController() {
    Shutdown();
}

void CAcquisitionController::Initialise() {
    state_.AutoStep = kStepStopped;
    state_.LinkPhase = kPhaseNone;
    state_.ManualPhase = kManualIdle;
    state_.HandshakeReplyU = false;
    state_.AutoMode = kModeManual;
}

void CAcquisitionController::Shutdown() {
    if (shutDown_)
        return;
    shutDown_ = true;
    state_.AppRunning = false;
    ctx_.port.Close();
    handshakeTimer_.Stop();
    watchdogTimer_.Stop();
    autoTimer_.Stop();
    writes_.Clear();
    // A store waiting for a database held by another program gives up at once (and rolls
    // back), so closing the window never waits for it.
    ctx_.db.ResultTable.CancelWaits(true);
    ctx_.db.DownloadTable.CancelWaits(true);
    state_.WorkerRun = false;
    worker_.Stop();
}

bool CAcquisitionController::TimerRunning(FrameTimer id) const {
    switch (id) {
    case kTimerHandshake:
        return handshakeTimer_.IsRunning();
    case kTimerWatchdog:
        return watchdogTimer_.IsRunning();
    case kTimerAuto:
        return autoTimer_.IsRunning();
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------------------------
// What views and the command-line front end ask for

void CAcquisitionController::StartManual() {
    if (state_.AutoMode == kModeManual && state_.ManualPhase == kManualIdle)
        SignalScan(); // the port scan; its end starts the manual download (kCmdManual)
}

void CAcquisitionController::StartAutomatic() {
    state_.AutoMode = kModeAutomatic;
    Dispatch(kCmdStartAutomatic);
}

void CAcquisitionController::SwitchToManual() {
    state_.AutoMode = kModeManual;
    state_.ManualPhase = kManualScanned;
    Dispatch(kCmdManual);
}

bool CAcquisitionController::IsIdle() const {
    return state_.ManualPhase == kManualIdle &&
           (state_.AutoMode == kModeManual || state_.AutoStep == kStepStopped) && writes_.Idle() &&
           !worker_.Busy() && !handshakeTimer_.IsRunning() && !watchdogTimer_.IsRunning();
}

// ---------------------------------------------------------------------------------------------
// Commands

void CAcquisitionController::FrameCommand(int tag, int code) {
    if (tag != FRAME_COMMAND_TAG)
        return;
    dispatcher_.Dispatch(code);
}

void CAcquisitionController::Dispatch(FrameCommandCode code) {
    dispatcher_.Dispatch(code);
}

// ---------------------------------------------------------------------------------------------
// Manual download

void CAcquisitionController::ChoosePort() {
    state_.ManualPhase = kManualChoosing;
    if (ctx_.chooser.IsOpen()) {
        ctx_.chooser.Refresh();
        return;
    }
    watchdogTimer_.Stop();
    GetDataDlgModel model(ctx_.ports, [this]() {
        // The dialog's port search: the full scan on this thread.
        ctx_.ports.FullScan(ctx_.enumerate());
        if (state_.LinkPhase == kPhaseManual || state_.LinkPhase == kPhaseNone) {
            state_.ManualPhase = kManualScanned;
            Dispatch(kCmdManual);
        }
    });
    GetDataDlgModel::Choice choice;
    if (!ctx_.chooser.ChoosePort(model, choice)) {
        state_.ManualPhase = kManualIdle;
        return;
    }
    state_.SelectedPortLabel = choice.label;
    ctx_.frame.SetStatusPane(kPanePort, choice.devicePath);
    SetupAndOpen(choice.devicePath);
    writes_.Then([this]() { OpenChosenPort(); });
}

void CAcquisitionController::SetupAndOpen(const std::string& devicePath) {
    ClosePort();
    writes_.Then([this, devicePath]() {
        ISerialPort& p = ctx_.port;
        p.PortName = devicePath;
        p.BaudRate = 9600;
        p.ByteSize = 8;
        p.Parity = 0;
        p.StopBits = 0;
        p.FlowSetting &= ~7u;
        p.Setup([this](char byte) { SerialRx(kSerialRxTag, &byte, 1); }, kPortBufferSize);
        if (p.Open())
            writes_.Wait(800); // the adapter settles before the first command
    });
}

void CAcquisitionController::OpenChosenPort() {
    if (!ctx_.port.IsOpen()) {
        std::string text = LinkText::kOpenFail;
        const std::string advice = OpenFailureAdvice(ctx_.port.OpenError(), ctx_.port.PortName);
        if (!advice.empty())
            text += "\r\n\r\n" + advice;
        Inform(text);
        state_.ManualPhase = kManualIdle;
        Report(DownloadOutcome::OpenFailed, text);
        return;
    }
    const std::string question =
        state_.SelectedPortLabel + LinkText::kConnected + LinkText::kDownloadQuestion;
    if (ctx_.prompt.Ask(question, kMessageTitle)) {
        state_.TransferActive = false;
        state_.DownloadAttempts = 0;
        Dispatch(kCmdManualHandshake);
    } else {
        state_.ManualPhase = kManualIdle; // the port stays open
        Report(DownloadOutcome::Declined, question);
    }
}

void CAcquisitionController::SendHandshake() {
    ShowStatus(LinkText::kCheckingManual);
    ctx_.processDlg.SetCaption(LinkText::kClose);
    state_.ManualPhase = kManualHandshakeSent;
    ClearReceiveState();
    state_.StallCount = state_.LastRxCount = 0;
    state_.ReplyFilter = kFilterHandshake;
    writes_.Send(kManualHandshake, 500, 2);
    writes_.Then([this]() {
        if (state_.LinkPhase != kPhaseManual)
            return;
        writes_.Wait(300);
        writes_.Then([this]() { handshakeTimer_.Start(); });
    });
}

void CAcquisitionController::SendRequest() {
    ShowStatus(LinkText::kTransferred);
    state_.TransferActive = true;
    ClearReceiveState();
    state_.StallCount = state_.LastRxCount = 0;
    state_.ReplyFilter = kFilterHandshake;
    state_.TransferStopwatch.Stop();
    state_.StallTimeout = 8000;
    state_.SilenceTimeout = 15000;
    state_.GiveUpTimeout = 90000;
    watchdog_.NewTransfer();
    writes_.Send(kManualRequest, 500, 1);
    writes_.Then([this]() { ++state_.DownloadAttempts; });
    writes_.Wait(300);
    writes_.Then([this]() { watchdogTimer_.Start(); });
}

void CAcquisitionController::SendEnd() {
    // BlockText stays: the decoder works on its own copy anyway.
    framer_.Reset();
    state_.ReplyFilter = kFilterHandshake;
    writes_.Send(kEndCommand, 500, 2);
}

void CAcquisitionController::FinishDownload() {
    int rows = 0;
    {
        auto lock = ctx_.db.DownloadTable.Lock();
        if (ctx_.db.DownloadTable.IsOpen())
            rows = ctx_.db.DownloadTable.CountRows();
    }
    if (rows > 0) {
        state_.ManualPhase = kManualIdle;
        ctx_.db.Changed.Notify(ResultsChange::Stored, rows);
        Report(DownloadOutcome::Stored, std::string(), rows);
    } else {
        ShowStatus(LinkText::kNoNewData);
        state_.ManualPhase = kManualIdle;
        Report(DownloadOutcome::NothingNew, LinkText::kNoNewData);
    }
}

void CAcquisitionController::EnterManual() {
    autoTimer_.Stop();
    state_.AutoStep = kStepStopped;
    state_.LinkPhase = kPhaseManual;
    state_.LinkStopwatch.Stop();
    state_.ManualPhase = kManualScanned;
    ctx_.frame.SetStatusPane(kPaneMode, "manual");
}

void CAcquisitionController::ClosePortAfterWrites() {
    writes_.Then([this]() { ClosePort(); });
}

void CAcquisitionController::PurgeAfterWrites() {
    writes_.Then([this]() { ctx_.port.Purge(); });
}

void CAcquisitionController::SendDeleteAll() {
    state_.TransferActive = true;
    ClearReceiveState();
    state_.StallCount = state_.LastRxCount = 0;
    writes_.Send(kDeleteCommand, 500, 2);
}

void CAcquisitionController::ClosePort() {
    if (!ctx_.port.IsOpen())
        return;
    ctx_.port.Close();
    deferred_.clear(); // nothing read before the close is handed on after it
    deferredPos_ = 0;
    writes_.Wait(200); // the driver lets go of the device before anything else touches it
}

// ---------------------------------------------------------------------------------------------
// Automatic-mode commands (the step machine itself runs on the automatic timer)

void CAcquisitionController::BeginAutomatic() {
    watchdogTimer_.Stop();
    ShowStatus(LinkText::kAutoInitiated);
    ctx_.processDlg.SetCaption(LinkText::kClose);
    ctx_.frame.SetStatusPane(kPaneMode, "automatic");
    state_.TransferActive = false;
    state_.ScanPortIndex = 0;
    state_.LinkStopwatch.Stop();
    sequencer_.ResetRetries();
    state_.AutoStep = kStepStart;
    state_.LinkPhase = kPhaseAutoWaiting;
    Dispatch(kCmdDownload);
    writes_.Wait(500);
    writes_.Then([this]() { autoTimer_.Start(); });
}

void CAcquisitionController::OpenNextAdapterPort() {
    ShowStatus(LinkText::kOpenPort);
    const PortEntry entry = ctx_.ports.AdapterAt(static_cast<size_t>(state_.ScanPortIndex));
    ctx_.ports.SetAdapterPort(entry.portName);
    ++state_.ScanPortIndex;
    if (state_.ScanPortIndex >= state_.ScanPortCount)
        state_.ScanPortIndex = 0;
    SetupAndOpen(entry.devicePath);
}

void CAcquisitionController::SendAutoHandshake() {
    ShowStatus(LinkText::kCheckingAuto);
    ClearReceiveState();
    state_.StallCount = state_.LastRxCount = 0;
    state_.ReplyFilter = kFilterHandshake;
    writes_.Send(kAutoHandshake, 800, 1);
}

void CAcquisitionController::SendAutoRequest() {
    ShowStatus(LinkText::kBeingTransferred);
    state_.TransferActive = true;
    ClearReceiveState();
    state_.StallCount = state_.LastRxCount = 0;
    state_.ReplyFilter = kFilterTransfer;
    writes_.Send(kAutoRequest, 800, 1);
}

void CAcquisitionController::AutomaticStored() {
    state_.AutoStep = kStepRemoveCartridge;
    state_.LinkPhase = kPhaseAutoWaiting;
    sequencer_.ResetRetries();
}

void CAcquisitionController::AdapterGone() {
    state_.AutoStep = kStepSearch;
    state_.LinkPhase = kPhaseAutoWaiting;
    state_.LinkStopwatch.Stop();
}

// ---------------------------------------------------------------------------------------------
// Timers

void CAcquisitionController::OnTimer(FrameTimer id) {
    // A tick that falls while a command is being written is dropped: the next one comes a second
    // later, and nothing may read the line's state before the command has left.
    if (!state_.AppRunning || !writes_.Idle())
        return;
    RefreshStatusBar(id);
    switch (id) {
    case kTimerHandshake:
        if (state_.LinkStopwatch.Run(ctx_.clock) >= 800) {
            handshakeTimer_.Stop();
            state_.ManualPhase = kManualRequestSent;
            Dispatch(kCmdManualRequest);
        }
        break;
    case kTimerWatchdog:
        watchdog_.Tick();
        break;
    case kTimerAuto:
        OnAutoTick();
        break;
    }
}

void CAcquisitionController::OnAutoTick() {
    if (state_.AutoMode != kModeAutomatic)
        return;
    if (state_.LinkPhase == kPhaseAutoWaiting) {
        sequencer_.Tick();
        if (state_.AutoStep >= kStepHandshake && state_.AutoStep <= kStepRemoveCartridge &&
            state_.LinkStopwatch.Run(ctx_.clock) >= 15000) {
            state_.LinkStopwatch.Stop();
            Dispatch(kCmdPresenceCheck);
        }
    } else if (state_.LinkPhase == kPhaseAutoTransfer && state_.AutoStep == kStepTransfer &&
               state_.TransferActive && sequencer_.After(kAutoReplyTimeoutMs)) {
        // The one-record reply takes 50 ms on the line; without it (adapter pulled out
        // during the request, analyzer busy) automatic mode would wait here for ever.
        sequencer_.TransferFailed();
    }
}

void CAcquisitionController::RefreshStatusBar(FrameTimer id) {
    IFrameHost& f = ctx_.frame;
    const QDateTime now = QDateTime::currentDateTime();
    const std::string clock =
        "20" + now.toString(QStringLiteral("yy/MM/dd - HH:mm:ss")).toStdString();
    f.SetStatusPane(kPaneMode, state_.AutoMode == kModeAutomatic ? "automatic" : "manual");
    f.SetStatusPane(kPaneClock, clock);
    if (state_.AutoMode == kModeManual) {
        f.SetStatusPane(kPanePort, ctx_.port.PortName);
    } else {
        const PortLists::Snapshot lists = ctx_.ports.Get();
        const size_t i = static_cast<size_t>(state_.ScanPortIndex);
        f.SetStatusPane(kPanePort, lists.AdapterPortList.empty() ? clock
                                   : i < lists.AdapterPortList.size()
                                       ? lists.AdapterPortList[i].portName
                                       : std::string());
    }
    f.SetStatusPane(kPaneCount, state_.AutoMode == kModeAutomatic
                                    ? Format("SEQ : %d", state_.AutoStep)
                                    : Format("Cnt : %d", state_.DownloadAttempts));
    if (id == kTimerAuto && state_.AutoMode == kModeAutomatic &&
        state_.LinkPhase == kPhaseAutoWaiting) {
        f.SetStatusPane(kPaneScanCount, Format("Scan Port Count : %d", state_.ScanPortCount));
        f.SetStatusPane(kPanePortIndex, Format("Current Port Index : %d", state_.HandshakeCount));
    }
}
