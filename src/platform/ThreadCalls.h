#pragma once
// Runs functions on the thread that owns this object, handed over from any other thread.
// The functions travel through a std::mutex of ours; the owner is woken through an eventfd that
// a QSocketNotifier on its own thread watches. Nothing the posting thread allocates is handed to
// Qt, so every hand-over is a plain, visible happens-before (ThreadSanitizer sees it too, which
// it does not for an event posted into Qt's queue and freed by Qt on the owner's thread).

#include <QObject>
#include <deque>
#include <functional>
#include <mutex>

class QSocketNotifier;

class CThreadCalls : public QObject {
public:
    // On the owner's thread.
    explicit CThreadCalls(QObject* parent = nullptr);
    ~CThreadCalls() override;
    CThreadCalls(const CThreadCalls&) = delete;
    CThreadCalls& operator=(const CThreadCalls&) = delete;
    // Any thread: fn runs on the owner's thread at its next event-loop turn, in posting order.
    void Post(std::function<void()> fn);

private:
    // Owner's thread: runs everything posted so far, and what those calls post meanwhile.
    void Drain();

    std::mutex mutex_;
    std::deque<std::function<void()>> calls_;
    int wakeFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};
