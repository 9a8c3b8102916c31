#pragma once
// The window program's side of the lab link: the journal set on the main table, and a sender
// thread of its own with its own connection to the main database, so that sending never holds
// up the window or a download. It sends what is due, sleeps up to five seconds (a store wakes
// it), and keeps the outbox's counts for the status bar, which the window reads when it likes.

#include "LabOutbox.h"

#include <QString>
#include <condition_variable>
#include <mutex>
#include <thread>

class CLabLink {
public:
    CLabLink(const LabConfig& config, int unit);
    ~CLabLink();
    CLabLink(const CLabLink&) = delete;
    CLabLink& operator=(const CLabLink&) = delete;

    CLabJournal& Journal() { return journal_; }
    // Starts sending from the main database at this path (once it is open).
    void Start(const QString& mainDbPath, const std::string& table);
    void Stop();
    void Reconfigure(const LabConfig& config);
    // Something was queued: send now rather than at the next round.
    void Wake();

    struct Status {
        bool enabled = false;
        OutboxCounts counts;
        std::string problem; // the last pass's, in plain words; empty when it went well
    };
    Status CurrentStatus() const;

private:
    void Run(QString path, std::string table);

    CLabJournal journal_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool woken_ = false;
    Status status_;
    std::thread thread_;
};

// The status bar's text: "Lab: 3 waiting" and the like; empty while the link is off and
// nothing is left in the outbox.
std::string LabStatusText(const CLabLink::Status& status);
