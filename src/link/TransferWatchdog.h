#pragma once
// The transfer watchdog of a manual download (the watchdog timer, once a second). Per tick, against
// TransferStopwatch:
//  - with the adapter found and bytes received, five ticks without a new byte after
//    StallTimeout: retry (while DownloadAttempts <= 7) or give up, "check the meter ... cable";
//  - nothing received after SilenceTimeout: retry (<= 5) or give up, "check the PC ... cable";
//  - GiveUpTimeout: retry (<= 5) or give up, "... calbe" -- but never while the line is still
//    delivering the announced block.
// Above 400 records the limits are raised; the overall one always allows the whole block at the
// line rate.

class IWatchdogHost;
struct AcquisitionState;

// The overall limit of a manual transfer of this many records: twice the block's line time and
// a minute more.
double GiveUpLimitForBlock(int records);

class CTransferWatchdog {
public:
    CTransferWatchdog(IWatchdogHost& host, AcquisitionState& state);
    void Tick();
    // A data request went out: no byte counted yet.
    void NewTransfer() { lastTickRx_ = 0; }

private:
    bool LineStillDelivering();
    void Retry();
    void GiveUp(const char* text);

    IWatchdogHost& host_;
    AcquisitionState& state_;
    int lastTickRx_ = 0; // RxCount at the previous tick
};
