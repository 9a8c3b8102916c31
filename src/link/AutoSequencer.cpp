// The automatic-mode step machine, one step per tick of timer 10: find the adapter, open its
// port, check the link, wait for the measurement, fetch it, then lead the user through the
// cartridge prompts.

#include "link/AcquisitionController.h"

bool CAcquisitionController::After(int64_t ms) const {
    return c_.clock.NowMs() - s_.StepTime >= ms;
}

void CAcquisitionController::GoTo(int step, bool keepTime) {
    s_.AutoStep = step;
    if (!keepTime) {
        s_.StepTime = c_.clock.NowMs();
        stepTimeTaken_ = true;
    }
}

void CAcquisitionController::RestartStepTimeAfterWrites() {
    // The original wrote its commands with blocking pauses, so a step's wait began after the
    // last byte of the command (or the port's open pause) the step had queued. Here the bytes
    // go out afterwards: the step time is taken again once they are written, unless the
    // sequence has moved on meanwhile.
    if (!stepTimeTaken_ || writes_.Idle())
        return;
    const int step = s_.AutoStep;
    writes_.Then([this, step]() {
        if (s_.AutoStep == step)
            s_.StepTime = c_.clock.NowMs();
    });
}

void CAcquisitionController::ClearAll() {
    ClearReceiveState();
    s_.AckText.clear();
}

void CAcquisitionController::AutoTransferFailed() {
    // Ask for the same result again twice (step 27 repeats the request 3.5 s later), then go
    // back to checking the link and waiting.
    s_.TransferActive = false;
    s_.LinkPhase = 1;
    if (++autoRetries_ <= 2) {
        GoTo(27);
    } else {
        autoRetries_ = 0;
        GoTo(6);
    }
}

void CAcquisitionController::SequencerStep() {
    const std::string& ack = s_.AckText;
    const auto ackBegins = [&](const char* two) {
        return ack.size() >= 2 && ack[0] == two[0] && ack[1] == two[1];
    };
    switch (s_.AutoStep) {
    case 0:
        s_.ScanPortIndex = 0;
        s_.HandshakeCount = 0;
        SignalScan();
        GoTo(3);
        break;
    case 2:
        if (After(2500)) {
            SignalScan();
            GoTo(3);
        }
        break;
    case 3:
        if (After(1500))
            GoTo(4, true);
        break;
    case 4:
    case 5: {
        // Flag and count from the same scan.
        const PortLists::Snapshot ports = c_.ports.Get();
        if (ports.AdapterFound) {
            if (s_.AutoStep == 4)
                s_.ScanPortCount = static_cast<int>(ports.AdapterPortList.size());
            GoTo(10);
            Dispatch(31);
        } else {
            GoTo(2);
        }
        break;
    }
    case 6:
        ShowStatus(LinkText::kWaiting);
        s_.AckText.clear();
        SignalScan();
        GoTo(7);
        break;
    case 7:
        if (After(1500)) {
            const PortLists::Snapshot ports = c_.ports.Get();
            if (c_.port.IsOpen() && ports.AdapterFound) {
                s_.ScanPortCount = static_cast<int>(ports.AdapterPortList.size());
                GoTo(5);
            } else {
                ClosePort();
                GoTo(2);
            }
        }
        break;
    case 10:
        if (After(1500)) {
            ShowStatus(LinkText::kChecking);
            s_.AckText.clear();
            GoTo(11, true);
        }
        break;
    case 11:
        if (c_.port.IsOpen()) {
            s_.AckText.clear();
            GoTo(20);
            Dispatch(33);
        } else {
            GoTo(6);
        }
        break;
    case 20:
        if (ackBegins("HC") || ackBegins("HU")) {
            s_.HandshakeReplyU = ack[1] == 'U';
            if (++s_.HandshakeCount > 5)
                s_.HandshakeCount = 0;
            ClearAll();
            Dispatch(65);
            ShowStatus(LinkText::kAwaiting);
            ClearAll();
            s_.ReplyFilter = 11;
            Dispatch(65);
            GoTo(25);
        } else if (After(7000)) {
            ++s_.HandshakeCount;
            ClearAll();
            Dispatch(65);
            if (s_.HandshakeCount > 5) {
                s_.HandshakeCount = 0;
                GoTo(6);
            } else {
                GoTo(10);
            }
        }
        break;
    case 25:
        if (ackBegins("SF")) {
            Dispatch(65);
            ShowStatus(LinkText::kMeasured);
            c_.processDlg.SetCaption(LinkText::kClose);
            s_.LinkPhase = 1;
            ClearAll();
            GoTo(30);
        } else if (After(400000)) {
            ClearAll();
            GoTo(6);
        }
        break;
    case 27:
        if (After(1500)) {
            s_.LinkPhase = 1;
            ClearAll();
            GoTo(30);
            Dispatch(65);
        }
        break;
    case 30:
        if (After(2000)) {
            GoTo(100);
            s_.LinkPhase = 2;
            ClearAll();
            Dispatch(34);
        }
        break;
    case 110:
        if (!c_.processDlg.IsVisible()) {
            ShowStatus(LinkText::kRemoveCartridge);
            s_.LinkPhase = 1;
            GoTo(115, true);
        }
        break;
    case 115:
        if (!c_.processDlg.IsVisible()) {
            ShowStatus(LinkText::kCartridgeRemoved);
            GoTo(120, true);
        }
        break;
    case 120:
        if (!c_.processDlg.IsVisible())
            GoTo(125, true);
        break;
    case 125:
        c_.checkingDlg.SetText(LinkText::kAutoTerminated); // also resets its answer
        c_.checkingDlg.Show();
        s_.ScanPortIndex = 0;
        GoTo(130, true);
        break;
    case 130:
        if (!c_.checkingDlg.IsVisible()) {
            s_.AutoStep = -1;
            s_.AutoMode = 0;
            s_.LinkPhase = 0;
        }
        break;
    default:
        break;
    }
}
