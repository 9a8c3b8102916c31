#include "link/WriteQueue.h"

void CWriteQueue::Send(const char* command, int gapMs, int copies) {
    for (int copy = 0; copy < copies; ++copy) {
        for (int i = 0; i < 3; ++i) {
            items_.push_back({Item::Byte, command[i], 0, nullptr});
            if (copy < copies - 1 || i < 2)
                items_.push_back({Item::Pause, 0, gapMs, nullptr});
        }
    }
    Pump();
}

void CWriteQueue::Wait(int ms) {
    items_.push_back({Item::Pause, 0, ms, nullptr});
    Pump();
}

void CWriteQueue::Then(std::function<void()> step) {
    items_.push_back({Item::Step, 0, 0, std::move(step)});
    Pump();
}

void CWriteQueue::Clear() {
    items_.clear();
    if (waiting_)
        clock_.Cancel(timer_);
    waiting_ = false;
    timer_ = 0;
}

void CWriteQueue::Pump() {
    if (pumping_)
        return; // a step queued more: the running loop picks it up in order
    pumping_ = true;
    while (!waiting_ && !items_.empty()) {
        Item item = std::move(items_.front());
        items_.pop_front();
        switch (item.kind) {
        case Item::Byte: {
            const bool taken = port_.Write(&item.byte, 1) == 1;
            if (OnWrite)
                OnWrite(item.byte, taken);
        } break;
        case Item::Pause:
            if (item.ms > 0) {
                waiting_ = true;
                timer_ = clock_.CallAfter(item.ms, [this]() {
                    waiting_ = false;
                    timer_ = 0;
                    Pump();
                });
            }
            break;
        case Item::Step: {
            // What the step queues runs next, before what was queued after the step.
            std::deque<Item> rest;
            rest.swap(items_);
            item.step();
            for (Item& r : rest)
                items_.push_back(std::move(r));
            break;
        }
        }
    }
    pumping_ = false;
    if (Idle() && OnIdle)
        OnIdle();
}
