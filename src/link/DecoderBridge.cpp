#include "link/DecoderBridge.h"

#include "link/SessionParts.h"
#include "link/StatusDialogs.h"
#include "platform/EventClock.h"

void CDecoderBridge::ShowStatus(const std::string& text) {
    host_.ShowStatus(text);
}

void CDecoderBridge::ReportProgress(int percent) {
    host_.Progress().SetPosition(percent);
}

void CDecoderBridge::HideProgress() {
    host_.Progress().Hide();
}

void CDecoderBridge::Send(FrameCommandCode code) {
    host_.RunOnSession([this, code]() { host_.Dispatch(code); });
}

void CDecoderBridge::Inform(const std::string& text, DownloadOutcome outcome) {
    host_.RunOnSession([this, text, outcome]() {
        host_.Inform(text);
        host_.Report(outcome, text);
    });
}

void CDecoderBridge::SetManualPhase(ManualPhaseValue phase) {
    host_.RunOnSession([this, phase]() { host_.SetManualPhase(phase); });
}

void CDecoderBridge::DumpIncomplete(const std::string& text) {
    Inform(text, DownloadOutcome::CopyIncomplete);
}

void CDecoderBridge::BlockAccepted() {
    host_.Clock().Pause(300);
    Send(kCmdEndTransfer);
    host_.Clock().Pause(300);
    Send(kCmdClosePort);
}

void CDecoderBridge::BlockRejected(bool autoMode) {
    Inform(kCrcFailText, DownloadOutcome::Rejected);
    if (!autoMode) {
        SetManualPhase(kManualIdle);
        Send(kCmdClosePort);
    }
}

void CDecoderBridge::RowsStored(int, bool autoMode) {
    Send(kCmdStored);
    if (autoMode) {
        host_.Clock().Pause(100);
        SetManualPhase(kManualIdle);
        Send(kCmdAutoStored);
    }
}

void CDecoderBridge::StoreFailed(const std::string& why, bool autoMode) {
    Inform(StoreFailureText(why), DownloadOutcome::StoreFailed);
    SetManualPhase(kManualIdle);
    if (autoMode)
        Send(kCmdAutoStored);
}
