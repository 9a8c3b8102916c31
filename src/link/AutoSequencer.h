#pragma once
// The automatic-mode step machine (AutoStep): one step per tick of timer 10 while automatic
// mode waits (LinkPhase 1). Each row of the sequence is one case of Step(); the waits count
// from StepTime, taken again once the bytes a step queued are on the line.

#include <cstdint>

class CAcquisitionController;
struct AcquisitionState;

class CAutoSequencer {
public:
    explicit CAutoSequencer(CAcquisitionController& session);
    // One tick: the current step, then the step time once its bytes are written.
    void Tick();
    // No data reply (or a rejected one): ask for the same result again twice, then go back to
    // checking the link and waiting.
    void TransferFailed();
    void ResetRetries() { retries_ = 0; }
    // At least ms have passed since StepTime.
    bool After(int64_t ms) const;

private:
    void Step();
    void StepSearch();
    void StepHandshake();
    void StepMeasurement();
    void StepPrompts();
    bool AckBegins(const char* two) const;
    void GoTo(int step, bool keepTime = false);
    void RestartStepTimeAfterWrites();
    void ClearAll();

    CAcquisitionController& x_;
    AcquisitionState& s_;
    int retries_ = 0;            // data requests repeated for the current measurement
    bool stepTimeTaken_ = false; // the step just run set StepTime
};
