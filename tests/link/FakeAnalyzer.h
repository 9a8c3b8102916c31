#pragma once
// The simulated analyzer's protocol on the fake serial port, in the time of an event clock: what
// the pseudo-terminal simulator does, without a device and without real time. Replies go out at
// the configured baud rate in 10-ms slices (all at once at 0 baud), a little after the command,
// as a line would deliver them.

#include "AnalyzerCore.h"
#include "FakeSerialPort.h"
#include "platform/EventClock.h"

#include <algorithm>
#include <string>

class FakeAnalyzer {
public:
    using Rx = AnalyzerCore::Rx;

    FakeAnalyzer(SimOptions options, FakeSerialPort& port, IEventClock& clock, std::string path)
        : options_(std::move(options)), port_(port), clock_(clock), path_(std::move(path)),
          core_(options_,
                AnalyzerCore::Io{[this](const std::string& b, size_t only) { Queue(b, only); },
                                 [this](int ms, std::function<void()> fn) {
                                     clock_.CallAfter(ms, [this, fn]() {
                                         if (!vanished_)
                                             fn();
                                     });
                                 },
                                 [this]() { Vanish(); }, [this]() { return clock_.NowMs(); }}) {
        port_.AttachDevice(path_,
                           [this](const std::string& b) { core_.Receive(b.data(), b.size()); });
        core_.OnCommand = [this](const std::string& cmd) {
            if (OnCommand)
                OnCommand(cmd);
        };
    }
    // Called on every complete command (the two letters), before the analyzer answers.
    std::function<void(const std::string&)> OnCommand;

    bool Start(std::string&) { return true; }
    const std::string& SlavePath() const { return path_; }
    SimOptions& Options() { return options_; }
    const std::vector<Rx>& Received() const { return core_.Received(); }
    std::vector<std::string> Commands() const { return core_.Commands(); }
    uint64_t BytesSent() const { return sent_; }
    // Bytes on the line now (the test's own).
    void SendRaw(const std::string& bytes) {
        sent_ += bytes.size();
        if (!vanished_)
            port_.DeliverFrom(path_, bytes);
    }
    void Vanish() {
        vanished_ = true;
        port_.DetachDevice(path_);
    }
    bool Vanished() const { return vanished_; }

private:
    void Queue(const std::string& bytes, size_t sendOnly) {
        if (vanished_)
            return;
        out_ += bytes.substr(0, sendOnly);
        if (!pacing_) {
            pacing_ = true;
            clock_.CallAfter(1, [this]() { Pace(); });
        }
    }
    void Pace() {
        // Ten bits a byte: baud / 1000 bytes per 10 ms, the fractions carried on.
        credit_ += options_.baud / 1000.0;
        const size_t slice = options_.baud > 0 ? static_cast<size_t>(credit_) : out_.size();
        credit_ -= static_cast<double>(slice);
        const std::string now = out_.substr(0, slice);
        out_.erase(0, slice);
        sent_ += now.size();
        if (!vanished_)
            port_.DeliverFrom(path_, now);
        if (out_.empty() || vanished_) {
            pacing_ = false;
            credit_ = 0.0;
            return;
        }
        clock_.CallAfter(10, [this]() { Pace(); });
    }

    SimOptions options_;
    FakeSerialPort& port_;
    IEventClock& clock_;
    std::string path_;
    AnalyzerCore core_;
    std::string out_;
    bool pacing_ = false;
    double credit_ = 0.0;
    bool vanished_ = false;
    uint64_t sent_ = 0;
};
