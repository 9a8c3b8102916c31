#pragma once
// The acquisition controller: the frame-command dispatcher, the receive routine, the manual
// download, the transfer watchdog and the worker thread that scans ports and decodes blocks.
//
// It lives on the main frame's thread and needs no window: the frame (or the command-line front
// end, or a test) gives it the pieces below. What the original program did with blocking pauses
// on the user-interface thread is done here through a write queue on the event clock: the line
// sees the same bytes, in the same order, with the same minimum gaps, and a step that follows a
// command runs only after the command's last byte.
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
#include "link/LinkTexts.h"
#include "link/TransferWatchdog.h"
#include "link/WriteQueue.h"
#include "link/LinkCodes.h"
#include "link/PortDiscovery.h"
#include "link/SerialPort.h"
#include "link/StatusDialogs.h"
#include "platform/EventClock.h"
#include "platform/ThreadCalls.h"
#include "storage/DownloadDecoder.h"

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
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

class CAcquisitionController : public IDownloadSession {
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
    // Called once rows were stored by a download (with their count), after the download list
    // was filled: the one place that tells the rest of the program about new results.
    std::function<void(int rows)> OnRowsStored;

    // UM_FRAME_COMMAND. Only the frame's tag is accepted; unknown codes change nothing.
    void FrameCommand(int tag, int code);
    // UM_SERIAL_RX: count bytes from the port.
    void SerialRx(int tag, const char* bytes, int count);

    // Worker events.
    void SignalScan();
    void SignalPresence();

    // Tests and the frame's own start-up may set fields; views and the CLI only read them.
    AcquisitionState& State() { return s_; }
    const AcquisitionState& State() const override { return s_; }
    CWriteQueue& Writes() { return writes_; }
    bool TimerRunning(int id) const;
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
    friend class CAutoSequencer;
    friend class CCommandDispatcher;
    friend class CDecoderBridge;
    friend class CTransferWatchdog;

    void Dispatch(int code);
    void OnTimer(int id);
    void RefreshStatusBar(int id);
    void ShowStatus(const std::string& text);
    void ClearReceiveState();
    Listen Listening() const;
    void OnBlockByte(const FramerEvent& e);
    void OnBlankAnalyzer();
    void DrainReceived();
    void ReceiveByte(char c);

    void HandOverBlock(std::string block, int count);

    void ManualPortChoice();          // 10
    void OpenChosenPort();
    void ManualHandshake();           // 51
    void ManualRequest();             // 52
    void Acknowledge();               // 37, 53
    void Finish();                    // 500
    void OpenNextAdapterPort();       // 31
    void AutoHandshake();             // 33
    void AutoRequest();               // 34
    void BeginAutomatic();            // 30
    void ClosePort();
    void SetupAndOpen(const std::string& devicePath);

    void RunDecode(const DownloadBlock& block);
    void RunFullScan();
    void RunPresenceCheck();

    LinkContext c_;
    AcquisitionState s_;
    CFramer framer_{s_.RxText, s_.RxCount, s_.AckText, kReplyRecordLength};
    CWriteQueue writes_;
    RepeatingTimer timer3_;
    RepeatingTimer timer5_;
    RepeatingTimer timer10_;
    // Bytes that arrived while a command was being written: they are taken once it is done,
    // as the original handler, blocked in its pauses, took them only after it returned.
    std::string deferred_;
    size_t deferredPos_ = 0;
    bool draining_ = false;
    int progressRecords_ = -1;

    bool shutDown_ = false;
    CAutoSequencer sequencer_{*this};
    CCommandDispatcher dispatcher_{*this};
    CTransferWatchdog watchdog_{*this};
    CCommWorker worker_; // last: its thread stops before the rest goes
};
