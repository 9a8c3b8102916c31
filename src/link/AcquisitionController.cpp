#include "link/AcquisitionController.h"

#include "link/DecoderBridge.h"
#include "settings/Settings.h"
#include "platform/Prompt.h"
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
constexpr int kAutoReplyTimeoutMs = 15000;

std::string Format(const char* fmt, int value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, value);
    return buf;
}

} // namespace


// ---------------------------------------------------------------------------------------------

CAcquisitionController::CAcquisitionController(LinkContext ctx)
    : c_(std::move(ctx)), writes_(c_.port, c_.clock),
      timer3_(c_.clock, 1000, [this]() { OnTimer(kTimerHandshake); }),
      timer5_(c_.clock, 1000, [this]() { OnTimer(kTimerWatchdog); }),
      timer10_(c_.clock, 1000, [this]() { OnTimer(kTimerAuto); }),
      worker_(CCommWorker::Jobs{
          [this](const DownloadBlock& b) { RunDecode(b); }, [this]() { RunFullScan(); },
          [this]() { RunPresenceCheck(); },
          [this](std::function<void()> then) { writes_.Then(std::move(then)); },
          [this]() { return s_.AppRunning.load(); }}) {
    if (!c_.enumerate)
        c_.enumerate = []() { return EnumeratePorts(false); };
    writes_.OnIdle = [this]() { DrainReceived(); };
    s_.ReplyRecordLength = kReplyRecordLength;
    s_.ReplyFilter = kFilterNone;
    s_.AppRunning = true;
    s_.WorkerRun = true;
    worker_.Start();
}

CAcquisitionController::~CAcquisitionController() { Shutdown(); }

void CAcquisitionController::Initialise() {
    s_.AutoStep = kStepStopped;
    s_.LinkPhase = kPhaseNone;
    s_.ManualPhase = kManualIdle;
    s_.HandshakeReplyU = false;
    s_.AutoMode = 0;
}

void CAcquisitionController::Shutdown() {
    if (shutDown_)
        return;
    shutDown_ = true;
    s_.AppRunning = false;
    c_.port.Close();
    timer3_.Stop();
    timer5_.Stop();
    timer10_.Stop();
    writes_.Clear();
    // A store waiting for a database held by another program gives up at once (and rolls
    // back), so closing the window never waits for it.
    c_.db.ResultTable.CancelWaits(true);
    c_.db.DownloadTable.CancelWaits(true);
    s_.WorkerRun = false;
    worker_.Stop();
}

bool CAcquisitionController::TimerRunning(int id) const {
    switch (id) {
    case kTimerHandshake: return timer3_.IsRunning();
    case kTimerWatchdog: return timer5_.IsRunning();
    case kTimerAuto: return timer10_.IsRunning();
    default: return false;
    }
}

void CAcquisitionController::ShowStatus(const std::string& text) {
    c_.processDlg.SetText(text);
    c_.processDlg.Show();
}

void CAcquisitionController::ClearReceiveState() {
    framer_.Reset();
    s_.BlockText.clear();
    if (progressRecords_ >= 0)
        c_.processDlg.SetProgress(-1, std::string());
    progressRecords_ = -1;
}

// ---------------------------------------------------------------------------------------------
// What views and the command-line front end ask for

void CAcquisitionController::StartManual() {
    if (s_.AutoMode == 0 && s_.ManualPhase == kManualIdle)
        SignalScan(); // the port scan; its end starts the manual download (50)
}

void CAcquisitionController::StartAutomatic() {
    s_.AutoMode = 1;
    Dispatch(kCmdStartAutomatic);
}

void CAcquisitionController::SwitchToManual() {
    s_.AutoMode = 0;
    s_.ManualPhase = kManualScanned;
    Dispatch(kCmdManual);
}

bool CAcquisitionController::IsIdle() const {
    return s_.ManualPhase == kManualIdle && (s_.AutoMode == 0 || s_.AutoStep == kStepStopped) &&
           writes_.Idle() && !worker_.Busy() && !timer3_.IsRunning() && !timer5_.IsRunning();
}

// ---------------------------------------------------------------------------------------------
// Dispatcher

void CAcquisitionController::FrameCommand(int tag, int code) {
    if (tag != FRAME_COMMAND_TAG)
        return;
    Dispatch(code);
}

void CAcquisitionController::Dispatch(int code) { dispatcher_.Dispatch(code); }

// ---------------------------------------------------------------------------------------------
// Manual download

void CAcquisitionController::ManualPortChoice() {
    s_.ManualPhase = kManualChoosing;
    if (c_.chooser.IsOpen()) {
        c_.chooser.Refresh();
        return;
    }
    timer5_.Stop();
    GetDataDlgModel model(c_.ports, [this]() {
        // The dialog's port search: the full scan on this thread.
        c_.ports.FullScan(c_.enumerate());
        if (s_.LinkPhase == kPhaseManual || s_.LinkPhase == kPhaseNone) {
            s_.ManualPhase = kManualScanned;
            Dispatch(kCmdManual);
        }
    });
    GetDataDlgModel::Choice choice;
    if (!c_.chooser.ChoosePort(model, choice)) {
        s_.ManualPhase = kManualIdle;
        return;
    }
    s_.SelectedPortLabel = choice.label;
    c_.frame.SetStatusPane(kPanePort, choice.devicePath);
    SetupAndOpen(choice.devicePath);
    writes_.Then([this]() { OpenChosenPort(); });
}

void CAcquisitionController::SetupAndOpen(const std::string& devicePath) {
    ClosePort();
    writes_.Then([this, devicePath]() {
        ISerialPort& p = c_.port;
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
    if (!c_.port.IsOpen()) {
        std::string text = LinkText::kOpenFail;
        const std::string advice = OpenFailureAdvice(c_.port.OpenError(), c_.port.PortName);
        if (!advice.empty())
            text += "\r\n\r\n" + advice;
        c_.prompt.Inform(text, kMessageTitle);
        s_.ManualPhase = kManualIdle;
        return;
    }
    const std::string question =
        s_.SelectedPortLabel + LinkText::kConnected + LinkText::kDownloadQuestion;
    if (c_.prompt.Ask(question, kMessageTitle)) {
        s_.TransferActive = false;
        s_.DownloadAttempts = 0;
        Dispatch(kCmdManualHandshake);
    } else {
        s_.ManualPhase = kManualIdle; // the port stays open
    }
}

void CAcquisitionController::ManualHandshake() {
    ShowStatus(LinkText::kCheckingManual);
    c_.processDlg.SetCaption(LinkText::kClose);
    s_.ManualPhase = kManualHandshakeSent;
    ClearReceiveState();
    s_.StallCount = s_.LastRxCount = 0;
    s_.ReplyFilter = kFilterHandshake;
    writes_.Send(kManualHandshake, 500, 2);
    writes_.Then([this]() {
        if (s_.LinkPhase != kPhaseManual)
            return;
        writes_.Wait(300);
        writes_.Then([this]() { timer3_.Start(); });
    });
}

void CAcquisitionController::ManualRequest() {
    ShowStatus(LinkText::kTransferred);
    s_.TransferActive = true;
    ClearReceiveState();
    s_.StallCount = s_.LastRxCount = 0;
    s_.ReplyFilter = kFilterHandshake;
    s_.TransferStopwatch.Stop();
    s_.StallTimeout = 8000;
    s_.SilenceTimeout = 15000;
    s_.GiveUpTimeout = 90000;
    watchdog_.NewTransfer();
    writes_.Send(kManualRequest, 500, 1);
    writes_.Then([this]() { ++s_.DownloadAttempts; });
    writes_.Wait(300);
    writes_.Then([this]() { timer5_.Start(); });
}

void CAcquisitionController::Acknowledge() {
    // BlockText stays: the decoder works on its own copy anyway.
    framer_.Reset();
    s_.ReplyFilter = kFilterHandshake;
    writes_.Send(kEndCommand, 500, 2);
}

void CAcquisitionController::Finish() {
    int rows = 0;
    {
        auto lock = c_.db.DownloadTable.Lock();
        if (c_.db.DownloadTable.IsOpen())
            rows = c_.db.DownloadTable.CountRows();
    }
    if (rows > 0) {
        s_.ManualPhase = kManualIdle;
        c_.frame.FillDownloadList();
        if (OnRowsStored)
            OnRowsStored(rows);
    } else {
        ShowStatus(LinkText::kNoNewData);
        s_.ManualPhase = kManualIdle;
    }
}

void CAcquisitionController::ClosePort() {
    if (!c_.port.IsOpen())
        return;
    c_.port.Close();
    deferred_.clear(); // nothing read before the close is handed on after it
    deferredPos_ = 0;
    writes_.Wait(200); // the driver lets go of the device before anything else touches it
}

// ---------------------------------------------------------------------------------------------
// Automatic-mode commands (the step machine itself runs on timer 10)

void CAcquisitionController::BeginAutomatic() {
    timer5_.Stop();
    ShowStatus(LinkText::kAutoInitiated);
    c_.processDlg.SetCaption(LinkText::kClose);
    c_.frame.SetStatusPane(kPaneMode, "automatic");
    s_.TransferActive = false;
    s_.ScanPortIndex = 0;
    s_.LinkStopwatch.Stop();
    sequencer_.ResetRetries();
    s_.AutoStep = kStepStart;
    s_.LinkPhase = kPhaseAutoWaiting;
    Dispatch(kCmdDownload);
    writes_.Wait(500);
    writes_.Then([this]() { timer10_.Start(); });
}

void CAcquisitionController::OpenNextAdapterPort() {
    ShowStatus(LinkText::kOpenPort);
    const PortEntry entry = c_.ports.AdapterAt(static_cast<size_t>(s_.ScanPortIndex));
    c_.ports.SetAdapterPort(entry.portName);
    ++s_.ScanPortIndex;
    if (s_.ScanPortIndex >= s_.ScanPortCount)
        s_.ScanPortIndex = 0;
    SetupAndOpen(entry.devicePath);
}

void CAcquisitionController::AutoHandshake() {
    ShowStatus(LinkText::kCheckingAuto);
    ClearReceiveState();
    s_.StallCount = s_.LastRxCount = 0;
    s_.ReplyFilter = kFilterHandshake;
    writes_.Send(kAutoHandshake, 800, 1);
}

void CAcquisitionController::AutoRequest() {
    ShowStatus(LinkText::kBeingTransferred);
    s_.TransferActive = true;
    ClearReceiveState();
    s_.StallCount = s_.LastRxCount = 0;
    s_.ReplyFilter = kFilterTransfer;
    writes_.Send(kAutoRequest, 800, 1);
}

// ---------------------------------------------------------------------------------------------
// Receive routine

void CAcquisitionController::SerialRx(int tag, const char* bytes, int count) {
    if (tag != kSerialRxTag || !s_.AppRunning || count <= 0)
        return;
    deferred_.append(bytes, static_cast<size_t>(count));
    DrainReceived();
}

void CAcquisitionController::DrainReceived() {
    if (draining_)
        return;
    draining_ = true;
    while (deferredPos_ < deferred_.size() && writes_.Idle() && s_.AppRunning)
        ReceiveByte(deferred_[deferredPos_++]);
    if (deferredPos_ >= deferred_.size()) {
        deferred_.clear();
        deferredPos_ = 0;
    }
    draining_ = false;
}

Listen CAcquisitionController::Listening() const {
    switch (s_.LinkPhase) {
    case kPhaseAutoWaiting: return Listen::Replies;
    case kPhaseAutoTransfer: return Listen::AutoBlock;
    case kPhaseManual: return s_.TransferActive ? Listen::ManualBlock : Listen::ManualHandshake;
    default: return Listen::Nothing;
    }
}

void CAcquisitionController::ReceiveByte(char c) {
    const FramerEvent e = framer_.Push(c, Listening(), s_.ReplyFilter, s_.TransferActive);
    switch (e.kind) {
    case FramerEvent::HandshakeReply:
        s_.HandshakeReplyU = e.replyU;
        break;
    case FramerEvent::Receiving:
        if (s_.LinkPhase == kPhaseAutoTransfer)
            ShowStatus(LinkText::kReceiving);
        else
            OnBlockByte(e);
        break;
    case FramerEvent::Blank:
        OnBlockByte(e);
        OnBlankAnalyzer();
        break;
    case FramerEvent::BlockComplete:
        OnBlockByte(e);
        s_.TransferActive = false;
        timer5_.Stop();
        timer10_.Stop();
        HandOverBlock(framer_.BlockText(), e.count);
        break;
    case FramerEvent::MeasurementFinished:
        ShowStatus(LinkText::kReceiving);
        s_.LinkPhase = kPhaseAutoWaiting;
        s_.AutoStep = kStepRequestAgain;
        s_.StepTime = c_.clock.NowMs();
        break;
    case FramerEvent::DataReply:
        ShowStatus(LinkText::kReceiving);
        // One hand-over per request: the bytes after the record must not hand it over again.
        s_.TransferActive = false;
        HandOverBlock(framer_.BlockText(), 1);
        writes_.Wait(50);
        writes_.Then([this]() { Dispatch(kCmdAcknowledge); });
        break;
    case FramerEvent::None:
        break;
    }
}

void CAcquisitionController::OnBlockByte(const FramerEvent& e) {
    ShowStatus(s_.RxCount % 4 == 0 ? LinkText::kReceivingA : LinkText::kReceivingB);
    if (e.headerNew && e.count > 400) {
        s_.StallTimeout = 90000;
        s_.SilenceTimeout = 150000;
        s_.GiveUpTimeout = std::max(200000.0, GiveUpLimitForBlock(e.count));
    }
    if (e.records < 0 || e.records == progressRecords_)
        return; // the bar moves record by record
    progressRecords_ = e.records;
    const int percent = static_cast<int>(static_cast<long long>(e.records) * 100 / e.count);
    c_.processDlg.SetProgress(percent, "Records received: " + std::to_string(e.records) + " of " +
                                           std::to_string(e.count));
}

void CAcquisitionController::OnBlankAnalyzer() {
    s_.TransferActive = false;
    timer3_.Stop();
    timer5_.Stop();
    timer10_.Stop();
    c_.prompt.Inform(LinkText::kBlankBox, kMessageTitle);
    ShowStatus(LinkText::kBlankStatus);
    s_.ManualPhase = kManualIdle;
    writes_.Wait(50);
    writes_.Then([this]() { Dispatch(kCmdAcknowledge); });
}

void CAcquisitionController::HandOverBlock(std::string block, int count) {
    s_.BlockRecordCount = count;
    s_.BlockText = std::move(block);
    DownloadBlock b;
    b.BlockText = s_.BlockText;
    b.BlockRecordCount = count;
    b.HandshakeReplyU = s_.HandshakeReplyU;
    b.AutoMode = s_.AutoMode == 1;
    b.PidDigit = c_.settings.PID_Digit;
    b.OpidDigit = c_.settings.OPID_Digit;
    writes_.Wait(50);
    writes_.Then([this, b = std::move(b)]() mutable { worker_.SignalDecode(std::move(b)); });
}

// ---------------------------------------------------------------------------------------------
// Timers

void CAcquisitionController::OnTimer(int id) {
    // A tick that falls while a command is being written is lost, as a window timer's tick is
    // while its thread is busy.
    if (!s_.AppRunning || !writes_.Idle())
        return;
    RefreshStatusBar(id);
    switch (id) {
    case kTimerHandshake:
        if (s_.LinkStopwatch.Run(c_.clock) >= 800) {
            timer3_.Stop();
            s_.ManualPhase = kManualRequestSent;
            Dispatch(kCmdManualRequest);
        }
        break;
    case kTimerWatchdog:
        watchdog_.Tick();
        break;
    case kTimerAuto:
        if (s_.AutoMode == 1 && s_.LinkPhase == kPhaseAutoWaiting) {
            sequencer_.Tick();
            if (s_.AutoStep >= kStepHandshake && s_.AutoStep <= kStepRemoveCartridge &&
                s_.LinkStopwatch.Run(c_.clock) >= 15000) {
                s_.LinkStopwatch.Stop();
                Dispatch(kCmdPresenceCheck);
            }
        } else if (s_.AutoMode == 1 && s_.LinkPhase == kPhaseAutoTransfer && s_.AutoStep == kStepTransfer &&
                   s_.TransferActive && sequencer_.After(kAutoReplyTimeoutMs)) {
            // The one-record reply takes 50 ms on the line; without it (adapter pulled out
            // during the request, analyzer busy) automatic mode would wait here for ever.
            sequencer_.TransferFailed();
        }
        break;
    default:
        break;
    }
}

void CAcquisitionController::RefreshStatusBar(int id) {
    IFrameHost& f = c_.frame;
    const QDateTime now = QDateTime::currentDateTime();
    const std::string clock =
        "20" + now.toString(QStringLiteral("yy/MM/dd - HH:mm:ss")).toStdString();
    f.SetStatusPane(kPaneMode, s_.AutoMode == 1 ? "automatic" : "manual");
    f.SetStatusPane(kPaneClock, clock);
    if (s_.AutoMode == 0) {
        f.SetStatusPane(kPanePort, c_.port.PortName);
    } else {
        const PortLists::Snapshot lists = c_.ports.Get();
        const size_t i = static_cast<size_t>(s_.ScanPortIndex);
        f.SetStatusPane(kPanePort, lists.AdapterPortList.empty() ? clock
                           : i < lists.AdapterPortList.size()
                               ? lists.AdapterPortList[i].portName
                               : std::string());
    }
    f.SetStatusPane(kPaneCount, s_.AutoMode == 1 ? Format("SEQ : %d", s_.AutoStep)
                                        : Format("Cnt : %d", s_.DownloadAttempts));
    if (id == kTimerAuto && s_.AutoMode == 1 && s_.LinkPhase == kPhaseAutoWaiting) {
        f.SetStatusPane(kPaneScanCount, Format("Scan Port Count : %d", s_.ScanPortCount));
        f.SetStatusPane(kPanePortIndex, Format("Current Port Index : %d", s_.HandshakeCount));
    }
}

// ---------------------------------------------------------------------------------------------
// Worker

void CAcquisitionController::SignalScan() { worker_.SignalScan(); }

void CAcquisitionController::SignalPresence() { worker_.SignalPresence(); }

bool CAcquisitionController::WorkerBusy() const { return worker_.Busy(); }

bool CAcquisitionController::WorkerQuiet() const { return worker_.Quiet(); }

bool CAcquisitionController::CallOnFrame(std::function<void()> step) {
    return worker_.CallOnFrame(std::move(step));
}

void CAcquisitionController::RunDecode(const DownloadBlock& block) {
    CDecoderBridge bridge(*this);
    const int stored = ProcessDownloadBlock(block, c_.db, c_.folders, bridge);
    // A rejected automatic block sends nothing back; without this the sequencer would stay at
    // step 100 for good and the measurement would never be fetched.
    if (stored == kBlockRejected && block.AutoMode)
        CallOnFrame([this]() {
            if (s_.AutoMode == 1 && s_.AutoStep == kStepTransfer)
                sequencer_.TransferFailed();
        });
}

void CAcquisitionController::RunFullScan() {
    c_.ports.FullScan(c_.enumerate()); // clears AdapterFound first
    CallOnFrame([this]() {
        if (s_.LinkPhase == kPhaseManual || s_.LinkPhase == kPhaseNone) {
            s_.ManualPhase = kManualScanned;
            Dispatch(kCmdManual);
        }
    });
}

void CAcquisitionController::RunPresenceCheck() {
    if (!c_.ports.PresenceCheck(c_.enumerate()))
        CallOnFrame([this]() { Dispatch(kCmdAdapterGone); });
}
