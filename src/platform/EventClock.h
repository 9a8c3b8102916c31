#pragma once
// A clock that can also run something later on the thread that owns it. The link's timers,
// the pauses between command bytes and its stopwatches all use one of these, so tests run the
// 8-second, 15-second and 90-second limits in simulated time.

#include "platform/Clock.h"

#include <QObject>
#include <functional>
#include <map>

class IEventClock : public IClock {
public:
    using TimerId = int;
    // Runs fn once, ms from now, on the clock's thread. Callbacks due at the same time run in
    // the order they were asked for.
    virtual TimerId CallAfter(int ms, std::function<void()> fn) = 0;
    // Forgets a callback that has not run yet; unknown ids are ignored.
    virtual void Cancel(TimerId id) = 0;
};

// The real thing: QTimer single shots on the thread that created the clock.
class QtEventClock : public QObject, public IEventClock {
public:
    explicit QtEventClock(QObject* parent = nullptr) : QObject(parent) {}
    int64_t NowMs() const override { return system_.NowMs(); }
    void Pause(int ms) override { system_.Pause(ms); }
    TimerId CallAfter(int ms, std::function<void()> fn) override;
    void Cancel(TimerId id) override;

private:
    SystemClock system_;
    TimerId next_ = 1;
    std::map<TimerId, QObject*> pending_;
};

// A repeating timer on an event clock, as a window timer: Start (re)arms it, Stop disarms it.
class RepeatingTimer {
public:
    RepeatingTimer(IEventClock& clock, int periodMs, std::function<void()> tick)
        : clock_(clock), period_(periodMs), tick_(std::move(tick)) {}
    ~RepeatingTimer() { Stop(); }
    RepeatingTimer(const RepeatingTimer&) = delete;
    RepeatingTimer& operator=(const RepeatingTimer&) = delete;
    void Start();
    void Stop();
    bool IsRunning() const { return id_ != 0; }

private:
    void Arm();
    IEventClock& clock_;
    int period_;
    std::function<void()> tick_;
    IEventClock::TimerId id_ = 0;
};
