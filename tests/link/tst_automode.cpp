// Automatic mode: the step machine on timer 10 against the simulated analyzer, on the real
// serial port, in simulated time.

#include "LinkRig.h"

#include <QtTest>

namespace {

SimOptions OneResult() {
    SimOptions o;
    o.records = GenerateRecords(1, 0);
    return o;
}

void StartAuto(LinkRig& rig) {
    rig.frame.active = 1; // from the home view
    rig.enumerated = {LinkRig::Adapter(rig.sim.SlavePath())};
    rig.controller->StartAutomatic();
    rig.settled &= rig.Settle();
}

int Index(const std::vector<std::string>& list, const std::string& text) {
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i] == text)
            return static_cast<int>(i);
    return -1;
}

// Times at which the ETX of each command with these letters was handed to the port.
std::vector<int64_t> CommandTimes(const std::vector<FakeAnalyzer::Rx>& bytes,
                                  const std::string& letters) {
    std::vector<int64_t> out;
    std::string pending;
    for (const FakeAnalyzer::Rx& rx : bytes) {
        if (rx.byte == '\x03') {
            if (pending.size() >= 2 && pending.substr(pending.size() - 2) == letters)
                out.push_back(rx.at);
            pending.clear();
        } else {
            pending += rx.byte;
        }
    }
    return out;
}

} // namespace

class TestAutoMode : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void oneCycleStoresOneResult_data();
    void oneCycleStoresOneResult();
    void sixTimeoutsMoveToTheNextAdapter();
    void noMeasurementWithin400sStartsOver();
    void measurementRightAfterTheReplyIsKept_data();
    void measurementRightAfterTheReplyIsKept();
    void measurementFinishedDuringTransferAsksAgain();
    void failedTransferIsRequestedAgain_data();
    void failedTransferIsRequestedAgain();
    void unpluggedAdapterRestartsTheSearch();
    void leavingEarlyForManualMode();
};

void TestAutoMode::oneCycleStoresOneResult_data() {
    QTest::addColumn<bool>("noisy");
    QTest::addColumn<bool>("closeEarly");
    QTest::newRow("plain") << false << false;
    QTest::newRow("letters around H and C") << true << false;
    QTest::newRow("status dialog closed early") << false << true;
}

void TestAutoMode::oneCycleStoresOneResult() {
    QFETCH(bool, noisy);
    QFETCH(bool, closeEarly);
    SimOptions o = OneResult();
    o.noisyHandshake = noisy;
    LinkRig rig(o);
    StartAuto(rig);
    const AcquisitionState& s = rig.controller->State();
    QCOMPARE(rig.frame.shown, std::vector<int>({2})); // 30 shows the download view
    auto closeIfAsked = [&]() {
        if (closeEarly && s.AutoStep <= kStepTransfer)
            rig.controller->AcknowledgePrompt(SessionPrompt::Status); // the next text reopens it
        return false;
    };
    QVERIFY(rig.RunUntil([&]() { return closeIfAsked() || s.AutoStep == kStepAwaitMeasurement; },
                         60000));
    QCOMPARE(s.HandshakeCount, 1);
    QCOMPARE(s.ReplyFilter, kFilterMeasurement);
    QVERIFY(rig.Showed(LinkText::kAwaiting));
    rig.sim.SendRaw("SF");
    QVERIFY(rig.RunUntil([&]() { return closeIfAsked() || s.AutoStep == kStepRemoveCartridge; },
                         60000));
    QVERIFY(rig.Settle());
    rig.Run(3000);

    // Stored once in both tables; 37 and 53 each sent the end command twice, 54 closed the
    // port, 500 filled the list, 35 moved the sequencer on.
    QCOMPARE(rig.Rows(rig.db->ResultTable), 1);
    QCOMPARE(rig.Rows(rig.db->DownloadTable), 1);
    QCOMPARE(rig.Commands(), std::string("HC SC SE SE SE SE "));
    QVERIFY(!rig.serial.IsOpen());
    QCOMPARE(rig.storedNotices, std::vector<int>({1}));
    QCOMPARE(s.AutoStep, kStepRemoveCartridge);
    QCOMPARE(rig.frame.panes[3], std::string("automatic"));
    QCOMPARE(rig.frame.panes[4], std::string("SEQ : 110"));

    // The prompts wait for the user to close the status dialog, in order. Only the answer on
    // the session moves them on: a box hidden some other way is no answer.
    auto answer = [&](SessionPrompt prompt) {
        QCOMPARE(rig.controller->PendingPrompt(), prompt);
        rig.controller->AcknowledgePrompt(prompt);
    };
    QVERIFY(rig.processDlg.IsVisible());
    rig.processDlg.Hide();
    rig.Run(3000);
    QCOMPARE(s.AutoStep, kStepRemoveCartridge);
    answer(SessionPrompt::Status);
    rig.Run(1000);
    QCOMPARE(rig.processDlg.Text(), std::string(LinkText::kRemoveCartridge));
    QVERIFY(rig.processDlg.IsVisible());
    rig.Run(3000);
    QCOMPARE(s.AutoStep, kStepCartridgeRemoved); // still waiting
    answer(SessionPrompt::Status);
    rig.Run(1000);
    QCOMPARE(rig.processDlg.Text(), std::string(LinkText::kCartridgeRemoved));
    answer(SessionPrompt::Status);
    QVERIFY(!rig.processDlg.IsVisible());
    rig.Run(2000);
    QVERIFY(rig.checkingDlg.IsVisible());
    QCOMPARE(rig.checkingDlg.Text(), std::string(LinkText::kAutoTerminated));
    QCOMPARE(rig.checkingDlg.Answer(), 0);
    answer(SessionPrompt::Termination);
    QCOMPARE(rig.checkingDlg.Answer(), 1);
    QVERIFY(!rig.checkingDlg.IsVisible());
    rig.Run(1000);
    QCOMPARE(rig.controller->PendingPrompt(), SessionPrompt::None);
    QCOMPARE(s.AutoStep, kStepStopped);
    QCOMPARE(s.AutoMode, 0);
    QCOMPARE(s.LinkPhase, kPhaseManual);
    const int removeAt = Index(rig.statuses, LinkText::kRemoveCartridge);
    QVERIFY(removeAt > Index(rig.statuses, kCompleteText));
    QVERIFY(Index(rig.statuses, LinkText::kCartridgeRemoved) > removeAt);
}

void TestAutoMode::sixTimeoutsMoveToTheNextAdapter() {
    SimOptions silent;
    silent.silent = true;
    LinkRig rig(silent);
    FakeAnalyzer second(silent, rig.serial, rig.clock, "/dev/ttyFAKE1");
    rig.enumerated = {LinkRig::Adapter(rig.sim.SlavePath()), LinkRig::Adapter(second.SlavePath())};
    rig.controller->StartAutomatic();
    rig.settled &= rig.Settle();
    const AcquisitionState& s = rig.controller->State();

    std::vector<int> counts;
    QVERIFY(rig.RunUntil(
        [&]() {
            if (counts.empty() || counts.back() != s.HandshakeCount)
                counts.push_back(s.HandshakeCount);
            return !second.Commands().empty();
        },
        180000));
    QCOMPARE(counts, (std::vector<int>{0, 1, 2, 3, 4, 5, 0}));
    QCOMPARE(rig.sim.Commands().size(), size_t(6)); // six handshakes on the first adapter
    QCOMPARE(second.Commands(), std::vector<std::string>{"HC"});
    QCOMPARE(rig.serial.PortName, second.SlavePath());
    QCOMPARE(s.ScanPortCount, 2);
    QCOMPARE(s.ScanPortIndex, 0); // wrapped after the second adapter
}

void TestAutoMode::measurementRightAfterTheReplyIsKept_data() {
    QTest::addColumn<int>("sfAfterMs");
    QTest::addColumn<bool>("noisy");
    QTest::newRow("same read") << 0 << false;
    QTest::newRow("50 ms") << 50 << false;
    QTest::newRow("200 ms") << 200 << false;
    QTest::newRow("200 ms, noisy reply") << 200 << true;
    QTest::newRow("after the step saw the reply") << 3000 << false;
}

void TestAutoMode::measurementRightAfterTheReplyIsKept() {
    QFETCH(int, sfAfterMs);
    QFETCH(bool, noisy);
    SimOptions o = OneResult();
    o.measureAfterMs = sfAfterMs;
    o.noisyHandshake = noisy;
    LinkRig rig(o);
    StartAuto(rig);
    const AcquisitionState& s = rig.controller->State();
    // Well inside the 400 s wait: the notice is taken as it comes.
    QVERIFY(rig.RunUntil([&]() { return s.AutoStep == kStepRemoveCartridge; }, 60000));
    QCOMPARE(rig.Rows(rig.db->ResultTable), 1);
    QCOMPARE(rig.Commands().substr(0, 6), std::string("HC SC "));
}

void TestAutoMode::noMeasurementWithin400sStartsOver() {
    LinkRig rig(OneResult());
    StartAuto(rig);
    const AcquisitionState& s = rig.controller->State();
    QVERIFY(rig.RunUntil([&]() { return s.AutoStep == kStepAwaitMeasurement; }, 60000));
    rig.statuses.clear();
    rig.Run(390000);
    QCOMPARE(s.AutoStep, kStepAwaitMeasurement); // still waiting
    QVERIFY(rig.RunUntil([&]() { return s.AutoStep != kStepAwaitMeasurement; }, 15000));
    QVERIFY(rig.RunUntil([&]() { return rig.Showed(LinkText::kWaiting); }, 5000));
    // The search goes on: the port is still open, so the same adapter is checked again.
    QVERIFY(rig.RunUntil([&]() { return s.AutoStep == kStepAwaitMeasurement; }, 60000));
    QCOMPARE(rig.Commands(), std::string("HC HC "));
}

void TestAutoMode::measurementFinishedDuringTransferAsksAgain() {
    SimOptions o = OneResult();
    o.sfDuringTransfer = true;
    LinkRig rig(o);
    StartAuto(rig);
    const AcquisitionState& s = rig.controller->State();
    QVERIFY(rig.RunUntil([&]() { return s.AutoStep == kStepAwaitMeasurement; }, 60000));
    rig.sim.SendRaw("SF");
    std::vector<int> steps;
    QVERIFY(rig.RunUntil(
        [&]() {
            if (steps.empty() || steps.back() != s.AutoStep)
                steps.push_back(s.AutoStep);
            return s.AutoStep == kStepRemoveCartridge;
        },
        60000));
    QVERIFY(std::find(steps.begin(), steps.end(), 27) != steps.end());
    const std::vector<int64_t> requests = CommandTimes(rig.writes, "SC");
    QCOMPARE(requests.size(), size_t(2));
    QVERIFY2(requests[1] - requests[0] >= 3500,
             qPrintable(QString::number(requests[1] - requests[0])));
    QCOMPARE(rig.Rows(rig.db->ResultTable), 1);
}

void TestAutoMode::failedTransferIsRequestedAgain_data() {
    QTest::addColumn<bool>("badRecord");
    QTest::newRow("broken terminator") << true;
    QTest::newRow("no reply to the request") << false;
}

void TestAutoMode::failedTransferIsRequestedAgain() {
    QFETCH(bool, badRecord);
    SimOptions o = OneResult();
    o.badTerminator = badRecord;
    LinkRig rig(o);
    StartAuto(rig);
    const AcquisitionState& s = rig.controller->State();
    QVERIFY(rig.RunUntil([&]() { return s.AutoStep == kStepAwaitMeasurement; }, 60000));
    rig.sim.Options().silent = !badRecord;
    rig.statuses.clear();
    rig.sim.SendRaw("SF");
    // Two more requests for the same result, then back to checking the link and waiting.
    QVERIFY(rig.RunUntil([&]() { return rig.Showed(LinkText::kWaiting); }, 120000));
    QCOMPARE(CommandTimes(rig.writes, "SC").size(), size_t(3));
    int crcMessages = 0;
    for (const auto& m : rig.prompt.messages)
        crcMessages += m.text == kCrcFailText;
    QCOMPARE(crcMessages, badRecord ? 3 : 0);
    QCOMPARE(rig.Rows(rig.db->ResultTable), 0);
    QCOMPARE(s.LinkPhase, kPhaseAutoWaiting);
    QVERIFY(s.AutoStep != kStepTransfer);
}

void TestAutoMode::unpluggedAdapterRestartsTheSearch() {
    LinkRig rig(OneResult());
    StartAuto(rig);
    const AcquisitionState& s = rig.controller->State();
    QVERIFY(rig.RunUntil([&]() { return s.AutoStep == kStepAwaitMeasurement; }, 60000));
    QVERIFY(rig.serial.IsOpen());
    rig.statuses.clear();
    rig.sim.Vanish();
    rig.enumerated.clear();
    QVERIFY(rig.Settle());
    QVERIFY(!rig.serial.IsOpen()); // the vanished device closed the port
    QCOMPARE(rig.serial.LostCount(), 1);
    // The presence check (every 15 s) notices and sends 32: the search restarts at 6.
    QVERIFY(rig.RunUntil([&]() { return rig.Showed(LinkText::kWaiting); }, 20000));
    rig.Run(20000);
    QVERIFY(s.AutoStep == kStepRescan || s.AutoStep == kStepScanWait ||
            s.AutoStep == kStepFirstOpen); // searching, no crash
    QVERIFY(!rig.ports.AdapterFound());
    QVERIFY(!rig.serial.IsOpen());
}

void TestAutoMode::leavingEarlyForManualMode() {
    LinkRig rig(OneResult());
    rig.chooser.cancel = true;
    StartAuto(rig);
    const AcquisitionState& s = rig.controller->State();
    QVERIFY(rig.RunUntil([&]() { return s.AutoStep == kStepAwaitMeasurement; }, 60000));
    // The download view's mode switch.
    rig.controller->SwitchToManual();
    rig.settled &= rig.Settle();
    QVERIFY(!rig.controller->TimerRunning(kTimerAuto));
    QCOMPARE(s.AutoStep, kStepStopped);
    QCOMPARE(s.LinkPhase, kPhaseManual);
    QCOMPARE(rig.chooser.runs, 1);
    QCOMPARE(rig.frame.panes[3], std::string("manual"));
    rig.Run(5000);
    QCOMPARE(s.AutoStep, kStepStopped);
}

QTEST_GUILESS_MAIN(TestAutoMode)
#include "tst_automode.moc"
