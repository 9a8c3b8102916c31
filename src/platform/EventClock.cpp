#include "platform/EventClock.h"

#include <QTimer>

IEventClock::TimerId QtEventClock::CallAfter(int ms, std::function<void()> fn) {
    const TimerId id = next_++;
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    pending_[id] = timer;
    QObject::connect(timer, &QTimer::timeout, this, [this, id, fn = std::move(fn)]() {
        auto it = pending_.find(id);
        if (it == pending_.end())
            return;
        it->second->deleteLater();
        pending_.erase(it);
        fn();
    });
    timer->start(ms < 0 ? 0 : ms);
    return id;
}

void QtEventClock::Cancel(TimerId id) {
    auto it = pending_.find(id);
    if (it == pending_.end())
        return;
    it->second->deleteLater();
    pending_.erase(it);
}

void RepeatingTimer::Start() {
    Stop();
    Arm();
}

void RepeatingTimer::Stop() {
    if (id_ != 0)
        clock_.Cancel(id_);
    id_ = 0;
}

void RepeatingTimer::Arm() {
    id_ = clock_.CallAfter(period_, [this]() {
        Arm(); // re-armed first: the tick may stop or restart the timer
        tick_();
    });
}
