#pragma once
// What the decoder reports on the worker thread, turned into the protocol: the pauses, the end
// command (53), closing the port (54), completion (500) and, in automatic mode, the sequence's
// next step (35), each run on the session's thread as a synchronous window message was.

#include "storage/DownloadDecoder.h"

class CAcquisitionController;

class CDecoderBridge : public IDownloadNotifier {
public:
    explicit CDecoderBridge(CAcquisitionController& session) : x_(session) {}
    // Straight into the dialog's state, which any thread may write: the decoder reports once per
    // record, sometimes with the tables locked, and must not wait for the frame for that.
    void ShowStatus(const std::string& text) override;
    void ReportProgress(int percent) override;
    void HideProgress() override;
    // 300 ms, 53, 300 ms, 54.
    void BlockAccepted() override;
    // The checksum box; in manual mode back to idle and 54.
    void BlockRejected(bool autoMode) override;
    // 500; in automatic mode 100 ms, ManualPhase -1 and 35.
    void RowsStored(int count, bool autoMode) override;
    // The reason box and back to idle (no 500: nothing new to list); in automatic mode 35, so
    // the cartridge prompts follow.
    void StoreFailed(const std::string& why, bool autoMode) override;
    // A message box: the dump is a record for service staff, the results are not at stake.
    void DumpIncomplete(const std::string& text) override;

private:
    void Send(int code);
    void Inform(const std::string& text);
    void SetManualPhase(int phase);

    CAcquisitionController& x_;
};
