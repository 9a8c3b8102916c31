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

#include "link/Framer.h"
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

inline constexpr int UM_SERIAL_RX = 0x0400 + 60;       // 1084
inline constexpr int UM_FRAME_COMMAND = 0x0400 + 500;  // 1524
inline constexpr int FRAME_COMMAND_TAG = 0x0400 + 600; // 1624
inline constexpr int UM_PORTLIST_REFRESH = 0x0400 + 701;
inline constexpr int kSerialRxTag = 1000;

// Timer ids of the frame.
enum FrameTimer { kTimerHandshake = 3, kTimerWatchdog = 5, kTimerAuto = 10 };

namespace LinkText {
inline constexpr const char* kOpenFail =
    "Communication port connecting failure.\r\nPlease check the communication port again.";
inline constexpr const char* kConnected = " is connected.";
inline constexpr const char* kDownloadQuestion =
    "\r\nDo you want to download HbA1c results from analyzer?";
inline constexpr const char* kCheckingManual =
    "Checking if communication between analyzer and PC is established.(Manual)";
inline constexpr const char* kCheckingAuto =
    "Checking if communication between analyzer and PC is established.(Auto)";
inline constexpr const char* kTransferred = "Data is transferred from analyzer.";
inline constexpr const char* kBeingTransferred = "Data is being transferred from analyzer";
inline constexpr const char* kReceiving = "Receiving data from analyzer...";
inline constexpr const char* kReceivingA = "Receiving data from analyzer... ";
inline constexpr const char* kReceivingB = "Receiving data from analyzer......";
inline constexpr const char* kBlankBox = "DATA buffer of Trevanix is blank!!!";
inline constexpr const char* kBlankStatus = "DATA of Trevanix is blank!";
inline constexpr const char* kErrorCount = "Error count : %d";
inline constexpr const char* kGiveUpStall = "Receiving the data from the analyzer is not working."
                                            "\r\nPlease check the meter communication port and cable.";
inline constexpr const char* kGiveUpSilence = "Receiving the data from the analyzer is not working."
                                              "\r\nPlease check the PC communication port and cable.";
inline constexpr const char* kGiveUpLimit = "Receiving the data from the analyzer is not working."
                                            "\r\nPlease check the meter communication port and calbe.";
inline constexpr const char* kNoNewData = "No new data from analyzer.";
inline constexpr const char* kAutoInitiated = "automatic mode initiated";
inline constexpr const char* kOpenPort = "Open communication port.";
inline constexpr const char* kClose = "Close";
inline constexpr const char* kWaiting = "Waiting...";
inline constexpr const char* kChecking = "Checking....";
inline constexpr const char* kAwaiting = "Awaiting measurement data from connected analyzer";
inline constexpr const char* kMeasured = "Measurement is completed";
inline constexpr const char* kRemoveCartridge =
    "Caution >> Please remove the cartridge from analyzer\r\n(Close this message box)";
inline constexpr const char* kCartridgeRemoved =
    "Please make sure the cartridge is removed from analyzer\r\n(Close this message box)";
inline constexpr const char* kAutoTerminated = "Automatic mode was terminated.";
} // namespace LinkText

// What the controller needs from the main frame: views and the status bar.
class IFrameHost {
public:
    virtual ~IFrameHost() = default;
    virtual int ActiveView() const = 0;      // 1 home, 2 download, 3 all data, 4 graph
    virtual void ShowView(int index) = 0;    // switch to the view (it is not the active one)
    virtual void RefreshActiveView() = 0;    // command 12
    virtual void FillDownloadList() = 0;     // command 500 with new rows
    virtual void SetStatusPane(int pane, const std::string& text) = 0;
};

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

// The process-wide acquisition state, owned by the frame. Only AppRunning is read by other
// threads.
struct AcquisitionState {
    std::atomic<bool> AppRunning{true};
    bool WorkerRun = true;
    int AutoMode = 0;
    int LinkPhase = -1;
    int AutoStep = -1;
    int ManualPhase = -1;
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
    // members of the frame
    std::string AckText;
    bool TransferActive = false;
    int DownloadAttempts = 0;
    int HandshakeCount = 0;
};

// Sends command bytes one at a time with their pauses, and runs steps after them in order.
class CWriteQueue {
public:
    CWriteQueue(ISerialPort& port, IEventClock& clock) : port_(port), clock_(clock) {}
    ~CWriteQueue() { Clear(); }
    // The three bytes of a command, copies times, gapMs after every byte but the last.
    void Send(const char* command, int gapMs, int copies);
    void Wait(int ms);
    void Then(std::function<void()> step);
    bool Idle() const { return items_.empty() && !waiting_; }
    // Drops everything not done yet.
    void Clear();
    // Observer of every byte handed to the port and whether the port took it.
    std::function<void(char, bool)> OnWrite;
    // Called whenever the queue has run empty.
    std::function<void()> OnIdle;

private:
    struct Item {
        enum Kind { Byte, Pause, Step } kind;
        char byte = 0;
        int ms = 0;
        std::function<void()> step;
    };
    void Pump();
    ISerialPort& port_;
    IEventClock& clock_;
    std::deque<Item> items_;
    bool waiting_ = false;
    bool pumping_ = false;
    IEventClock::TimerId timer_ = 0;
};

// The overall limit of a manual transfer of this many records: it must allow the whole block
// at the line rate (above 400 records it is at least 200 s).
double GiveUpLimitForBlock(int records);

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

class CAcquisitionController {
public:
    explicit CAcquisitionController(LinkContext ctx);
    ~CAcquisitionController();
    CAcquisitionController(const CAcquisitionController&) = delete;
    CAcquisitionController& operator=(const CAcquisitionController&) = delete;

    // The frame's first initialisation: phases reset, no port open, no timer running.
    void Initialise();
    // Closing the main window: nothing runs any more, the port is closed, the worker ends.
    void Shutdown();

    // UM_FRAME_COMMAND. Only the frame's tag is accepted; unknown codes change nothing.
    void FrameCommand(int tag, int code);
    // UM_SERIAL_RX: count bytes from the port.
    void SerialRx(int tag, const char* bytes, int count);

    // Worker events.
    void SignalScan();
    void SignalPresence();

    AcquisitionState& State() { return s_; }
    const AcquisitionState& State() const { return s_; }
    CWriteQueue& Writes() { return writes_; }
    bool TimerRunning(int id) const;
    // True while the worker runs a job or has one waiting.
    bool WorkerBusy() const;
    // True when the worker has nothing to do but wait: idle, or waiting for the frame.
    bool WorkerQuiet() const;
    // Bytes handed to the receive routine since start (tests and the benchmark).
    uint64_t TotalRxBytes() const { return totalRx_; }

    // Runs a step on the controller's thread and waits until it and the bytes it queued are
    // done. Returns false when the controller stopped first. Worker thread only.
    bool CallOnFrame(std::function<void()> step);

private:
    class Notifier;

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
    void StartAutomatic();            // 30
    void Watchdog();
    void SequencerStep(); // AutoSequencer.cpp
    bool After(int64_t ms) const;
    void GoTo(int step, bool keepTime = false);
    void RestartStepTimeAfterWrites();
    void ClearAll();
    void AutoTransferFailed();
    void Retry();
    bool LineStillDelivering();
    void GiveUp(const char* text);
    void ClosePort();
    void SetupAndOpen(const std::string& devicePath);

    void WorkerMain();
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
    CThreadCalls context_; // calls from the worker land here
    uint64_t totalRx_ = 0;
    // Bytes that arrived while a command was being written: they are taken once it is done,
    // as the original handler, blocked in its pauses, took them only after it returned.
    std::string deferred_;
    size_t deferredPos_ = 0;
    bool draining_ = false;
    int progressRecords_ = -1;
    int watchdogRx_ = 0; // RxCount at the watchdog's previous tick
    int autoRetries_ = 0; // data requests repeated for the current measurement
    bool stepTimeTaken_ = false; // the sequencer step just run set StepTime

    // worker
    mutable std::mutex wmutex_;
    std::condition_variable wcv_;
    bool quit_ = false, decode_ = false, scan_ = false, presence_ = false;
    bool jobRunning_ = false;
    int waitingOnFrame_ = 0;
    DownloadBlock pendingBlock_;
    std::thread worker_;
    bool stopping_ = false; // releases CallOnFrame waiters at shutdown
    bool shutDown_ = false;
};
