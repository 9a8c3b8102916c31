#pragma once
// The automatic-mode step machine (AutoStep): one step per tick of the automatic timer while
// automatic mode waits (kPhaseAutoWaiting). Each row of the sequence is one case of Step(); the
// waits count from StepTime, taken again once the bytes a step queued are on the line.

#include "link/DownloadSession.h"

#include <cstdint>

class ISequencerHost;
struct AcquisitionState;

class CAutoSequencer {
public:
    CAutoSequencer(ISequencerHost& host, AcquisitionState& state);
    // One tick: the current step, then the step time once its bytes are written.
    void Tick();
    // No data reply (or a rejected one): ask for the same result again twice, then go back to
    // checking the link and waiting.
    void TransferFailed();
    void ResetRetries() { retries_ = 0; }
    // At least ms have passed since StepTime.
    bool After(int64_t ms) const;
    // The prompt the current step waits on, and the user's answer to the termination box.
    SessionPrompt Pending() const;
    void TerminationAnswered() { terminationShown_ = false; }

private:
    void Step();
    void StepSearch();
    void StepHandshake();
    void StepMeasurement();
    void StepPrompts();
    bool AckBegins(const char* two) const;
    void GoTo(AutoStepValue step, bool keepTime = false);
    void RestartStepTimeAfterWrites();
    void ClearAll();

    ISequencerHost& host_;
    AcquisitionState& state_;
    int retries_ = 0;               // data requests repeated for the current measurement
    bool stepTimeTaken_ = false;    // the step just run set StepTime
    bool terminationShown_ = false; // the termination box waits for the user
};
