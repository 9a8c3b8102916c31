// The transfer watchdog of a manual download, one check per tick of the watchdog timer: a line that
// stalls, a line that stays silent, and the overall limit, each with its retries and its
// give-up text.

#include "link/TransferWatchdog.h"

#include "link/Framer.h"
#include "link/LinkTexts.h"
#include "link/SessionParts.h"
#include "platform/EventClock.h"

#include <cstdio>

namespace {

// 9600 baud, 8-N-1: ten bits a byte.
constexpr double kLineBytesPerSecond = 960.0;

std::string ErrorCount(int n) {
    char buf[64];
    std::snprintf(buf, sizeof buf, LinkText::kErrorCount, n);
    return buf;
}

} // namespace

double GiveUpLimitForBlock(int records) {
    // Twice the line time of the announced block, and a minute more: a slow adapter or a busy
    // PC must not restart a download that is still arriving.
    const double bytes = CFramer::kHeaderLength + static_cast<double>(kReplyRecordLength) * records;
    return 2.0 * bytes * 1000.0 / kLineBytesPerSecond + 60000.0;
}

CTransferWatchdog::CTransferWatchdog(IWatchdogHost& host, AcquisitionState& state)
    : host_(host), state_(state) {}

void CTransferWatchdog::Tick() {
    // Whatever the tick decides, the next one compares with the count now.
    const struct Remember {
        CTransferWatchdog& w;
        ~Remember() { w.lastTickRx_ = w.state_.RxCount; }
    } remember{*this};
    int64_t elapsed = state_.TransferStopwatch.Run(host_.Clock());
    const bool received = !state_.RxText.empty() || state_.RxCount != 0;
    if (elapsed >= state_.StallTimeout && host_.AdapterFound() && received) {
        if (state_.RxCount != state_.LastRxCount) {
            state_.LastRxCount = state_.RxCount;
        } else {
            ++state_.StallCount;
            host_.ShowStatus(ErrorCount(state_.StallCount));
        }
        if (state_.StallCount >= 5) {
            if (state_.DownloadAttempts <= 7)
                Retry();
            else
                GiveUp(LinkText::kGiveUpStall);
            return;
        }
    }
    elapsed = state_.TransferStopwatch.Run(host_.Clock());
    if (elapsed >= state_.SilenceTimeout && (state_.RxText.empty() || state_.RxCount == 0)) {
        host_.HideStatus();
        if (state_.DownloadAttempts <= 5)
            Retry();
        else
            GiveUp(LinkText::kGiveUpSilence);
    } else if (elapsed >= state_.GiveUpTimeout && !LineStillDelivering()) {
        host_.HideStatus();
        if (state_.DownloadAttempts <= 5)
            Retry();
        else
            GiveUp(LinkText::kGiveUpLimit);
    }
}

bool CTransferWatchdog::LineStillDelivering() {
    // Bytes came since the last tick and the announced block is not complete yet: the line
    // works, it is only slow. A dead line is the stall check's business.
    const int rx = state_.RxCount;
    const int announced = host_.AnnouncedRecords();
    const bool delivering =
        rx != lastTickRx_ && announced > 0 &&
        static_cast<long long>(state_.RxText.size()) <
            CFramer::kHeaderLength + static_cast<long long>(state_.ReplyRecordLength) * announced;
    return delivering;
}

void CTransferWatchdog::Retry() {
    host_.StopWatchdog();
    state_.ManualPhase = kManualHandshakeSent;
    host_.Dispatch(kCmdManualHandshake);
}

void CTransferWatchdog::GiveUp(const char* text) {
    host_.ForgetAdapter();
    host_.StopWatchdog();
    host_.ClosePort();
    host_.Inform(text);
    state_.ManualPhase = kManualIdle;
    state_.ReplyFilter = kFilterNone;
    host_.Report(DownloadOutcome::GaveUp, text);
}
