#include "LabLink.h"

#include "LabSender.h"
#include "storage/ResultTable.h"

#include <QFile>
#include <chrono>

CLabLink::CLabLink(const LabConfig& config, int unit) : journal_(config, unit) {
    status_.enabled = config.enabled;
}

CLabLink::~CLabLink() {
    Stop();
}

void CLabLink::Start(const QString& mainDbPath, const std::string& table) {
    Stop();
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = false;
    thread_ = std::thread(&CLabLink::Run, this, mainDbPath, table);
}

void CLabLink::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void CLabLink::Reconfigure(const LabConfig& config) {
    journal_.SetConfig(config);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        status_.enabled = config.enabled;
        status_.problem.clear();
    }
    Wake();
}

void CLabLink::Wake() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        woken_ = true;
    }
    wake_.notify_all();
}

CLabLink::Status CLabLink::CurrentStatus() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return status_;
}

void CLabLink::Run(QString path, std::string table) {
    CResultTable connection;
    connection.SetTableName(table.c_str());
    // Waits for the window's store rather than failing beside it; the store waits for us in
    // the same way, for no longer than one short transaction.
    connection.SetBusyTimeout(5000);
    const bool open = connection.OpenFile(QFile::encodeName(path).constData());
    const auto stopping = [this]() {
        std::lock_guard<std::mutex> lock(mutex_);
        return stop_;
    };
    while (!stopping()) {
        const LabConfig config = journal_.Config();
        SendPass pass;
        if (open && config.enabled) {
            CLabSender sender(connection, config);
            pass = sender.Pass(true, [&]() { return !stopping(); });
        }
        OutboxCounts counts;
        if (open)
            CountOutbox(connection, counts);
        std::unique_lock<std::mutex> lock(mutex_);
        status_.counts = counts;
        if (pass.unreachable || pass.errors || pass.rejected)
            status_.problem = pass.lastProblem;
        else if (pass.delivered)
            status_.problem.clear();
        // Straight on while a pass got through a run; otherwise a pause, cut short by a store.
        const bool more = pass.delivered > 0 && !pass.unreachable;
        if (!more || pass.busy)
            wake_.wait_for(lock, std::chrono::seconds(pass.busy ? 1 : 5),
                           [this]() { return stop_ || woken_; });
        woken_ = false;
    }
}

std::string LabStatusText(const CLabLink::Status& status) {
    if (!status.enabled && status.counts.waiting == 0 && status.counts.rejected == 0)
        return {};
    return OutboxStatusText(status.counts);
}
