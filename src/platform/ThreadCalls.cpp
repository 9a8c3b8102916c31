#include "ThreadCalls.h"

#include <QCoreApplication>
#include <QEvent>

void CThreadCalls::Post(std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(std::move(fn));
    }
    QCoreApplication::postEvent(this, new QEvent(QEvent::User));
}

bool CThreadCalls::event(QEvent* e) {
    // Every event drains the queue; the event itself is not looked at.
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
    return QObject::event(e);
}
