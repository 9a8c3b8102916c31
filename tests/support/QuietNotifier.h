#pragma once
// A decoder's listener that hears nothing: for tests that store blocks only for their rows.

#include "storage/DownloadDecoder.h"

class QuietNotifier : public IDownloadNotifier {
public:
    void ShowStatus(const std::string&) override {}
    void ReportProgress(int) override {}
    void HideProgress() override {}
    void BlockAccepted() override {}
    void BlockRejected(bool) override {}
    void RowsStored(int, bool) override {}
    void StoreFailed(const std::string&, bool) override {}
    void DumpIncomplete(const std::string&) override {}
};
