#include "link/DecoderBridge.h"

#include "link/AcquisitionController.h"
#include "platform/Prompt.h"

void CDecoderBridge::ShowStatus(const std::string& text) { x_.ShowStatus(text); }

void CDecoderBridge::ReportProgress(int percent) { x_.c_.progress.SetPosition(percent); }

void CDecoderBridge::HideProgress() { x_.c_.progress.Hide(); }

void CDecoderBridge::Send(int code) {
    x_.CallOnFrame([this, code]() { x_.FrameCommand(FRAME_COMMAND_TAG, code); });
}

void CDecoderBridge::Inform(const std::string& text) {
    x_.CallOnFrame([this, text]() { x_.c_.prompt.Inform(text, kMessageTitle); });
}

void CDecoderBridge::SetManualPhase(int phase) {
    x_.CallOnFrame([this, phase]() { x_.s_.ManualPhase = phase; });
}

void CDecoderBridge::DumpIncomplete(const std::string& text) { Inform(text); }

void CDecoderBridge::BlockAccepted() {
    x_.c_.clock.Pause(300);
    Send(kCmdEndTransfer);
    x_.c_.clock.Pause(300);
    Send(kCmdClosePort);
}

void CDecoderBridge::BlockRejected(bool autoMode) {
    Inform(kCrcFailText);
    if (!autoMode) {
        SetManualPhase(kManualIdle);
        Send(kCmdClosePort);
    }
}

void CDecoderBridge::RowsStored(int, bool autoMode) {
    Send(kCmdStored);
    if (autoMode) {
        x_.c_.clock.Pause(100);
        SetManualPhase(kManualIdle);
        Send(kCmdAutoStored);
    }
}

void CDecoderBridge::StoreFailed(const std::string& why, bool autoMode) {
    Inform(StoreFailureText(why));
    SetManualPhase(kManualIdle);
    if (autoMode)
        Send(kCmdAutoStored);
}
