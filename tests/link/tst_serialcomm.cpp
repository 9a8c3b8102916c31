// The serial port on a pseudo-terminal: bytes in order, NUL as a blank, nothing after close.

#include "link/SerialComm.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QtTest>
#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct Pty {
    Pty() {
        termios raw{};
        cfmakeraw(&raw);
        char name[256] = {};
        ok = openpty(&master, &slave, name, &raw, nullptr) == 0;
        path = name;
        if (ok)
            ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~Pty() {
        if (ok) {
            ::close(master);
            ::close(slave);
        }
    }
    void Send(const std::string& bytes) {
        QVERIFY(::write(master, bytes.data(), bytes.size()) == ssize_t(bytes.size()));
    }
    std::string Read() {
        std::string out;
        char buf[256];
        ssize_t n;
        while ((n = ::read(master, buf, sizeof buf)) > 0)
            out.append(buf, size_t(n));
        return out;
    }
    int master = -1, slave = -1;
    bool ok = false;
    std::string path;
};

// Processes events until the condition holds or a second has passed.
template <typename F> bool Wait(F done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 1000) {
        QCoreApplication::processEvents();
        QThread::usleep(200);
    }
    return done();
}

} // namespace

class TestSerialComm : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void bytesArriveInOrderWithNulAsBlank();
    void nothingAfterClose();
    void streamIsReadInFewRuns();
    void closingInsideTheReceiverStopsDelivery();
    void openFailures_data();
    void openFailures();
    void writesAndClosedWrites();
    void portHeldByAnotherOpenIsBusy();
    void failureAdvice_data();
    void failureAdvice();
};

void TestSerialComm::bytesArriveInOrderWithNulAsBlank() {
    Pty pty;
    QVERIFY(pty.ok);
    CSerialComm port;
    std::string got;
    port.PortName = pty.path;
    QVERIFY(port.Setup([&](char c) { got.push_back(c); }, 1000000));
    QVERIFY(port.Open());
    std::string sent;
    for (int i = 0; i < 3000; ++i)
        sent.push_back(static_cast<char>(i % 251));
    pty.Send(sent);
    QVERIFY(Wait([&]() { return got.size() == sent.size(); }));
    std::string expected = sent;
    for (char& c : expected)
        if (c == '\0')
            c = ' ';
    QCOMPARE(got, expected);
}

void TestSerialComm::nothingAfterClose() {
    Pty pty;
    CSerialComm port;
    int count = 0;
    port.PortName = pty.path;
    port.Setup([&](char) { ++count; }, 1000000);
    QVERIFY(port.Open());
    pty.Send("abc");
    QVERIFY(Wait([&]() { return count == 3; }));
    pty.Send("defgh");
    port.Close(); // bytes still in the driver are dropped
    QVERIFY(!port.IsOpen());
    QTest::qWait(50);
    QCOMPARE(count, 3);
}

// A data block arrives a few bytes every few milliseconds: the port takes it in a few runs a
// second, every byte in order; a port closed while resting opens again and reads at once.
void TestSerialComm::streamIsReadInFewRuns() {
    Pty pty;
    QVERIFY(pty.ok);
    CSerialComm port;
    std::string got;
    port.PortName = pty.path;
    port.Setup([&](char c) { got.push_back(c); }, 1000000);
    QVERIFY(port.Open());
    std::string sent;
    int runs = 0;
    QElapsedTimer t;
    t.start();
    for (int chunk = 0; chunk < 200; ++chunk) {
        const std::string bytes = "R" + std::to_string(chunk) + ",";
        pty.Send(bytes);
        sent += bytes;
        const size_t before = got.size();
        QCoreApplication::processEvents();
        if (got.size() != before)
            ++runs;
        QThread::usleep(5000);
    }
    QVERIFY(Wait([&]() { return got.size() == sent.size(); }));
    QCOMPARE(got, sent);
    QVERIFY(port.Rests() > 0);
    // At one run per arrival there would be about 200; resting 500 ms between runs leaves one
    // run for every 500 ms or so that the sending took (allowed: twice that).
    QVERIFY2(runs <= 2 + int(t.elapsed() / 250), qPrintable(QString::number(runs)));

    port.Close();
    QVERIFY(port.Open());
    got.clear();
    pty.Send("HC");
    QVERIFY(Wait([&]() { return got == "HC"; }));
}

void TestSerialComm::closingInsideTheReceiverStopsDelivery() {
    Pty pty;
    CSerialComm port;
    std::string got;
    port.PortName = pty.path;
    port.Setup(
        [&](char c) {
            got.push_back(c);
            if (c == '!')
                port.Close();
        },
        1000000);
    QVERIFY(port.Open());
    pty.Send("ab!cd");
    QVERIFY(Wait([&]() { return !port.IsOpen(); }));
    QTest::qWait(20);
    QCOMPARE(got, std::string("ab!"));
}

void TestSerialComm::openFailures_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("error");
    QTest::newRow("missing device") << "/nonexistent/ttyUSB9" << int(PortOpenError::NotFound);
}

void TestSerialComm::openFailures() {
    QFETCH(QString, path);
    QFETCH(int, error);
    CSerialComm port;
    port.PortName = path.toStdString();
    port.Setup([](char) {}, 1000000);
    QVERIFY(!port.Open());
    QVERIFY(!port.IsOpen());
    QCOMPARE(int(port.OpenError()), error);
    QCOMPARE(port.Write("x", 1), 0);

    CSerialComm noReceiver;
    noReceiver.PortName = path.toStdString();
    QVERIFY(!noReceiver.Open());
}

void TestSerialComm::writesAndClosedWrites() {
    Pty pty;
    CSerialComm port;
    port.PortName = pty.path;
    QCOMPARE(port.Write("S", 1), 0); // never opened
    port.Setup([](char) {}, 1000000);
    QVERIFY(port.Open());
    QCOMPARE(port.Write("S", 1), 1);
    QCOMPARE(port.Write("T", 1), 1);
    QCOMPARE(port.Write("\x03", 1), 1);
    std::string got;
    QVERIFY(Wait([&]() {
        got += pty.Read();
        return got.size() == 3;
    }));
    QCOMPARE(got, std::string("ST\x03"));
    port.Close();
    QCOMPARE(port.Write("S", 1), 0);
    QTest::qWait(20);
    QVERIFY(pty.Read().empty());
}

void TestSerialComm::portHeldByAnotherOpenIsBusy() {
    // Another program holds the port: that is not a permission problem, and the user is not
    // sent to the "dialout" group for it.
    Pty pty;
    QVERIFY(pty.ok);
    CSerialComm first;
    first.PortName = pty.path;
    first.Setup([](char) {}, 1000);
    QVERIFY(first.Open());
    CSerialComm second;
    second.PortName = pty.path;
    second.Setup([](char) {}, 1000);
    QVERIFY(!second.Open());
    QVERIFY(!second.IsOpen());
    QCOMPARE(int(second.OpenError()), int(PortOpenError::Busy));
    const std::string advice = OpenFailureAdvice(second.OpenError(), second.PortName);
    QVERIFY2(advice.find("in use by another program") != std::string::npos, advice.c_str());
    QVERIFY(advice.find("dialout") == std::string::npos);
    // Once the first lets go, the port opens.
    first.Close();
    QVERIFY(second.Open());
}

void TestSerialComm::failureAdvice_data() {
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("contains");
    QTest::newRow("permission") << int(PortOpenError::Permission) << "dialout";
    QTest::newRow("busy") << int(PortOpenError::Busy) << "in use by another program";
    QTest::newRow("not found") << int(PortOpenError::NotFound) << "";
    QTest::newRow("other") << int(PortOpenError::Other) << "";
}

void TestSerialComm::failureAdvice() {
    QFETCH(int, error);
    QFETCH(QString, contains);
    const std::string advice = OpenFailureAdvice(PortOpenError(error), "/dev/ttyUSB0");
    if (contains.isEmpty()) {
        QVERIFY(advice.empty());
    } else {
        QVERIFY(advice.find(contains.toStdString()) != std::string::npos);
        QVERIFY(advice.find("/dev/ttyUSB0") != std::string::npos);
    }
}

QTEST_GUILESS_MAIN(TestSerialComm)
#include "tst_serialcomm.moc"
