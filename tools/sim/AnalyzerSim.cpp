#include "AnalyzerSim.h"

#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

AnalyzerSim::AnalyzerSim(SimOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)),
      core_(options_,
            AnalyzerCore::Io{[this](const std::string& b, size_t only) { Queue(b, only); },
                             [this](int ms, std::function<void()> fn) {
                                 QTimer::singleShot(ms, this, std::move(fn));
                             },
                             [this]() { Vanish(); }, [this]() { return Now ? Now() : 0; }}) {
    core_.OnCommand = [this](const std::string& cmd) {
        if (OnCommand)
            OnCommand(cmd);
    };
}

AnalyzerSim::~AnalyzerSim() {
    Vanish();
}

void AnalyzerSim::Vanish() {
    delete readNotifier_;
    readNotifier_ = nullptr;
    delete writeNotifier_;
    writeNotifier_ = nullptr;
    if (pacer_)
        pacer_->stop();
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
    master_ = slave_ = -1;
    out_.clear();
    outPos_ = 0;
}

bool AnalyzerSim::Start(std::string& error) {
    termios raw{};
    cfmakeraw(&raw);
    cfsetispeed(&raw, B9600);
    cfsetospeed(&raw, B9600);
    char name[256] = {};
    if (openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
        error = std::string("openpty failed: ") + std::strerror(errno);
        return false;
    }
    slavePath_ = name;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    readNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Read);
    connect(readNotifier_, &QSocketNotifier::activated, this, [this]() { OnReadable(); });
    writeNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Write);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_, &QSocketNotifier::activated, this, [this]() { OnWritable(); });
    pacer_ = new QTimer(this);
    pacer_->setInterval(10);
    connect(pacer_, &QTimer::timeout, this, [this]() { Pace(); });
    return true;
}

void AnalyzerSim::OnReadable() {
    char buf[512];
    for (;;) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0)
            break;
        core_.Receive(buf, static_cast<size_t>(n));
    }
}

void AnalyzerSim::SendRaw(const std::string& bytes) {
    Queue(bytes);
}

void AnalyzerSim::Queue(const std::string& bytes, size_t sendOnly) {
    if (master_ < 0)
        return;
    if (outPos_ >= out_.size()) {
        out_.clear();
        outPos_ = 0;
    }
    if (sendOnly != std::string::npos && outLimit_ == std::string::npos)
        outLimit_ = out_.size() + sendOnly;
    out_ += bytes;
    if (options_.baud > 0) {
        if (!pacer_->isActive()) {
            paceClock_.start();
            pacedBytes_ = 0;
            pacer_->start();
        }
    } else {
        OnWritable();
    }
}

void AnalyzerSim::OnWritable() {
    const size_t end = std::min(out_.size(), outLimit_);
    while (outPos_ < end) {
        const ssize_t n = ::write(master_, out_.data() + outPos_, end - outPos_);
        if (n <= 0) {
            writeNotifier_->setEnabled(true); // the pseudo-terminal is full: wait for room
            return;
        }
        outPos_ += static_cast<size_t>(n);
        sent_ += static_cast<uint64_t>(n);
    }
    writeNotifier_->setEnabled(false);
    if (end < out_.size()) { // stalled: the rest never goes out
        out_.clear();
        outPos_ = 0;
        outLimit_ = std::string::npos;
    }
}

uint64_t AnalyzerSim::LineBytesDue(int64_t elapsedNs, int baud) {
    if (elapsedNs <= 0 || baud <= 0)
        return 0;
    // Whole milliseconds keep the product far from overflow over days of pacing.
    const uint64_t ms = static_cast<uint64_t>(elapsedNs) / 1000000u;
    return ms * static_cast<uint64_t>(baud) / 10000u;
}

void AnalyzerSim::Pace() {
    // What the line rate allows since the pacer started, less what went out already.
    const uint64_t due = LineBytesDue(paceClock_.nsecsElapsed(), options_.baud);
    const size_t slice = due > pacedBytes_ ? static_cast<size_t>(due - pacedBytes_) : 0;
    const size_t end = std::min({out_.size(), outLimit_, outPos_ + slice});
    while (outPos_ < end) {
        const ssize_t n = ::write(master_, out_.data() + outPos_, end - outPos_);
        if (n <= 0)
            return;
        outPos_ += static_cast<size_t>(n);
        sent_ += static_cast<uint64_t>(n);
        pacedBytes_ += static_cast<uint64_t>(n);
    }
    const size_t limit = std::min(out_.size(), outLimit_);
    if (outPos_ >= limit) {
        pacer_->stop();
        if (limit < out_.size()) {
            out_.clear();
            outPos_ = 0;
            outLimit_ = std::string::npos;
        }
    }
}
