#include "link/CommWorker.h"

#include <memory>

CCommWorker::CCommWorker(Jobs jobs) : jobs_(std::move(jobs)) {}

CCommWorker::~CCommWorker() {
    Stop();
}

void CCommWorker::Start() {
    if (!thread_.joinable())
        thread_ = std::thread([this]() { Main(); });
}

void CCommWorker::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
        stopping_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void CCommWorker::SignalDecode(DownloadBlock block) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pendingBlock_ = std::move(block);
        decode_ = true;
    }
    cv_.notify_all();
}

void CCommWorker::SignalScan() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        scan_ = true;
    }
    cv_.notify_all();
}

void CCommWorker::SignalPresence() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        presence_ = true;
    }
    cv_.notify_all();
}

bool CCommWorker::Busy() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return jobRunning_ || decode_ || scan_ || presence_;
}

bool CCommWorker::Quiet() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return waitingOnFrame_ > 0 || !(jobRunning_ || decode_ || scan_ || presence_);
}

bool CCommWorker::Calling() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calling_ > 0;
}

bool CCommWorker::CallOnFrame(std::function<void()> step) {
    auto done = std::make_shared<bool>(false);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_)
            return false;
        ++calling_;
    }
    calls_.Post([this, done, step = std::move(step)]() {
        {
            // From here the worker waits only for the owner's queue and clock.
            std::lock_guard<std::mutex> lock(mutex_);
            ++waitingOnFrame_;
        }
        // Delivered after the window closed: the program is shutting down, so the job's
        // request (a port choice, a message box) is dropped.
        if (jobs_.running())
            step();
        // Like a synchronous message: the sender goes on once the bytes are written.
        jobs_.afterWrites([this, done]() {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                --waitingOnFrame_;
                *done = true;
            }
            cv_.notify_all();
        });
    });
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [&]() { return *done || stopping_; });
    --calling_;
    return *done;
}

void CCommWorker::Main() {
    for (;;) {
        enum { Decode, Scan, Presence } job;
        DownloadBlock block;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            jobRunning_ = false;
            cv_.notify_all();
            cv_.wait(lock, [&]() { return quit_ || decode_ || scan_ || presence_; });
            if (quit_)
                return;
            if (decode_) {
                decode_ = false;
                job = Decode;
                block = std::move(pendingBlock_);
            } else if (scan_) {
                scan_ = false;
                job = Scan;
            } else {
                presence_ = false;
                job = Presence;
            }
            jobRunning_ = true;
        }
        switch (job) {
        case Decode:
            jobs_.decode(block);
            break;
        case Scan:
            jobs_.scan();
            break;
        case Presence:
            jobs_.presence();
            break;
        }
    }
}
