#pragma once
// A serial port without a device: what the program writes is kept, and the test hands bytes to
// the program as the port's reader would. No pseudo-terminal, no real time.

#include "link/SerialPort.h"

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
    int purges = 0;
    std::function<void()> OnOpen;

private:
    Receiver receiver_;
    bool open_ = false;
    std::string openPath_;
    std::map<std::string, std::function<void(const std::string&)>> devices_;
};
