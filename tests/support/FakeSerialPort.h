#pragma once
// A serial port without a device: what the program writes is kept, and the test hands bytes to
// the program as the port's reader would. No pseudo-terminal, no real time.

#include "link/SerialPort.h"
#include "platform/EventClock.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

class FakeSerialPort : public ISerialPort {
public:
    bool Setup(Receiver receiver, uint32_t) override {
        Close();
        receiver_ = std::move(receiver);
        return true;
    }
    bool Open() override {
        Close();
        // With devices attached, only their paths open (an unplugged one is gone).
        if (failOpen || (!devices_.empty() && !devices_.count(PortName)))
            return false;
        open_ = true;
        openPath_ = PortName;
        if (OnOpen)
            OnOpen();
        return true;
    }
    int Write(const char* bytes, int count) override {
        if (!open_ || count <= 0)
            return 0;
        const std::string b(bytes, static_cast<size_t>(count));
        written += b;
        if (OnWrite)
            OnWrite(b);
        auto it = devices_.find(openPath_);
        if (it != devices_.end())
            it->second(b);
        return count;
    }

    // A device on the line: what the program writes while the port is open on this path goes
    // to onWrite. Several devices stand for several adapters.
    void AttachDevice(const std::string& path, std::function<void(const std::string&)> onWrite) {
        devices_[path] = std::move(onWrite);
    }
    // The device is unplugged: an open port on it is closed, as the serial port does when its
    // device vanishes.
    void DetachDevice(const std::string& path) {
        devices_.erase(path);
        if (open_ && openPath_ == path) {
            Close();
            ++lostCount;
        }
    }
    // Bytes from the device on path: they reach the program only while the port is open there.
    void DeliverFrom(const std::string& path, const std::string& bytes) {
        if (open_ && openPath_ == path)
            Deliver(bytes);
    }
    void Purge() override { ++purges; }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    PortOpenError OpenError() const override {
        return open_ ? PortOpenError::None : PortOpenError::NotFound;
    }
    std::string OpenErrorText() const override { return open_ ? "" : "no such device"; }

    // Bytes from the analyzer, one at a time, as the reader hands them on (NUL as a blank).
    void Deliver(const std::string& bytes) {
        for (char c : bytes) {
            if (!open_ || !receiver_)
                return;
            receiver_(c == '\0' ? ' ' : c);
        }
    }

    int LostCount() const { return lostCount; }

    bool failOpen = false;
    int lostCount = 0;
    std::string written;
    int purges = 0;
    std::function<void(const std::string&)> OnWrite;
    std::function<void()> OnOpen;

private:
    Receiver receiver_;
    bool open_ = false;
    std::string openPath_;
    std::map<std::string, std::function<void(const std::string&)>> devices_;
};

// The analyzer's side on a fake port, in the time of an event clock: it collects commands up
// to ETX and answers through the clock, sending blocks at a given line rate.
class ClockedAnalyzer {
public:
    struct Byte {
        char byte;
        int64_t at;
    };

    ClockedAnalyzer(FakeSerialPort& port, IEventClock& clock) : port_(port), clock_(clock) {
        port_.OnWrite = [this](const std::string& b) {
            for (char c : b) {
                received.push_back({c, clock_.NowMs()});
                if (c != '\x03') {
                    pending_ += c;
                    continue;
                }
                commands.push_back(pending_);
                const std::string cmd = pending_;
                pending_.clear();
                if (OnCommand)
                    OnCommand(cmd);
            }
        };
        port_.OnOpen = [this]() { opens.push_back(clock_.NowMs()); };
    }
    // Sends the bytes after delayMs at bytesPerSecond (0: all at once), in 100-ms slices.
    void Send(const std::string& bytes, int delayMs, int bytesPerSecond = 0) {
        queue_ += bytes;
        if (!sending_) {
            sending_ = true;
            clock_.CallAfter(delayMs, [this, bytesPerSecond]() { Slice(bytesPerSecond); });
        }
    }
    std::string Commands() const {
        std::string out;
        for (const std::string& c : commands)
            out += c + " ";
        return out;
    }
    // Times at which each command's last byte (ETX) reached the line.
    std::vector<int64_t> CommandEnds() const {
        std::vector<int64_t> out;
        for (const Byte& b : received)
            if (b.byte == '\x03')
                out.push_back(b.at);
        return out;
    }
    // Time of the first byte of command n (0-based).
    int64_t CommandStart(size_t n) const {
        size_t seen = 0;
        bool atStart = true;
        for (const Byte& b : received) {
            if (atStart && seen == n)
                return b.at;
            atStart = b.byte == '\x03';
            if (atStart)
                ++seen;
        }
        return -1;
    }

    std::function<void(const std::string&)> OnCommand;
    std::vector<std::string> commands;
    std::vector<Byte> received;
    std::vector<int64_t> opens;

private:
    void Slice(int bytesPerSecond) {
        const size_t n = bytesPerSecond > 0 ? static_cast<size_t>(bytesPerSecond) / 10 : queue_.size();
        const std::string now = queue_.substr(0, n);
        queue_.erase(0, n);
        port_.Deliver(now);
        if (queue_.empty()) {
            sending_ = false;
            return;
        }
        clock_.CallAfter(100, [this, bytesPerSecond]() { Slice(bytesPerSecond); });
    }

    FakeSerialPort& port_;
    IEventClock& clock_;
    std::string pending_;
    std::string queue_;
    bool sending_ = false;
};
