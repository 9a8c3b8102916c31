#pragma once
// The acquisition controller: the frame-command dispatcher, the receive routine, the manual
// download, the transfer watchdog and the worker thread that scans ports and decodes blocks.
//
// It lives on the main frame's thread and needs no window: the frame (or the command-line front
// end, or a test) gives it the pieces below. The analyzer needs minimum gaps between the bytes
// of a command and after it; they are kept through a write queue on the event clock instead of
// pauses on the user-interface thread: the line sees the same bytes, in the same order, with
// the same gaps, and a step that follows a command runs only after the command's last byte.
//
// The parts (the step machine, the watchdog, the decoder's bridge, the command table) reach the
// session only through the narrow interfaces of link/SessionParts.h.
//
// Threads: everything here runs on the controller's thread except the worker's jobs. A job
// talks back only through CallOnFrame, which runs a step on the controller's thread and waits
// for it (and for the bytes it queued), as a synchronous window message would. The worker gets
// its block as a copy taken when the decode is signalled, so nothing it reads can change under
// it. The port lists carry their own lock.

#include "link/AcquisitionState.h"
#include "link/AutoSequencer.h"
#include "link/CommWorker.h"
#include "link/CommandDispatcher.h"
#include "link/DownloadSession.h"
#include "link/FrameHost.h"
#include "link/Framer.h"
#include "link/LinkCodes.h"
#include "link/LinkTexts.h"
#include "link/PortDiscovery.h"
#include "link/SerialPort.h"
#include "link/SessionParts.h"
#include "link/StatusDialogs.h"
#include "link/TransferWatchdog.h"
#include "link/WriteQueue.h"
#include "platform/EventClock.h"
#include "platform/ThreadCalls.h"
#include "storage/DownloadDecoder.h"

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CResultDatabases;
class IPrompt;
struct AppSettings;

struct LinkContext {
    ISerialPort& port;
    IEventClock& clock;
    IPrompt& prompt;
    IPortChooser& chooser;
    IFrameHost& frame;
    CResultDatabases& db;
    AppSettings& settings;
    PortLists& ports;
    ProcessDlgModel& processDlg;
    CheckingDlgModel& checkingDlg;
    ReceiveProgressModel& progress;
    DecoderFolders folders;
    // The port enumeration; tests give a fixed list.
    std::function<std::vector<EnumeratedPort>()> enumerate;
};

// Puts the session where a test or a benchmark starts from, without driving it there.
class ISessionPresets {
public:
    virtual ~ISessionPresets() = default;
    virtual void PresetMode(AutoModeValue mode) = 0;
    virtual void PresetManualPhase(ManualPhaseValue phase) = 0;
    // The line waits for a block: automatic (kPhaseAutoTransfer at kStepTransfer) or manual.
    virtual void PresetAwaitingBlock(bool automatic) = 0;
};

class CAcquisitionController : public IDownloadSession,
                               private ISequencerHost,
                               private IWatchdogHost,
                               private IDecoderHost,
                               private ILinkCommands,
                               private ISessionPresets {
public:
    explicit CAcquisitionController(LinkContext ctx);
    ~CAcquisitionController() override;
    CAcquisitionController(const CAcquisitionController&) = delete;
    CAcquisitionController& operator=(const CAcquisitionController&) = delete;

    // The frame's first initialisation: phases reset, no port open, no timer running.
    void Initialise();
    // Closing the main window: nothing runs any more, the port is closed, the worker ends.
    void Shutdown();

    // The session (IDownloadSession): what a view or the command-line front end asks for.
    void StartManual() override;
    void StartAutomatic() override;
    void SwitchToManual() override;
    bool IsIdle() const override;
    const AcquisitionState& State() const override { return state_; }
    const SessionOutcome& LastOutcome() const override { return outcome_; }
    void SetOutcomeListener(std::function<void(const SessionOutcome&)> listener) override;
    SessionPrompt PendingPrompt() const override;
    void AcknowledgePrompt(SessionPrompt prompt) override;

    // A command of the frame. Only the frame's tag is accepted; unknown codes change nothing.
    void FrameCommand(int tag, int code);
    // Bytes from the port (the receiver's tag only).
    void SerialRx(int tag, const char* bytes, int count);

    // Worker events.
    void SignalScan() override;
    void SignalPresence();

    ISessionPresets& Presets() { return *this; }
    CWriteQueue& Writes() override { return writes_; }
    bool TimerRunning(FrameTimer id) const;
    // True while the worker runs a job or has one waiting.
    bool WorkerBusy() const;
    // True when the worker has nothing to do but wait: idle, or waiting for the frame.
    bool WorkerQuiet() const;
    // True once a job waits for a call on this thread, handled or not yet.
    bool WorkerCalling() const { return worker_.Calling(); }

    // Runs a step on the controller's thread and waits until it and the bytes it queued are
    // done. Returns false when the controller stopped first. Worker thread only.
    bool CallOnFrame(std::function<void()> step);

private:
    // ISessionLine
    IEventClock& Clock() override { return ctx_.clock; }
    void ShowStatus(const std::string& text) override;
    void HideStatus() override;
    void ClearReceiveState() override;
    void ClosePort() override;
    void Dispatch(FrameCommandCode code) override;
    void Inform(const std::string& text) override;
    void Report(DownloadOutcome kind, const std::string& text, int rows = 0) override;
    // ISequencerHost
    PortLists::Snapshot Ports() const override { return ctx_.ports.Get(); }
    bool PortOpen() const override { return ctx_.port.IsOpen(); }
    void SetStatusCaption(const std::string& caption) override;
    bool StatusShown() const override { return statusShown_; }
    void ShowTermination(const std::string& text) override;
    void LeaveAutomatic() override;
    // IWatchdogHost
    bool AdapterFound() const override { return ctx_.ports.AdapterFound(); }
    void ForgetAdapter() override { ctx_.ports.SetAdapterFound(false); }
    int AnnouncedRecords() const override { return framer_.HeaderCount(); }
    void StopWatchdog() override { watchdogTimer_.Stop(); }
    // IDecoderHost
    ReceiveProgressModel& Progress() override { return ctx_.progress; }
    bool RunOnSession(std::function<void()> step) override { return CallOnFrame(std::move(step)); }
    void SetManualPhase(ManualPhaseValue phase) override { state_.ManualPhase = phase; }
    // ILinkCommands
    void StartPortScan() override { SignalScan(); }
    void StartPresenceCheck() override { SignalPresence(); }
    void ChoosePort() override;
    void EnterManual() override;
    void SendHandshake() override;
    void SendRequest() override;
    void SendEnd() override;
    void ClosePortAfterWrites() override;
    void PurgeAfterWrites() override;
    void SendDeleteAll() override;
    void FinishDownload() override;
    void BeginAutomatic() override;
    void OpenNextAdapterPort() override;
    void SendAutoHandshake() override;
    void SendAutoRequest() override;
    void AutomaticStored() override;
    void AdapterGone() override;
    // ISessionPresets
    void PresetMode(AutoModeValue mode) override { state_.AutoMode = mode; }
    void PresetManualPhase(ManualPhaseValue phase) override { state_.ManualPhase = phase; }
    void PresetAwaitingBlock(bool automatic) override;

    void OnTimer(FrameTimer id);
    void OnAutoTick();
    void RefreshStatusBar(FrameTimer id);
    void OpenChosenPort();
    void SetupAndOpen(const std::string& devicePath);

    // The receive routine (SessionReceive.cpp).
    Listen Listening() const;
    void DrainReceived();
    void ReceiveByte(char byte);
    void OnBlockByte(const FramerEvent& e);
    void OnBlankAnalyzer();
    void HandOverBlock(std::string block, int count);

    // The worker's jobs (SessionReceive.cpp).
    void RunDecode(const DownloadBlock& block);
    void RunFullScan();
    void RunPresenceCheck();

    LinkContext ctx_;
    AcquisitionState state_;
    SessionOutcome outcome_;
    std::function<void(const SessionOutcome&)> outcomeListener_;
    // The status box is shown by the session and not closed by the user since; the decoder
    // shows texts from the worker thread.
    std::atomic<bool> statusShown_{false};
    CFramer framer_{state_.RxText, state_.RxCount, state_.AckText, kReplyRecordLength};
    CWriteQueue writes_;
    RepeatingTimer handshakeTimer_;
    RepeatingTimer watchdogTimer_;
    RepeatingTimer autoTimer_;
    // Bytes that arrived while a command was being written: they are taken once it is done, so
    // a reply is never read before the command that asked for it has left.
    std::string deferred_;
    size_t deferredPos_ = 0;
    bool draining_ = false;
    int progressRecords_ = -1;
    // The receiving text and the bar the last block byte of a run asks for: shown once the run
    // is read (a run is what the port hands over at once; only its last state would be seen),
    // or before anything else the run brings. The bar is dropped when the receive state is
    // cleared. Session thread only (the worker shows its statuses through ShowStatus).
    const std::string* receivingText_ = nullptr;
    int progressOf_ = 0;
    bool progressDue_ = false;
    void ShowRunStatus();

    bool shutDown_ = false;
    CAutoSequencer sequencer_{*this, state_};
    CCommandDispatcher dispatcher_{*this, ctx_.frame, state_};
    CTransferWatchdog watchdog_{*this, state_};
    CCommWorker worker_; // last: its thread stops before the rest goes
};
