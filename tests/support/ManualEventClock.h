#pragma once
// An event clock in simulated time. Callbacks run only from RunFor, in due order, with a
// settle step after each one so that real I/O (a pseudo-terminal) can catch up before the
// clock moves on. Pause (the worker's) moves the time at once.

#include "platform/EventClock.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

class ManualEventClock : public IEventClock {
public:
    int64_t NowMs() const override { return now_.load(); }
    void Pause(int ms) override {
        std::lock_guard<std::mutex> lock(mutex_);
        pauses_.push_back(ms);
        now_ += ms;
    }
    TimerId CallAfter(int ms, std::function<void()> fn) override {
        const TimerId id = next_++;
        due_[{now_.load() + std::max(ms, 0), id}] = std::move(fn);
        return id;
    }
    void Cancel(TimerId id) override {
        for (auto it = due_.begin(); it != due_.end(); ++it) {
            if (it->first.second == id) {
                due_.erase(it);
                return;
            }
        }
    }
    // Moves the time on by ms, running what falls due on the way.
    void RunFor(int64_t ms, const std::function<void()>& settle) {
        const int64_t target = now_.load() + ms;
        while (!due_.empty() && due_.begin()->first.first <= target) {
            auto it = due_.begin();
            auto fn = std::move(it->second);
            if (it->first.first > now_.load())
                now_ = it->first.first;
            due_.erase(it);
            fn();
            if (settle)
                settle();
        }
        if (now_.load() < target)
            now_ = target;
        if (settle)
            settle();
    }
    std::vector<int> Pauses() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return pauses_;
    }
    size_t Pending() const { return due_.size(); }

private:
    std::atomic<int64_t> now_{0};
    TimerId next_ = 1;
    std::map<std::pair<int64_t, TimerId>, std::function<void()>> due_;
    mutable std::mutex mutex_;
    std::vector<int> pauses_;
};
