#pragma once
// What the decoder reports on the worker thread, turned into the protocol: the pauses, the end
// command, closing the port, completion and, in automatic mode, the sequence's next step, each
// run on the session's thread and waited for, so the decoder goes on only once the session has
// taken it in.

#include "link/DownloadSession.h"
#include "storage/DownloadDecoder.h"

class IDecoderHost;

class CDecoderBridge : public IDownloadNotifier {
public:
    explicit CDecoderBridge(IDecoderHost& host) : host_(host) {}
    // Straight into the dialog's state, which any thread may write: the decoder reports once per
    // record, sometimes with the tables locked, and must not wait for the session for that.
    void ShowStatus(const std::string& text) override;
    void ReportProgress(int percent) override;
    void HideProgress() override;
    // 300 ms, the end command, 300 ms, the port closed.
    void BlockAccepted() override;
    // The checksum box; in manual mode back to idle and the port closed.
    void BlockRejected(bool autoMode) override;
    // The download finished; in automatic mode 100 ms, then the sequence's prompts.
    void RowsStored(int count, bool autoMode) override;
    // The reason box and back to idle (nothing new to list); in automatic mode the sequence's
    // prompts follow.
    void StoreFailed(const std::string& why, bool autoMode) override;
    // A message box: the dump is a record for service staff, the results are not at stake.
    void DumpIncomplete(const std::string& text) override;

private:
    void Send(FrameCommandCode code);
    void Inform(const std::string& text, DownloadOutcome outcome);
    void SetManualPhase(ManualPhaseValue phase);

    IDecoderHost& host_;
};
