// The download path at the real line rate and under faults, on a fake port in simulated time:
// large blocks at 9600 baud, waits of automatic mode measured from the last byte on the line,
// and a store held up by another program while the window closes.

#include "LinkRig.h"
#include "LockWatch.h"

#include <QElapsedTimer>
#include <QtTest>
#include <sqlite3.h>

namespace {

constexpr int kLineRate = 960; // bytes per second at 9600 baud, 8-N-1

SimOptions AtLineRate(int records, long stallAfter = -1) {
    SimOptions o;
    o.records = GenerateRecords(records, 0);
    o.baud = 9600;
    o.stallAfter = stallAfter;
    return o;
}

// As the download view starts it: the port scan (the analyzer's port is the adapter), then the
// manual download with Yes.
void StartManual(LinkRig& rig) {
    rig.enumerated = {LinkRig::Adapter(rig.sim.SlavePath())};
    rig.prompt.answers = {true};
    rig.controller->StartManual();
    rig.Settle();
}

int Count(const std::vector<std::string>& v, const std::string& what) {
    return static_cast<int>(std::count(v.begin(), v.end(), what));
}

// When the last byte (ETX) of each command reached the analyzer.
std::vector<int64_t> CommandEnds(const LinkRig& rig) {
    std::vector<int64_t> out;
    for (const FakeAnalyzer::Rx& b : rig.sim.Received())
        if (b.byte == '\x03')
            out.push_back(b.at);
    return out;
}

// When the first byte of command n (0-based) reached the analyzer.
int64_t CommandStart(const LinkRig& rig, size_t n) {
    size_t seen = 0;
    bool atStart = true;
    for (const FakeAnalyzer::Rx& b : rig.sim.Received()) {
        if (atStart && seen == n)
            return b.at;
        atStart = b.byte == '\x03';
        if (atStart)
            ++seen;
    }
    return -1;
}

} // namespace

class TestLinkFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void largeBlockAtLineRateCompletes_data();
    void largeBlockAtLineRateCompletes();
    void deadLineIsStillCaughtByTheStallCheck();
    void automaticWaitsCountFromTheLastByte_data();
    void automaticWaitsCountFromTheLastByte();
    void closingDuringAHeldStoreDoesNotWait();
};

void TestLinkFaults::largeBlockAtLineRateCompletes_data() {
    QTest::addColumn<int>("records");
    QTest::newRow("4500 records, 202 s on the line") << 4500;
    QTest::newRow("9999 records, 448 s on the line") << 9999;
}

void TestLinkFaults::largeBlockAtLineRateCompletes() {
    QFETCH(int, records);
    LinkRig rig(AtLineRate(records));
    StartManual(rig);
    const int64_t lineMs = (8 + 43LL * records) * 1000 / kLineRate;
    QVERIFY(rig.RunUntil([&]() { return rig.sim.Commands().size() >= 3; }, 20000));
    QVERIFY(rig.RunUntil([&]() { return rig.controller->IsIdle(); }, lineMs + 30000));

    // One request, one block, every record stored once in both tables.
    QCOMPARE(rig.Commands(), std::string("ST ST SH SE SE "));
    QCOMPARE(rig.Rows(rig.db->ResultTable), records);
    QCOMPARE(rig.Rows(rig.db->DownloadTable), records);
    QCOMPARE(rig.storedNotices, std::vector<int>({records}));
    QCOMPARE(rig.controller->State().DownloadAttempts, 1);
    for (const std::string& s : rig.statuses)
        QVERIFY2(s.rfind("Error count", 0) != 0, s.c_str());
    QVERIFY(rig.controller->State().GiveUpTimeout >= 2.0 * static_cast<double>(lineMs));
}

void TestLinkFaults::deadLineIsStillCaughtByTheStallCheck() {
    // The raised limits of a large block do not hide a dead line: no new byte for 90 s and five
    // ticks, and the download is asked for again.
    LinkRig rig(AtLineRate(9999, 20000));
    StartManual(rig);
    QVERIFY(rig.RunUntil([&]() { return rig.sim.Commands().size() >= 3; }, 20000));
    const int64_t requested = rig.clock.NowMs();
    const int64_t stalledAt = requested + 20000 * 1000 / kLineRate;
    QVERIFY(rig.RunUntil([&]() { return Count(rig.sim.Commands(), "SH") == 2; }, 200000));
    const int64_t retried = rig.clock.NowMs();
    QVERIFY2(retried - stalledAt < 110000, std::to_string(retried - stalledAt).c_str());
    QVERIFY(std::find(rig.statuses.begin(), rig.statuses.end(), "Error count : 5") !=
            rig.statuses.end());
    QCOMPARE(rig.Rows(rig.db->ResultTable), 0);
}

void TestLinkFaults::automaticWaitsCountFromTheLastByte_data() {
    QTest::addColumn<int>("replyAfterMs"); // -1: the analyzer stays silent
    QTest::newRow("analyzer answers 6.5 s after the last byte") << 6500;
    QTest::newRow("analyzer silent") << -1;
}

void TestLinkFaults::automaticWaitsCountFromTheLastByte() {
    QFETCH(int, replyAfterMs);
    SimOptions silent;
    silent.silent = true; // the analyzer's reply comes from the test
    LinkRig rig(silent);
    rig.enumerated = {LinkRig::Adapter(rig.sim.SlavePath())};
    rig.sim.OnCommand = [&](const std::string& cmd) {
        if (cmd == "HC" && replyAfterMs >= 0)
            rig.clock.CallAfter(replyAfterMs, [&]() { rig.sim.SendRaw("HC"); });
    };
    std::vector<int64_t> opens;
    rig.serial.OnOpen = [&]() { opens.push_back(rig.clock.NowMs()); };
    const AcquisitionState& s = rig.controller->State();
    rig.controller->StartAutomatic();
    rig.Settle();

    // The port is opened; step 10's 1,500 ms count from the end of the 800-ms open pause.
    QVERIFY(rig.RunUntil([&]() { return !opens.empty(); }, 20000));
    const int64_t opened = opens.front();
    QVERIFY(rig.RunUntil([&]() { return rig.controller->Writes().Idle(); }, 5000, 10));
    QCOMPARE(s.AutoStep, int(kStepPrepare));
    QCOMPARE(s.StepTime, opened + 800);
    QVERIFY(rig.RunUntil([&]() { return rig.sim.Commands().size() >= 1; }, 20000));
    QVERIFY(CommandStart(rig, 0) - opened >= 800 + 1500);

    if (replyAfterMs >= 0) {
        // The 7-s handshake time-out runs from the last byte of "HC": a reply 6.5 s after it
        // is taken.
        QVERIFY(rig.RunUntil([&]() { return s.AutoStep == kStepAwaitMeasurement; }, 20000));
        QCOMPARE(s.HandshakeCount, 1);
        QCOMPARE(rig.Commands(), std::string("HC "));
    } else {
        QVERIFY(rig.RunUntil([&]() { return rig.sim.Commands().size() >= 2; }, 30000));
        const int64_t lastByte = CommandEnds(rig).at(0);
        // Time-out 7 s after the last byte, then step 10's 1.5 s before the next handshake.
        QVERIFY2(CommandStart(rig, 1) - lastByte >= 7000 + 1500,
                 std::to_string(CommandStart(rig, 1) - lastByte).c_str());
        QCOMPARE(s.HandshakeCount, 1);
    }
}

void TestLinkFaults::closingDuringAHeldStoreDoesNotWait() {
    LockWatch::Install(); // before the rig opens its databases
    LinkRig rig(AtLineRate(5));
    rig.db->ResultTable.SetBusyTimeout(120000);
    // Another program holds the write lock of the main database.
    sqlite3* other = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(rig.db->MainDbPath).constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

    const int refusedBefore = LockWatch::Refusals();
    StartManual(rig);
    // Up to the port's close (code 54): after it the worker goes on to store and waits.
    // (No full settle: it would wait for the worker, which is about to wait for the database.)
    const auto justEvents = []() {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::usleep(1000);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    };
    for (int i = 0; i < 600 && (rig.serial.IsOpen() || Count(rig.sim.Commands(), "SE") < 2); ++i)
        rig.clock.RunFor(100, justEvents);
    QVERIFY2(!rig.serial.IsOpen(), rig.Commands().c_str());
    rig.clock.RunFor(500, justEvents);
    // The store asked for the lock and was refused: the worker is in its wait now.
    QVERIFY(LockWatch::WaitForRefusalAfter(refusedBefore, 60000) > refusedBefore);
    QVERIFY(rig.controller->WorkerBusy());

    QElapsedTimer t;
    t.start();
    rig.controller->Shutdown();
    QVERIFY2(t.elapsed() < 5000, std::to_string(t.elapsed()).c_str());
    QVERIFY(rig.storedNotices.empty());
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    QCOMPARE(rig.Rows(rig.db->ResultTable), 0);
    QCOMPARE(rig.Rows(rig.db->DownloadTable), 0);
}

QTEST_GUILESS_MAIN(TestLinkFaults)
#include "tst_linkfaults.moc"
