#pragma once
// For the benchmark and the fuzzer: a notifier that discards what the decoder reports.

#include "storage/DownloadDecoder.h"

class QuietNotifier : public IDownloadNotifier {
public:
    void DumpIncomplete(const std::string&) override {}
    void ShowStatus(const std::string&) override {}
    void ReportProgress(int) override {}
    void HideProgress() override {}
    void BlockAccepted() override {}
    void BlockRejected(bool) override {}
    void RowsStored(int, bool) override {}
    void StoreFailed(const std::string&, bool) override {}
};
