// The transfer watchdog of a manual download, one check per tick of timer 5: a line that
// stalls, a line that stays silent, and the overall limit, each with its retries and its
// give-up text.

#include "link/TransferWatchdog.h"

#include "link/AcquisitionController.h"
#include "platform/Prompt.h"

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

CTransferWatchdog::CTransferWatchdog(CAcquisitionController& session)
    : x_(session), s_(session.s_) {}

void CTransferWatchdog::Tick() {
    // Whatever the tick decides, the next one compares with the count now.
    const struct Remember {
        CTransferWatchdog& w;
        ~Remember() { w.lastTickRx_ = w.s_.RxCount; }
    } remember{*this};
    int64_t elapsed = s_.TransferStopwatch.Run(x_.c_.clock);
    const bool received = !s_.RxText.empty() || s_.RxCount != 0;
    if (elapsed >= s_.StallTimeout && x_.c_.ports.AdapterFound() && received) {
        if (s_.RxCount != s_.LastRxCount) {
            s_.LastRxCount = s_.RxCount;
        } else {
            ++s_.StallCount;
            x_.ShowStatus(ErrorCount(s_.StallCount));
        }
        if (s_.StallCount >= 5) {
            if (s_.DownloadAttempts <= 7)
                Retry();
            else
                GiveUp(LinkText::kGiveUpStall);
            return;
        }
    }
    elapsed = s_.TransferStopwatch.Run(x_.c_.clock);
    if (elapsed >= s_.SilenceTimeout && (s_.RxText.empty() || s_.RxCount == 0)) {
        x_.c_.processDlg.Hide();
        if (s_.DownloadAttempts <= 5)
            Retry();
        else
            GiveUp(LinkText::kGiveUpSilence);
    } else if (elapsed >= s_.GiveUpTimeout && !LineStillDelivering()) {
        x_.c_.processDlg.Hide();
        if (s_.DownloadAttempts <= 5)
            Retry();
        else
            GiveUp(LinkText::kGiveUpLimit);
    }
}

bool CTransferWatchdog::LineStillDelivering() {
    // Bytes came since the last tick and the announced block is not complete yet: the line
    // works, it is only slow. A dead line is the stall check's business.
    const int rx = s_.RxCount;
    const int announced = x_.framer_.HeaderCount();
    const bool delivering = rx != lastTickRx_ && announced > 0 &&
                            static_cast<long long>(s_.RxText.size()) <
                                CFramer::kHeaderLength +
                                    static_cast<long long>(s_.ReplyRecordLength) * announced;
    return delivering;
}

void CTransferWatchdog::Retry() {
    x_.timer5_.Stop();
    s_.ManualPhase = kManualHandshakeSent;
    x_.Dispatch(kCmdManualHandshake);
}

void CTransferWatchdog::GiveUp(const char* text) {
    x_.c_.ports.SetAdapterFound(false);
    x_.timer5_.Stop();
    x_.ClosePort();
    x_.c_.prompt.Inform(text, kMessageTitle);
    s_.ManualPhase = kManualIdle;
    s_.ReplyFilter = kFilterNone;
}

