#include "link/SerialComm.h"

#include <QPointer>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

// While a data block streams in, reading the bytes as they come would wake the program a hundred
// times a second or more for a few bytes each (an adapter hands them on every few
// milliseconds). Once a read follows the one before within kStreamGapMs, the port's read
// notifications rest for kReadRestMs: the bytes wait in the driver (its 4 KB buffer holds
// four seconds of the line at 9600 baud; a rest gathers about 480 bytes) and the next read takes
// them all. A run of kRestBelowBytes or more means the bytes come faster than a rest can hold
// safely (a line far above 9600 baud, a program on a pseudo-terminal): then nothing rests. A lone
// reply after a quiet line is read at once. The protocol's own waits are a second and more.
constexpr qint64 kStreamGapMs = 50;
constexpr int kReadRestMs = 500;
constexpr qint64 kRestBelowBytes = 2048;

// QSerialPort watches its descriptor with a notifier of its own; resting means switching that
// one off for a while. Null where the port has none (another platform): then nothing rests.
QSocketNotifier* ReadNotifier(QSerialPort& port) {
    for (QSocketNotifier* n : port.findChildren<QSocketNotifier*>())
        if (n->type() == QSocketNotifier::Read)
            return n;
    return nullptr;
}

QSerialPort::Parity ToParity(uint8_t p) {
    switch (p) {
    case 1:
        return QSerialPort::OddParity;
    case 2:
        return QSerialPort::EvenParity;
    case 3:
        return QSerialPort::MarkParity;
    case 4:
        return QSerialPort::SpaceParity;
    default:
        return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits ToStopBits(uint8_t s) {
    switch (s) {
    case 1:
        return QSerialPort::OneAndHalfStop;
    case 2:
        return QSerialPort::TwoStop;
    default:
        return QSerialPort::OneStop;
    }
}

QSerialPort::DataBits ToDataBits(uint8_t b) {
    switch (b) {
    case 5:
        return QSerialPort::Data5;
    case 6:
        return QSerialPort::Data6;
    case 7:
        return QSerialPort::Data7;
    default:
        return QSerialPort::Data8;
    }
}

PortOpenError ToOpenError(QSerialPort::SerialPortError e) {
    switch (e) {
    case QSerialPort::NoError:
        return PortOpenError::None;
    case QSerialPort::DeviceNotFoundError:
        return PortOpenError::NotFound;
    case QSerialPort::PermissionError:
        return PortOpenError::Permission;
    case QSerialPort::OpenError:
        return PortOpenError::Busy;
    default:
        return PortOpenError::Other;
    }
}

bool MayReadWrite(const std::string& path) {
#ifdef Q_OS_UNIX
    return ::access(path.c_str(), R_OK | W_OK) == 0;
#else
    (void)path;
    return false;
#endif
}

} // namespace

CSerialComm::CSerialComm() = default;

CSerialComm::~CSerialComm() {
    Close();
}

bool CSerialComm::Setup(Receiver receiver, uint32_t bufferSize) {
    Close();
    receiver_ = std::move(receiver);
    bufferSize_ = bufferSize;
    return true;
}

bool CSerialComm::Open() {
    Close();
    openError_ = PortOpenError::None;
    openErrorText_.clear();
    if (!receiver_) {
        openError_ = PortOpenError::Other;
        openErrorText_ = "no receiver set";
        return false;
    }
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(QString::fromLocal8Bit(PortName.c_str()));
    port->setReadBufferSize(0); // QSerialPort keeps what arrives; we drain it on every signal
    // A device opened here is opened exclusively, as the analyzer link needs.
    if (!port->open(QIODevice::ReadWrite)) {
        // QSerialPort reports a missing device as a permission problem when the path exists
        // but cannot be opened, and as "not found" otherwise.
        openError_ = ToOpenError(port->error());
        openErrorText_ = port->errorString().toStdString();
        // QSerialPort says "permission" also for a port that another program holds (its lock
        // file, or the exclusive flag of the device). When this user may read and write the
        // device node, it is not a permission problem: the port is busy.
        if (openError_ == PortOpenError::Permission && MayReadWrite(PortName))
            openError_ = PortOpenError::Busy;
        return false;
    }
    // Purge before the settings, as the driver's queues may hold bytes from an earlier user.
    port->clear(QSerialPort::AllDirections);
    const bool xonxoff = (FlowSetting & 3u) != 0;
    const bool ok = port->setBaudRate(static_cast<qint32>(BaudRate)) &&
                    port->setDataBits(ToDataBits(ByteSize)) && port->setParity(ToParity(Parity)) &&
                    port->setStopBits(ToStopBits(StopBits)) &&
                    (!xonxoff || port->setFlowControl(QSerialPort::SoftwareControl));
    if (!ok) {
        openError_ = ToOpenError(port->error());
        if (openError_ == PortOpenError::None)
            openError_ = PortOpenError::Other;
        openErrorText_ = port->errorString().toStdString();
        port->close();
        return false;
    }
    QObject::connect(port.get(), &QSerialPort::readyRead, port.get(), [this]() { OnReadyRead(); });
    // The adapter pulled out while open: the device is gone, so is the port. Closed here, the
    // caller sees a port that is simply not open any more.
    QObject::connect(port.get(), &QSerialPort::errorOccurred, port.get(),
                     [this](QSerialPort::SerialPortError e) {
                         if (e != QSerialPort::ResourceError || !open_)
                             return;
                         const bool was = inReadyRead_;
                         inReadyRead_ = true; // closing from inside the port's own signal
                         Close();
                         inReadyRead_ = was;
                         ++lostCount_;
                     });
    port_ = std::move(port);
    open_ = true;
    return true;
}

void CSerialComm::OnReadyRead() {
    // A receiver that shows a message box runs a nested event loop; bytes arriving meanwhile
    // wait in QSerialPort until this loop takes them, so their order is kept.
    if (inReadyRead_)
        return;
    inReadyRead_ = true;
    // Bytes are handed on one at a time; the receiver may close the port on any of them, and
    // from then on nothing more is handed on.
    qint64 run = 0;
    while (open_ && port_ && port_->bytesAvailable() > 0) {
        char buf[4096];
        const qint64 n = port_->read(buf, sizeof buf);
        if (n <= 0)
            break;
        run += n;
        const bool dropNul = (FlowSetting & 4u) != 0;
        for (qint64 i = 0; i < n && open_; ++i) {
            char c = buf[i];
            if (c == '\0') {
                if (dropNul)
                    continue;
                c = ' '; // the receive routine keeps text in strings
            }
            receiver_(c);
        }
    }
    inReadyRead_ = false;
    if (open_ && port_)
        RestIfStreaming(run);
}

void CSerialComm::RestIfStreaming(qint64 runBytes) {
    const bool streaming = lastRead_.isValid() && lastRead_.elapsed() <= kReadRestMs + kStreamGapMs;
    lastRead_.start();
    if (!streaming || runBytes >= kRestBelowBytes)
        return;
    QPointer<QSocketNotifier> notifier = ReadNotifier(*port_);
    if (!notifier || !notifier->isEnabled())
        return;
    notifier->setEnabled(false);
    ++rests_;
    // The port owns the timer: closing the port ends the rest with it.
    QTimer::singleShot(kReadRestMs, port_.get(), [notifier]() {
        if (notifier)
            notifier->setEnabled(true);
    });
}

int CSerialComm::Write(const char* bytes, int count) {
    if (!open_ || !port_ || count <= 0)
        return 0;
    const qint64 n = port_->write(bytes, count);
    if (n < 0) {
        port_->clearError();
        return 0;
    }
    port_->flush(); // hand it to the driver now, not at the next event-loop turn
    return static_cast<int>(n);
}

void CSerialComm::Purge() {
    if (open_ && port_)
        port_->clear(QSerialPort::AllDirections);
}

void CSerialComm::Close() {
    if (!port_) {
        open_ = false;
        return;
    }
    open_ = false;
    port_->disconnect();
    port_->clear(QSerialPort::AllDirections);
    port_->close();
    if (inReadyRead_)
        port_.release()->deleteLater(); // closed from inside its own readyRead handler
    else
        port_.reset();
}

bool CSerialComm::IsOpen() const {
    return open_;
}

std::string OpenFailureAdvice(PortOpenError error, const std::string& portName) {
    switch (error) {
    case PortOpenError::Permission:
#ifdef Q_OS_WIN
        return "You are not allowed to use " + portName + ". Ask your administrator.";
#else
        return "You are not allowed to use " + portName +
               ". Add your user to the \"dialout\" group (sudo usermod -aG dialout $USER), "
               "then log out and log in again.";
#endif
    case PortOpenError::Busy:
        return portName + " is in use by another program. Close that program and try again.";
    default:
        return std::string();
    }
}
