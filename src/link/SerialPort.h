#pragma once
// The transport the link controller talks to: one serial port, opened with the fields below,
// writing single bytes, and handing every received byte to its owner in arrival order.
// CSerialComm implements it on QSerialPort; tests may give a fake.

#include <cstdint>
#include <functional>
#include <string>

enum class PortOpenError {
    None,
    NotFound,   // no such device
    Permission, // the device exists but this user may not open it
    Busy,       // another program holds it
    Other,
};

class ISerialPort {
public:
    // Called on the owner's thread for each received byte (a NUL already turned into a blank).
    using Receiver = std::function<void(char byte)>;

    virtual ~ISerialPort() = default;

    // Line fields, written by the caller before Open.
    std::string PortName; // device path ("/dev/ttyUSB0", "\\.\COM12")
    uint32_t BaudRate = 9600;
    uint8_t ByteSize = 8;
    uint8_t StopBits = 0; // 0 one, 1 one and a half, 2 two
    uint8_t Parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    // bit 0 XON/XOFF on input, bit 1 on output, bit 2 drop NUL bytes
    uint32_t FlowSetting = 0;

    // Closes the port if open, stores the receiver and the queue size. Always true.
    virtual bool Setup(Receiver receiver, uint32_t bufferSize) = 0;
    // Opens PortName with the line fields. On failure nothing stays open and OpenError tells why.
    virtual bool Open() = 0;
    // Returns the number of bytes written, 0 when the port is closed or the write failed.
    virtual int Write(const char* bytes, int count) = 0;
    // Drops what the driver holds in both directions.
    virtual void Purge() = 0;
    // After Close no byte reaches the receiver any more.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual PortOpenError OpenError() const = 0;
    virtual std::string OpenErrorText() const = 0;
};

// The line shown after the program's own "connecting failure" text when the reason is one the
// user can fix (permission, busy device); empty otherwise.
std::string OpenFailureAdvice(PortOpenError error, const std::string& portName);
