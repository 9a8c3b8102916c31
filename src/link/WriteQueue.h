#pragma once
// The command bytes on the line, with the protocol's pauses, without blocking: each byte is one
// write, then its pause on the event clock; a step queued after a command runs after its last
// byte, and what a step queues runs before anything queued after the step.

#include "link/SerialPort.h"
#include "platform/EventClock.h"

#include <deque>
#include <functional>

// Sends command bytes one at a time with their pauses, and runs steps after them in order.
class CWriteQueue {
public:
    CWriteQueue(ISerialPort& port, IEventClock& clock) : port_(port), clock_(clock) {}
    ~CWriteQueue() { Clear(); }
    // The three bytes of a command, copies times, gapMs after every byte but the last.
    void Send(const char* command, int gapMs, int copies);
    void Wait(int ms);
    void Then(std::function<void()> step);
    bool Idle() const { return items_.empty() && !waiting_; }
    // Drops everything not done yet.
    void Clear();
    // Observer of every byte handed to the port and whether the port took it.
    std::function<void(char, bool)> OnWrite;
    // Called whenever the queue has run empty.
    std::function<void()> OnIdle;

private:
    struct Item {
        enum Kind { Byte, Pause, Step } kind;
        char byte = 0;
        int ms = 0;
        std::function<void()> step;
    };
    void Pump();
    ISerialPort& port_;
    IEventClock& clock_;
    std::deque<Item> items_;
    bool waiting_ = false;
    bool pumping_ = false;
    IEventClock::TimerId timer_ = 0;
};
