#include "ThreadCalls.h"

#include <QSocketNotifier>
#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

CThreadCalls::CThreadCalls(QObject* parent) : QObject(parent) {
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0)
        qFatal("CThreadCalls: no eventfd (errno %d)", errno);
    notifier_ = new QSocketNotifier(wakeFd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this]() {
        uint64_t count = 0;
        while (read(wakeFd_, &count, sizeof count) < 0 && errno == EINTR) {
        }
        Drain();
    });
}

CThreadCalls::~CThreadCalls() {
    delete notifier_;
    notifier_ = nullptr;
    close(wakeFd_);
}

void CThreadCalls::Post(std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(std::move(fn));
    }
    // The counter only wakes the owner; the calls themselves are in the queue above. A full
    // counter (EAGAIN) already wakes it.
    const uint64_t one = 1;
    while (write(wakeFd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void CThreadCalls::Drain() {
    for (;;) {
        std::function<void()> fn;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (calls_.empty())
                break;
            fn = std::move(calls_.front());
            calls_.pop_front();
        }
        fn();
    }
}
