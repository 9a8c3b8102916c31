// The session's status box, its prompts and its outcome: what the user sees of a download and
// answers, and what whoever started it reads at the end.

#include "link/AcquisitionController.h"

#include "platform/Prompt.h"

void CAcquisitionController::ShowStatus(const std::string& text) {
    ctx_.processDlg.SetText(text);
    ctx_.processDlg.Show();
    statusShown_ = true;
}

void CAcquisitionController::HideStatus() {
    statusShown_ = false;
    ctx_.processDlg.Hide();
}

void CAcquisitionController::SetStatusCaption(const std::string& caption) {
    ctx_.processDlg.SetCaption(caption);
}

void CAcquisitionController::ShowTermination(const std::string& text) {
    ctx_.checkingDlg.SetText(text); // also resets its answer
    ctx_.checkingDlg.Show();
}

void CAcquisitionController::Inform(const std::string& text) {
    ctx_.prompt.Inform(text, kMessageTitle);
}

void CAcquisitionController::Report(DownloadOutcome kind, const std::string& text, int rows) {
    outcome_ = SessionOutcome{kind, text, rows};
    if (outcomeListener_)
        outcomeListener_(outcome_);
}

void CAcquisitionController::SetOutcomeListener(
    std::function<void(const SessionOutcome&)> listener) {
    outcomeListener_ = std::move(listener);
}

SessionPrompt CAcquisitionController::PendingPrompt() const {
    return state_.AutoMode == kModeAutomatic ? sequencer_.Pending() : SessionPrompt::None;
}

void CAcquisitionController::AcknowledgePrompt(SessionPrompt prompt) {
    switch (prompt) {
    case SessionPrompt::Status:
        HideStatus();
        break;
    case SessionPrompt::Termination:
        if (ctx_.checkingDlg.IsVisible())
            ctx_.checkingDlg.AnswerOk();
        sequencer_.TerminationAnswered();
        break;
    case SessionPrompt::None:
        break;
    }
}

void CAcquisitionController::LeaveAutomatic() {
    state_.AutoStep = kStepStopped;
    state_.AutoMode = kModeManual;
    state_.LinkPhase = kPhaseManual;
}

void CAcquisitionController::PresetAwaitingBlock(bool automatic) {
    state_.AutoMode = automatic ? kModeAutomatic : kModeManual;
    state_.AutoStep = automatic ? kStepTransfer : kStepStopped;
    state_.LinkPhase = automatic ? kPhaseAutoTransfer : kPhaseManual;
    state_.TransferActive = true;
}

void CAcquisitionController::ClearReceiveState() {
    framer_.Reset();
    state_.BlockText.clear();
    if (progressRecords_ >= 0)
        ctx_.processDlg.SetProgress(-1, std::string());
    progressRecords_ = -1;
    progressDue_ = false;
}
