#pragma once
// One source of time for the link and the decoder: a monotonic millisecond count and pauses.
// Tests and benchmarks give a manual clock so that timers, watchdogs and the protocol's fixed
// pauses run in simulated time.

#include <chrono>
#include <cstdint>
#include <thread>

class IClock {
public:
    virtual ~IClock() = default;
    // Milliseconds since an arbitrary start; never goes back.
    virtual int64_t NowMs() const = 0;
    // Blocks the calling thread for the given time (worker thread only).
    virtual void Pause(int ms) = 0;
};

class SystemClock : public IClock {
public:
    int64_t NowMs() const override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void Pause(int ms) override {
        if (ms > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};
