// The manual download end to end: the real serial port on a pseudo-terminal, the simulated
// analyzer, the controller, the worker, the decoder and the tables, in simulated time.

#include "LinkRig.h"
#include "query/ResultQuery.h"

#include <QFile>
#include <QtTest>
#include <algorithm>
#include <set>

namespace {

std::string Field(CResultTable& t, int row, const char* column) {
    auto lock = t.Lock();
    RequeryDefault(t);
    if (!t.MoveTo(row + 1) || t.IsEOF())
        return "<none>";
    const std::string c = column;
    const HbA1cRecord& r = t.Record;
    if (c == "PID")
        return r.PID.c_str();
    if (c == "OPID")
        return r.OPID.c_str();
    if (c == "EQ_TYPE")
        return r.EQ_TYPE.c_str();
    if (c == "HbA1c_VALUE")
        return r.HbA1c_VALUE.c_str();
    return "<column>";
}

// Times (simulated ms) at which the bytes of each command were handed to the port, in order.
std::vector<std::vector<int64_t>> CommandTimes(const std::vector<FakeAnalyzer::Rx>& bytes) {
    std::vector<std::vector<int64_t>> out(1);
    for (const FakeAnalyzer::Rx& rx : bytes) {
        out.back().push_back(rx.at);
        if (rx.byte == '\x03')
            out.emplace_back();
    }
    out.pop_back();
    return out;
}

SimOptions Generated(int n) {
    SimOptions o;
    o.records = GenerateRecords(n, 0);
    return o;
}

// Starts a manual download with Yes and runs until the data request is on the line.
void StartManual(LinkRig& rig) {
    rig.prompt.answers = {true};
    rig.Command(kCmdManual);
    for (int i = 0; i < 200 && rig.sim.Commands().size() < 3; ++i)
        rig.Run(100);
    rig.Run(400); // the request's last pause, then the watchdog starts
}

void MarkAdapter(LinkRig& rig) {
    rig.ports.FullScan(ExtraPorts(rig.sim.SlavePath() + "=Prolific USB-to-Serial Comm Port"));
}

class FailingPort : public ISerialPort {
public:
    bool Setup(Receiver, uint32_t) override { return true; }
    bool Open() override { return false; }
    int Write(const char*, int) override { return 0; }
    void Purge() override {}
    void Close() override {}
    bool IsOpen() const override { return false; }
    PortOpenError OpenError() const override { return error; }
    std::string OpenErrorText() const override { return "denied"; }
    PortOpenError error = PortOpenError::Permission;
};

QByteArray Data(const QString& name) {
    QFile f(QStringLiteral(TREVANIX_TEST_DATA "/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The download list's rows, a line each: the cells tab-separated, bytes outside printable
// ASCII as \xNN.
std::string DownloadListText(LinkRig& rig) {
    std::vector<ResultRow> rows;
    if (!ReadResultRows(rig.db->DownloadTable, false, rows))
        return "unreadable";
    std::string out;
    char hex[8];
    for (size_t i = 0; i < rows.size(); ++i) {
        const ListCells cells =
            ResultCells(rows[i], static_cast<int>(i) + 1, rig.settings, ListKind::Download);
        for (size_t c = 0; c < cells.size(); ++c) {
            if (c > 0)
                out += '\t';
            for (unsigned char b : cells[c]) {
                if (b >= 0x20 && b < 0x7F && b != '\\') {
                    out += static_cast<char>(b);
                } else {
                    std::snprintf(hex, sizeof hex, "\\x%02X", b);
                    out += hex;
                }
            }
        }
        out += '\n';
    }
    return out;
}

} // namespace

class TestLink : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void manualDownloadStoresEveryRecord();
    void commandBytesAndGapsOnTheLine();
    void secondDownloadHasNothingNew();
    void emptyAnalyzerIsReportedWithoutDecoding();
    void brokenTerminatorStoresNothingAndClosesThePort();
    void downloadVariants_data();
    void downloadVariants();
    void blockCompletesAtExactLength_data();
    void blockCompletesAtExactLength();
    void watchdogGivesUp_data();
    void watchdogGivesUp();
    void largeBlocksRaiseTheLimits_data();
    void largeBlocksRaiseTheLimits();
    void cancelledPortChoiceOpensNothing();
    void openFailureIsReported();
    void permissionProblemSaysHowToFixIt();
    void answeringNoLeavesThePortOpen();
    void foreignOrUnknownCommandsChangeNothing_data();
    void foreignOrUnknownCommandsChangeNothing();
    void automaticReplies_data();
    void automaticReplies();
    void transferProgressFollowsTheRecords();
    void capturedStreamsStoreTheExpectedRows_data();
    void capturedStreamsStoreTheExpectedRows();
};

void TestLink::manualDownloadStoresEveryRecord() {
    LinkRig rig(Generated(3));
    rig.prompt.answers = {true};
    rig.Command(kCmdManual);
    QVERIFY(rig.RunUntilIdle(60000));
    QVERIFY(rig.settled);

    QCOMPARE(rig.Rows(rig.db->ResultTable), 3);
    QCOMPARE(rig.Rows(rig.db->DownloadTable), 3);
    QCOMPARE(rig.Commands(), std::string("ST ST SH SE SE "));
    QVERIFY(!rig.serial.IsOpen()); // 54 closed it
    // 500 with new rows: one notice with the download's rows, and the outcome.
    QCOMPARE(rig.storedNotices, std::vector<int>({3}));
    QCOMPARE(rig.outcomes, std::vector<DownloadOutcome>({DownloadOutcome::Stored}));
    QCOMPARE(rig.controller->LastOutcome().rows, 3);
    QCOMPARE(rig.controller->State().ManualPhase, kManualIdle);
    QCOMPARE(rig.controller->State().DownloadAttempts, 1);
    QVERIFY(rig.Showed(LinkText::kCheckingManual));
    QVERIFY(rig.Showed(LinkText::kTransferred));
    QVERIFY(rig.Showed(kCompleteText));
    QVERIFY(rig.prompt.messages.size() == 1 && rig.prompt.messages[0].question);
    QCOMPARE(
        rig.prompt.messages[0].text,
        std::string("COM5 is connected.\r\nDo you want to download HbA1c results from analyzer?"));
    QVERIFY(QFile::exists(rig.base + "/hr_lowdata.dat"));
    QCOMPARE(Field(rig.db->ResultTable, 0, "PID"), std::string("PAT100002     "));
}

void TestLink::commandBytesAndGapsOnTheLine() {
    LinkRig rig(Generated(2));
    rig.prompt.answers = {true};
    rig.Command(kCmdManual);
    QVERIFY(rig.RunUntilIdle(60000));

    std::string bytes;
    for (const auto& rx : rig.sim.Received())
        bytes += rx.byte;
    QCOMPARE(bytes, std::string("ST\x03ST\x03SH\x03SE\x03SE\x03"));

    const auto times = CommandTimes(rig.writes);
    QCOMPARE(times.size(), size_t(5));
    // Every byte of a command, and the two copies of a doubled one, 500 ms apart.
    const std::vector<std::pair<size_t, size_t>> runs = {{0, 2}, {2, 3}, {3, 5}};
    for (const auto& run : runs) {
        std::vector<int64_t> t;
        for (size_t c = run.first; c < run.second; ++c)
            t.insert(t.end(), times[c].begin(), times[c].end());
        for (size_t i = 1; i < t.size(); ++i)
            QCOMPARE(t[i] - t[i - 1], int64_t(500));
    }
    // The request waits for the handshake's stopwatch: at least 800 ms after the last byte.
    QVERIFY(times[2][0] - times[1][2] >= 800);
    // The acknowledgement comes after the decoder's 300 ms check pause.
    QVERIFY(times[3][0] - times[2][2] >= 300);
}

void TestLink::secondDownloadHasNothingNew() {
    LinkRig rig(Generated(3));
    rig.prompt.answers = {true, true};
    rig.Command(kCmdManual);
    QVERIFY(rig.RunUntilIdle(60000));
    rig.statuses.clear();
    rig.Command(kCmdManual);
    QVERIFY(rig.RunUntilIdle(60000));
    QVERIFY(rig.Showed(LinkText::kNoNewData));
    QCOMPARE(rig.Rows(rig.db->ResultTable), 3);
    QCOMPARE(rig.Rows(rig.db->DownloadTable), 0);
    QCOMPARE(rig.storedNotices, std::vector<int>({3}));
    QCOMPARE(rig.outcomes,
             std::vector<DownloadOutcome>({DownloadOutcome::Stored, DownloadOutcome::NothingNew}));
    QCOMPARE(rig.controller->State().ManualPhase, kManualIdle);
}

void TestLink::emptyAnalyzerIsReportedWithoutDecoding() {
    LinkRig rig(Generated(0));
    rig.prompt.answers = {true};
    rig.Command(kCmdManual);
    QVERIFY(rig.RunUntilIdle(60000));
    QVERIFY(rig.Said(LinkText::kBlankBox));
    QVERIFY(rig.Showed(LinkText::kBlankStatus));
    QCOMPARE(rig.outcomes, std::vector<DownloadOutcome>({DownloadOutcome::Blank}));
    QCOMPARE(rig.Commands(), std::string("ST ST SH SE SE "));
    QVERIFY(!rig.Showed(kCheckingText)); // the decoder never ran
    QVERIFY(!QFile::exists(rig.base + "/hr_lowdata.dat"));
    QCOMPARE(rig.controller->State().ManualPhase, kManualIdle);
    QVERIFY(!rig.controller->TimerRunning(kTimerWatchdog));
}

void TestLink::brokenTerminatorStoresNothingAndClosesThePort() {
    SimOptions o = Generated(3);
    o.badTerminator = true;
    LinkRig rig(o);
    rig.prompt.answers = {true};
    rig.Command(kCmdManual);
    QVERIFY(rig.RunUntilIdle(60000));
    QVERIFY(rig.Said(kCrcFailText));
    QCOMPARE(rig.outcomes, std::vector<DownloadOutcome>({DownloadOutcome::Rejected}));
    QVERIFY(rig.controller->LastOutcome().Failed());
    QCOMPARE(rig.Rows(rig.db->ResultTable), 0);
    QVERIFY(!rig.serial.IsOpen());
    QCOMPARE(rig.Commands(), std::string("ST ST SH ")); // no acknowledgement
    QCOMPARE(rig.controller->State().ManualPhase, kManualIdle);
}

void TestLink::downloadVariants_data() {
    QTest::addColumn<bool>("nul");
    QTest::addColumn<bool>("handshakeU");
    QTest::addColumn<int>("tiltedEvery");
    QTest::addColumn<QString>("pid");
    QTest::addColumn<QString>("eqType");
    // Newest first: row 0 is the third generated record, row 2 the first.
    QTest::newRow("plain") << false << false << 0 << "PAT100000     "
                           << " ";
    QTest::newRow("NUL bytes arrive as blanks") << true << false << 0 << "PAT100000     "
                                                << " ";
    QTest::newRow("SU handshake trims IDs") << false << true << 0 << "PAT100000 "
                                            << " ";
    QTest::newRow("tilted") << false << false << 1 << "PAT100000     "
                            << "Analyzer Tilted";
}

void TestLink::downloadVariants() {
    QFETCH(bool, nul);
    QFETCH(bool, handshakeU);
    QFETCH(int, tiltedEvery);
    QFETCH(QString, pid);
    QFETCH(QString, eqType);
    SimOptions o;
    o.records = GenerateRecords(3, tiltedEvery);
    o.nulBytes = nul;
    o.handshakeU = handshakeU;
    LinkRig rig(o);
    rig.prompt.answers = {true};
    rig.Command(kCmdManual);
    QVERIFY(rig.RunUntilIdle(60000));
    QCOMPARE(rig.Rows(rig.db->ResultTable), 3);
    QCOMPARE(rig.controller->State().HandshakeReplyU, handshakeU);
    QCOMPARE(QString::fromStdString(Field(rig.db->ResultTable, 2, "PID")), pid);
    QCOMPARE(QString::fromStdString(Field(rig.db->ResultTable, 2, "EQ_TYPE")), eqType);
}

void TestLink::blockCompletesAtExactLength_data() {
    QTest::addColumn<bool>("strayFirst");
    QTest::newRow("8 + 129 characters") << false;
    QTest::newRow("one stray byte ahead") << true;
}

void TestLink::blockCompletesAtExactLength() {
    QFETCH(bool, strayFirst);
    SimOptions o;
    o.silent = true; // the test sends the block itself
    LinkRig rig(o);
    MarkAdapter(rig);
    StartManual(rig);
    QVERIFY(rig.controller->State().TransferActive);

    std::string block = "SH0003\r\n";
    for (const SimRecord& r : GenerateRecords(3, 0))
        block += MakeRecord(r);
    QCOMPARE(block.size(), size_t(8 + 129));
    if (strayFirst)
        block.insert(block.begin(), 'X');
    rig.sim.SendRaw(block.substr(0, block.size() - 1));
    QVERIFY(rig.Settle());
    QVERIFY(rig.controller->State().TransferActive); // one character short
    rig.sim.SendRaw(block.substr(block.size() - 1));
    QVERIFY(rig.Settle());
    QCOMPARE(rig.controller->State().TransferActive, strayFirst);
    if (!strayFirst) {
        QVERIFY(rig.RunUntilIdle(60000));
        QCOMPARE(rig.Rows(rig.db->ResultTable), 3);
        return;
    }
    // Incomplete for good: the watchdog counts the stalled ticks and asks again.
    rig.Run(25000);
    QVERIFY(rig.Showed("Error count : 5"));
    QVERIFY(rig.controller->State().DownloadAttempts >= 2);
    QCOMPARE(rig.Commands().substr(0, 18), std::string("ST ST SH ST ST SH "));
    QCOMPARE(rig.Rows(rig.db->ResultTable), 0);
}

void TestLink::watchdogGivesUp_data() {
    QTest::addColumn<bool>("silent");
    QTest::addColumn<bool>("adapter");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("attempts");
    QTest::newRow("stalled transfer") << false << true << LinkText::kGiveUpStall << 8;
    QTest::newRow("silent line") << true << true << LinkText::kGiveUpSilence << 6;
    QTest::newRow("no adapter, never complete") << false << false << LinkText::kGiveUpLimit << 6;
}

void TestLink::watchdogGivesUp() {
    QFETCH(bool, silent);
    QFETCH(bool, adapter);
    QFETCH(QString, text);
    QFETCH(int, attempts);
    SimOptions o = Generated(3);
    o.silent = silent;
    o.stallAfter = 20;
    LinkRig rig(o);
    if (adapter)
        MarkAdapter(rig);
    rig.prompt.answers = {true};
    rig.Command(kCmdManual);
    QVERIFY(rig.RunUntilIdle(30 * 60 * 1000));
    QVERIFY(rig.Said(text.toStdString()));
    QCOMPARE(rig.outcomes, std::vector<DownloadOutcome>({DownloadOutcome::GaveUp}));
    QCOMPARE(QString::fromStdString(rig.controller->LastOutcome().text), text);
    const AcquisitionState& s = rig.controller->State();
    QCOMPARE(s.DownloadAttempts, attempts);
    QCOMPARE(s.ManualPhase, kManualIdle);
    QCOMPARE(s.ReplyFilter, kFilterNone);
    QVERIFY(!rig.ports.AdapterFound());
    QVERIFY(!rig.serial.IsOpen());
    QVERIFY(!rig.controller->TimerRunning(kTimerWatchdog));
    int requests = 0;
    for (const std::string& c : rig.sim.Commands())
        requests += c == "SH";
    QCOMPARE(requests, attempts);
}

void TestLink::largeBlocksRaiseTheLimits_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("stall");
    QTest::addColumn<double>("silence");
    QTest::addColumn<double>("giveUp");
    QTest::newRow("400") << 400 << 8000.0 << 15000.0 << 90000.0;
    QTest::newRow("401") << 401 << 90000.0 << 150000.0 << 200000.0;
}

void TestLink::largeBlocksRaiseTheLimits() {
    QFETCH(int, count);
    QFETCH(double, stall);
    QFETCH(double, silence);
    QFETCH(double, giveUp);
    SimOptions o = Generated(count);
    o.stallAfter = 8 + 43 * 2;
    LinkRig rig(o);
    MarkAdapter(rig);
    StartManual(rig);
    const AcquisitionState& s = rig.controller->State();
    QVERIFY(s.TransferActive);
    QCOMPARE(s.StallTimeout, stall);
    QCOMPARE(s.SilenceTimeout, silence);
    QCOMPARE(s.GiveUpTimeout, giveUp);
    // With the raised limits the watchdog leaves a 9-second pause alone.
    rig.Run(11000);
    QCOMPARE(rig.Showed("Error count : 1"), count <= 400);
}

void TestLink::cancelledPortChoiceOpensNothing() {
    LinkRig rig(Generated(3));
    rig.chooser.cancel = true;
    rig.Command(kCmdManual);
    rig.Run(5000);
    QCOMPARE(rig.chooser.runs, 1);
    QCOMPARE(rig.controller->State().ManualPhase, kManualIdle);
    QVERIFY(!rig.serial.IsOpen());
    QVERIFY(rig.sim.Received().empty());
    QVERIFY(rig.prompt.messages.empty());
}

void TestLink::openFailureIsReported() {
    LinkRig rig(Generated(3));
    rig.chooser.path = rig.home.path().toStdString() + "/no-such-port";
    rig.Command(kCmdManual);
    rig.Run(2000);
    QCOMPARE(rig.prompt.messages.size(), size_t(1));
    QCOMPARE(rig.prompt.messages[0].text.substr(0, std::string(LinkText::kOpenFail).size()),
             std::string(LinkText::kOpenFail));
    QCOMPARE(rig.prompt.messages[0].title, std::string("Trevanix"));
    QCOMPARE(rig.controller->State().ManualPhase, kManualIdle);
    QVERIFY(!rig.serial.IsOpen());
}

void TestLink::permissionProblemSaysHowToFixIt() {
    QTemporaryDir home;
    ScriptedPrompt prompt;
    CResultDatabases db(home.path(), &prompt);
    AppSettings settings;
    ScriptedChooser chooser;
    chooser.path = "/dev/ttyUSB0";
    FakeFrame frame;
    LinkStack stack(std::make_unique<FailingPort>(), std::make_unique<ManualEventClock>());
    stack.enumerate = []() { return std::vector<EnumeratedPort>(); };
    CAcquisitionController c(stack.Context(prompt, chooser, frame, db, settings, DecoderFolders{}));
    c.Initialise();
    c.FrameCommand(FRAME_COMMAND_TAG, kCmdManual);
    static_cast<ManualEventClock&>(*stack.clock).RunFor(1000, nullptr);
    QCOMPARE(prompt.messages.size(), size_t(1));
    const std::string& text = prompt.messages[0].text;
    QCOMPARE(text.substr(0, std::string(LinkText::kOpenFail).size()),
             std::string(LinkText::kOpenFail));
    QVERIFY(text.find("/dev/ttyUSB0") != std::string::npos);
    QVERIFY(text.find("dialout") != std::string::npos);
    QCOMPARE(c.State().ManualPhase, kManualIdle);
    QCOMPARE(c.LastOutcome().kind, DownloadOutcome::OpenFailed);
    QCOMPARE(c.LastOutcome().text, text);
}

void TestLink::answeringNoLeavesThePortOpen() {
    LinkRig rig(Generated(3));
    rig.prompt.answers = {false};
    rig.Command(kCmdManual);
    rig.Run(3000);
    QCOMPARE(rig.controller->State().ManualPhase, kManualIdle);
    QCOMPARE(rig.outcomes, std::vector<DownloadOutcome>({DownloadOutcome::Declined}));
    QVERIFY(rig.serial.IsOpen());
    QVERIFY(rig.sim.Received().empty());
}

void TestLink::foreignOrUnknownCommandsChangeNothing_data() {
    QTest::addColumn<int>("tag");
    QTest::addColumn<int>("code");
    QTest::newRow("other tag, manual download") << FRAME_COMMAND_TAG + 1 << int(kCmdManual);
    QTest::newRow("other tag, view") << 0 << int(kCmdShowAllData);
    QTest::newRow("unknown code 0") << FRAME_COMMAND_TAG << 0;
    QTest::newRow("unknown code 99") << FRAME_COMMAND_TAG << 99;
    QTest::newRow("unknown code -1") << FRAME_COMMAND_TAG << -1;
}

void TestLink::foreignOrUnknownCommandsChangeNothing() {
    QFETCH(int, tag);
    QFETCH(int, code);
    LinkRig rig(Generated(3));
    rig.frame.active = 1;
    const AcquisitionState& s = rig.controller->State();
    auto snapshot = [&]() {
        return std::make_tuple(s.ManualPhase, s.LinkPhase, s.AutoStep, s.ReplyFilter,
                               s.TransferActive, s.AutoMode, rig.frame.shown.size(),
                               rig.frame.refreshes, rig.chooser.runs, rig.written);
    };
    const auto before = snapshot();
    rig.controller->FrameCommand(tag, code);
    rig.Run(3000);
    QVERIFY(snapshot() == before);
    QVERIFY(!rig.controller->WorkerBusy());
}

void TestLink::automaticReplies_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("autoStep");
    QTest::addColumn<int>("blockLength");
    QByteArray record = QByteArray::fromStdString(MakeRecord(GenerateRecords(1, 0)[0]));
    QTest::newRow("SC and 50 characters") << QByteArray("SC") + record + "1234567" << -1 << 43;
    QTest::newRow("SF: measurement finished") << QByteArray("SF") << int(kStepRequestAgain) << 0;
    QTest::newRow("FS counts as SF") << QByteArray("FS") << int(kStepRequestAgain) << 0;
}

void TestLink::automaticReplies() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, autoStep);
    QFETCH(int, blockLength);
    LinkRig rig(Generated(1));
    rig.controller->Presets().PresetAwaitingBlock(true);
    const AcquisitionState& s = rig.controller->State();
    for (char c : bytes)
        rig.controller->SerialRx(kSerialRxTag, &c, 1);
    if (blockLength == 0) {
        QCOMPARE(s.AutoStep, autoStep);
        QCOMPARE(s.LinkPhase, kPhaseAutoWaiting);
        return;
    }
    QCOMPARE(int(s.BlockText.size()), blockLength);
    QCOMPARE(QByteArray::fromStdString(s.BlockText), bytes.mid(2, 43));
    QCOMPARE(s.BlockRecordCount, 1);
    rig.Run(10000);                             // 37's and then 53's end commands, 2.5 s each
    QCOMPARE(rig.Rows(rig.db->ResultTable), 1); // handed over once, stored once
    QCOMPARE(s.AutoStep, kStepRemoveCartridge); // the decoder's 35
}

void TestLink::transferProgressFollowsTheRecords() {
    SimOptions o = Generated(10);
    o.stallAfter = 8 + 43 * 4 + 20;
    LinkRig rig(o);
    MarkAdapter(rig);
    StartManual(rig);
    QCOMPARE(rig.processDlg.ProgressPercent(), 40);
    QCOMPARE(rig.processDlg.ProgressDetail(), std::string("Records received: 4 of 10"));
    // The status texts stay the program's own.
    QVERIFY(rig.processDlg.Text().rfind("Receiving data from analyzer...", 0) == 0);
}

// A block captured from the line, carried through the receive routine, the worker's decoder
// and the store to the download list's rows, compared with the rows expected of it.
void TestLink::capturedStreamsStoreTheExpectedRows_data() {
    QTest::addColumn<QString>("capture");
    QTest::addColumn<DownloadOutcome>("outcome");
    QTest::addColumn<bool>("oneRun"); // the whole stream handed over at once, else byte by byte
    for (bool oneRun : {false, true}) {
        const char* how = oneRun ? " in one run" : " byte by byte";
        QTest::addRow("3 records%s", how)
            << "manual-3-records" << DownloadOutcome::Stored << oneRun;
        // A NUL byte inside a record fails the block's check: nothing is stored.
        QTest::addRow("NUL bytes in the IDs%s", how)
            << "manual-nul-bytes" << DownloadOutcome::Rejected << oneRun;
        QTest::addRow("empty analyzer%s", how)
            << "manual-empty" << DownloadOutcome::Blank << oneRun;
    }
}

void TestLink::capturedStreamsStoreTheExpectedRows() {
    QFETCH(QString, capture);
    QFETCH(DownloadOutcome, outcome);
    QFETCH(bool, oneRun);
    LinkRig rig(Generated(0));
    QByteArray stream = Data(capture + ".bin");
    const QByteArray expected = Data(capture + ".rows");
    QVERIFY(!stream.isEmpty());
    // From the data request on: what came before answered the handshake.
    stream = stream.mid(std::max(0, int(stream.indexOf("SH"))));
    rig.controller->Presets().PresetAwaitingBlock(false);
    rig.controller->Presets().PresetManualPhase(kManualRequestSent);
    if (oneRun)
        rig.controller->SerialRx(kSerialRxTag, stream.constData(), int(stream.size()));
    else
        for (char c : stream)
            rig.controller->SerialRx(kSerialRxTag, &c, 1);
    const int repaintsReceiving = rig.processDlg.Repaints();
    QVERIFY(rig.RunUntilIdle(30000));
    // What the port hands over at once shows the receiving text once, then what ended the block
    // (the blank analyzer's text); byte by byte the receiving text turns as the bytes come.
    if (oneRun)
        QVERIFY2(repaintsReceiving <= 2, qPrintable(QString::number(repaintsReceiving)));
    else
        QVERIFY(repaintsReceiving > 1);
    QCOMPARE(rig.controller->LastOutcome().kind, outcome);
    QCOMPARE(QString::fromStdString(DownloadListText(rig)), QString::fromLatin1(expected));
}

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
