#pragma once
// The one serial port of the program, on QSerialPort. It lives on the thread that creates it
// (the main frame's): QSerialPort reads in the background and signals readyRead, and each byte
// is handed to the receiver in order, one at a time, so the receive routine sees exactly what a
// byte-by-byte reader would.

#include "link/SerialPort.h"

#include <QElapsedTimer>
#include <memory>

class QSerialPort;

class CSerialComm : public ISerialPort {
public:
    CSerialComm();
    ~CSerialComm() override;
    CSerialComm(const CSerialComm&) = delete;
    CSerialComm& operator=(const CSerialComm&) = delete;

    bool Setup(Receiver receiver, uint32_t bufferSize) override;
    bool Open() override;
    int Write(const char* bytes, int count) override;
    void Purge() override;
    void Close() override;
    bool IsOpen() const override;
    PortOpenError OpenError() const override { return openError_; }
    std::string OpenErrorText() const override { return openErrorText_; }

    // How many times the device vanished while open.
    int LostCount() const { return lostCount_; }
    // How many times reading rested while bytes streamed in.
    int Rests() const { return rests_; }

private:
    void OnReadyRead();
    void RestIfStreaming(qint64 runBytes);

    std::unique_ptr<QSerialPort> port_;
    Receiver receiver_;
    uint32_t bufferSize_ = 0;
    bool open_ = false;
    bool inReadyRead_ = false;
    int lostCount_ = 0;
    int rests_ = 0;
    QElapsedTimer lastRead_;
    PortOpenError openError_ = PortOpenError::None;
    std::string openErrorText_;
};
