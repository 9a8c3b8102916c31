#pragma once
// A clock that only moves when told to: pauses advance it at once and are recorded.

#include "platform/Clock.h"

#include <atomic>
#include <mutex>
#include <vector>

class ManualClock : public IClock {
public:
    int64_t NowMs() const override { return now_.load(); }
    void Pause(int ms) override {
        std::lock_guard<std::mutex> lock(mutex_);
        pauses.push_back(ms);
        now_ += ms;
    }
    void Advance(int64_t ms) { now_ += ms; }
    std::vector<int> Pauses() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return pauses;
    }

private:
    std::atomic<int64_t> now_{0};
    mutable std::mutex mutex_;
    std::vector<int> pauses;
};
