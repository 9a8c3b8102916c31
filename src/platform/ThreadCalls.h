#pragma once
// Runs functions on the thread that owns this object, handed over from any other thread.
// The functions travel through a std::mutex of ours, and the event that wakes the owner carries
// nothing: so the hand-over is a plain, visible happens-before (ThreadSanitizer sees it too,
// which it does not for Qt's own event queue).

#include <QObject>
#include <deque>
#include <functional>
#include <mutex>

class CThreadCalls : public QObject {
public:
    using QObject::QObject;
    // Any thread: fn runs on the owner's thread at its next event-loop turn, in posting order.
    void Post(std::function<void()> fn);

protected:
    bool event(QEvent* e) override;

private:
    std::mutex mutex_;
    std::deque<std::function<void()>> calls_;
};
