#pragma once
// What the session's parts may ask of it. The session (CAcquisitionController) owns the line,
// the timers, the status box and the published state; each part (the step machine, the
// transfer watchdog, the decoder's bridge, the command table) gets only the narrow interface
// below that names what it needs, and writes only the state fields its own comment lists.

#include "link/AcquisitionState.h"
#include "link/DownloadSession.h"
#include "link/LinkCodes.h"
#include "link/PortDiscovery.h"

#include <cstdint>
#include <functional>
#include <string>

class CWriteQueue;
class IEventClock;
class ReceiveProgressModel;

// Common to every part: time, the line's write queue, the status box, the user, the command
// table and the outcome. Session's thread only, except where a method says otherwise.
class ISessionLine {
public:
    virtual ~ISessionLine() = default;
    virtual IEventClock& Clock() = 0;
    virtual CWriteQueue& Writes() = 0;
    // The status box: a text (any thread), closed by the session (not by the user).
    virtual void ShowStatus(const std::string& text) = 0;
    virtual void HideStatus() = 0;
    virtual void ClearReceiveState() = 0;
    virtual void ClosePort() = 0;
    virtual void Dispatch(FrameCommandCode code) = 0;
    virtual void Inform(const std::string& text) = 0;
    virtual void Report(DownloadOutcome kind, const std::string& text, int rows = 0) = 0;
};

// The automatic step machine. It writes AutoStep, StepTime, LinkPhase, AckText, ScanPortIndex,
// ScanPortCount, HandshakeCount, HandshakeReplyU, ReplyFilter and TransferActive.
class ISequencerHost : public ISessionLine {
public:
    virtual void SignalScan() = 0;
    virtual PortLists::Snapshot Ports() const = 0;
    virtual bool PortOpen() const = 0;
    virtual void SetStatusCaption(const std::string& caption) = 0;
    // The status box is shown and the user has not closed it since.
    virtual bool StatusShown() const = 0;
    // The box that says automatic mode ended; it waits for the user's answer.
    virtual void ShowTermination(const std::string& text) = 0;
    // Automatic mode is over: back to manual downloads.
    virtual void LeaveAutomatic() = 0;
};

// The transfer watchdog of a manual download. It writes StallCount, LastRxCount, ManualPhase
// and ReplyFilter.
class IWatchdogHost : public ISessionLine {
public:
    virtual bool AdapterFound() const = 0;
    virtual void ForgetAdapter() = 0;
    // The record count of the block's header, 0 before it arrived.
    virtual int AnnouncedRecords() const = 0;
    virtual void StopWatchdog() = 0;
};

// The decoder's reports, which arrive on the worker thread. It writes ManualPhase, through
// RunOnSession.
class IDecoderHost : public ISessionLine {
public:
    virtual ReceiveProgressModel& Progress() = 0;
    // Runs a step on the session's thread and waits for it and the bytes it queued. Worker
    // thread only.
    virtual bool RunOnSession(std::function<void()> step) = 0;
    virtual void SetManualPhase(ManualPhaseValue phase) = 0;
};

// The command table's targets: one call per command that does more than set a field. The
// table itself writes AutoStep, LinkPhase, ManualPhase and TransferActive.
class ILinkCommands {
public:
    virtual ~ILinkCommands() = default;
    virtual void StartPortScan() = 0;
    virtual void StartPresenceCheck() = 0;
    virtual void ChoosePort() = 0;
    virtual void EnterManual() = 0;
    virtual void SendHandshake() = 0;
    virtual void SendRequest() = 0;
    virtual void SendEnd() = 0;
    virtual void ClosePortAfterWrites() = 0;
    virtual void PurgeAfterWrites() = 0;
    virtual void SendDeleteAll() = 0;
    virtual void FinishDownload() = 0;
    virtual void BeginAutomatic() = 0;
    virtual void OpenNextAdapterPort() = 0;
    virtual void SendAutoHandshake() = 0;
    virtual void SendAutoRequest() = 0;
    virtual void AutomaticStored() = 0;
    virtual void AdapterGone() = 0;
};
