#pragma once
// For the benchmark and the fuzzer: a clock whose pauses cost nothing and a notifier that
// discards what the decoder reports.

#include "platform/Clock.h"
#include "storage/DownloadDecoder.h"

class NoPauseClock : public IClock {
public:
    int64_t NowMs() const override { return 0; }
    void Pause(int) override {}
};

class QuietNotifier : public IDownloadNotifier {
public:
    void ShowStatus(const std::string&) override {}
    void ReportProgress(int) override {}
    void HideProgress() override {}
    void Inform(const std::string&, const std::string&) override {}
    void SetManualPhase(int) override {}
    void SendFrameCommand(int) override {}
};
