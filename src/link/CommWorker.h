#pragma once
// The worker thread: it waits for one of its events (quit, decode, scan, presence) and runs one
// job at a time, away from the thread that owns the link. A job talks back only through
// CallOnFrame, which runs a step on the owner's thread and waits for it and for the bytes it
// queued, as a synchronous window message would. A decode gets its block as a copy taken when
// it is signalled, so nothing it reads changes under it.

#include "platform/ThreadCalls.h"
#include "storage/DownloadDecoder.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class CCommWorker {
public:
    struct Jobs {
        std::function<void(const DownloadBlock&)> decode;
        std::function<void()> scan;
        std::function<void()> presence;
        // Owner's thread: run `then` once everything queued on the line so far is written.
        std::function<void(std::function<void()> then)> afterWrites;
        // Owner's thread: false once the program is closing (a late step is dropped).
        std::function<bool()> running;
    };

    explicit CCommWorker(Jobs jobs);
    ~CCommWorker();
    CCommWorker(const CCommWorker&) = delete;
    CCommWorker& operator=(const CCommWorker&) = delete;

    void Start();
    // Ends the thread; a CallOnFrame that waits is released. Owner's thread.
    void Stop();

    void SignalDecode(DownloadBlock block);
    void SignalScan();
    void SignalPresence();

    // True while a job runs or waits to run.
    bool Busy() const;
    // True when the worker has nothing to do but wait: idle, or waiting for the owner while
    // the owner runs its call.
    bool Quiet() const;
    // True once a call of the worker waits for the owner, run or not.
    bool Calling() const;

    // Worker thread only. False when the worker was stopped first.
    bool CallOnFrame(std::function<void()> step);

private:
    void Main();

    Jobs jobs_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool quit_ = false, decode_ = false, scan_ = false, presence_ = false;
    bool jobRunning_ = false;
    bool stopping_ = false;
    int waitingOnFrame_ = 0;
    int calling_ = 0;
    DownloadBlock pendingBlock_;
    CThreadCalls calls_; // lives on the owner's thread
    std::thread thread_;
};
