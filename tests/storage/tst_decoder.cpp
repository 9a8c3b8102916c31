#include "FailingVfs.h"
#include "TestSupport.h"
#include "query/ResultEdit.h"
#include "storage/Databases.h"
#include "storage/DownloadDecoder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <sqlite3.h>
#include <thread>

namespace {

std::string Pad(std::string s, size_t n) {
    s.resize(n, ' ');
    return s;
}

// One 43-byte record as the analyzer sends it.
std::string Record(const char* date6, const char* time4, const std::string& result3,
                   const std::string& pid, const std::string& opid, const char* end = "\r\n") {
    return std::string(date6) + time4 + result3 + Pad(pid, 14) + Pad(opid, 14) + end;
}

// Records what the decoder reports, in order.
class RecordingNotifier : public IDownloadNotifier {
public:
    void ShowStatus(const std::string& text) override {
        if (events.empty() || events.back() != "status " + text)
            events.push_back("status " + text);
    }
    void ReportProgress(int percent) override { progress.push_back(percent); }
    void HideProgress() override { events.push_back("hide progress"); }
    void BlockAccepted() override { events.push_back("accepted"); }
    void BlockRejected(bool autoMode) override {
        events.push_back(autoMode ? "rejected auto" : "rejected");
    }
    void RowsStored(int count, bool autoMode) override {
        events.push_back("stored " + std::to_string(count) + (autoMode ? " auto" : ""));
        if (onStored)
            onStored();
    }
    void DumpIncomplete(const std::string& text) override { events.push_back("dump " + text); }
    void StoreFailed(const std::string& why, bool autoMode) override {
        events.push_back(std::string(autoMode ? "failed auto " : "failed ") +
                         StoreFailureText(why));
    }
    // Everything but the status texts and the progress.
    QStringList Intents() const {
        QStringList out;
        for (const std::string& e : events)
            if (e.rfind("status", 0) != 0 && e != "hide progress")
                out << QString::fromStdString(e.rfind("failed", 0) == 0 ? e.substr(0, e.find(':'))
                                                                        : e);
        return out;
    }
    std::vector<std::string> events;
    std::vector<int> progress;
    std::function<void()> onStored;
};

// What the table holds in the lists' default order (a store lists nothing itself).
QStringList Rows(CResultTable& t) {
    QStringList out;
    RequeryDefault(t);
    for (t.MoveFirst(); !t.IsEOF(); t.MoveNext())
        out << QStringLiteral("%1 %2 %3 [%4] [%5] [%6]")
                   .arg(t.Record.DATE.c_str(), t.Record.TIME.c_str(), t.Record.HbA1c_VALUE.c_str(),
                        t.Record.PID.c_str(), t.Record.OPID.c_str(), t.Record.EQ_TYPE.c_str());
    return out;
}

} // namespace

class TestDecoder : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<CResultDatabases> db_;
    DecoderFolders folders_;

    int Run(const std::string& text, int count, RecordingNotifier& n, bool autoMode = false,
            bool replyU = false, int pidDigit = 13) {
        DownloadBlock b;
        b.BlockText = text;
        b.BlockRecordCount = count;
        b.AutoMode = autoMode;
        b.HandshakeReplyU = replyU;
        b.PidDigit = pidDigit;
        b.OpidDigit = 13;
        return ProcessDownloadBlock(b, *db_, folders_, n);
    }

private Q_SLOTS:
    void initTestCase() { FailingVfs::Install(); }
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        db_ = std::make_unique<CResultDatabases>(dir_->path());
        db_->OpenDatabases();
        QCOMPARE(db_->DatabaseReady, 1);
        folders_.baseFolder = dir_->path();
        folders_.dataFolder = QDir(dir_->path()).filePath("start/DATA");
    }
    void cleanup() { db_.reset(); }

    void automaticRecordIsStoredAndReported() {
        RecordingNotifier n;
        const std::string rec = Record("240131", "1405", "065", "PAT1", "OP1");
        QCOMPARE(Run(rec, 1, n, true), 1);
        QCOMPARE(n.Intents(), (QStringList{"accepted", "stored 1 auto"}));
        QVERIFY(std::find(n.events.begin(), n.events.end(),
                          std::string("status ") + kCompleteText) != n.events.end());
        QCOMPARE(Rows(db_->ResultTable),
                 QStringList{"20240131 1405 065 [PAT1          ] [OP1           ] [ ]"});
        QCOMPARE(Rows(db_->DownloadTable), Rows(db_->ResultTable));
        QVERIFY(QFileInfo(folders_.dataFolder).isDir());
        // Derived columns, and what only the main table gets.
        db_->ResultTable.MoveFirst();
        const HbA1cRecord& r = db_->ResultTable.Record;
        QCOMPARE(r.DATE_YEAR, 2024);
        QCOMPARE(r.DATE_MONTH, 1);
        QCOMPARE(r.DATE_DAY, 31);
        QCOMPARE(r.TIME_HOUR, 14);
        QCOMPARE(r.TIME_MIN, 5);
        QVERIFY(r.p_DOB.Equals("19000101"));
        db_->DownloadTable.MoveFirst();
        QVERIFY(db_->DownloadTable.Record.p_DOB.Equals(""));
    }

    void manualRunReportsInOrder() {
        RecordingNotifier n;
        std::string block;
        for (int i = 0; i < 4; ++i)
            block += Record("240131", "1405", "06" + std::to_string(i), "P", "O");
        QCOMPARE(Run(block, 4, n), 4);
        QCOMPARE(n.Intents(), (QStringList{"accepted", "stored 4"}));
        QCOMPARE(n.progress, (std::vector<int>{0, 25, 50, 75}));
        std::vector<std::string> statuses;
        for (const std::string& e : n.events)
            if (e.rfind("status", 0) == 0)
                statuses.push_back(e);
        QCOMPARE(statuses, (std::vector<std::string>{std::string("status ") + kCheckingText,
                                                     std::string("status ") + kStoringText,
                                                     std::string("status ") + kCompleteText}));
    }

    void terminators_data() {
        QTest::addColumn<QByteArray>("end");
        QTest::addColumn<bool>("passes");
        QTest::newRow("CR LF") << QByteArray("\r\n") << true;
        QTest::newRow("LF CR") << QByteArray("\n\r") << true;
        QTest::newRow("CR CR") << QByteArray("\r\r") << true;
        QTest::newRow("LF LF") << QByteArray("\n\n") << true;
        QTest::newRow("digit at 41") << QByteArray("5\n") << false;
        QTest::newRow("blank at 42") << QByteArray("\r ") << false;
    }
    void terminators() {
        QFETCH(QByteArray, end);
        QFETCH(bool, passes);
        for (bool autoMode : {false, true}) {
            RecordingNotifier n;
            // A good record first: a bad one later still rejects the whole block.
            const std::string block = Record("240131", "1405", "065", "A", "B") +
                                      Record("240131", "1406", "066", "A", "B", end.constData());
            QCOMPARE(Run(block, 2, n, autoMode) >= 0, passes);
            if (passes)
                continue;
            QCOMPARE(n.Intents(), QStringList{autoMode ? "rejected auto" : "rejected"});
            QCOMPARE(db_->ResultTable.CountRows(), 0);
            QCOMPARE(db_->DownloadTable.CountRows(), 0);
        }
    }

    void badBytesNeverCrashOrHalfStore_data() {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("stored");
        const std::string good = Record("240131", "1405", "065", "A", "B");
        std::string withNul = good + good;
        withNul[50] = '\0';
        QTest::newRow("NUL in the second record")
            << QByteArray(withNul.data(), int(withNul.size())) << 2 << -1;
        QTest::newRow("short block") << QByteArray::fromStdString(good.substr(0, 30)) << 1 << -1;
        QTest::newRow("count larger than the text") << QByteArray::fromStdString(good) << 3 << -1;
        const std::string high = Record("\xff\xfe\x80\x81zz", "ab\xc3\xa9", "\xff\xff\xff",
                                        "\x80\x90", "'; DROP TABLE x; --");
        QTest::newRow("high bytes and letters") << QByteArray::fromStdString(high) << 1 << 1;
        QTest::newRow("zero records") << QByteArray() << 0 << 0;
    }
    void badBytesNeverCrashOrHalfStore() {
        QFETCH(QByteArray, block);
        QFETCH(int, count);
        QFETCH(int, stored);
        RecordingNotifier n;
        QCOMPARE(Run(block.toStdString(), count, n), stored);
        QCOMPARE(db_->ResultTable.CountRows(), stored < 0 ? 0 : stored);
    }

    void resultDigits_data() {
        QTest::addColumn<QByteArray>("result");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("note");
        QTest::newRow("tilted 652") << QByteArray("\xb6\x35\x32") << "652"
                                    << "Analyzer Tilted";
        QTest::newRow("leading blank") << QByteArray(" 65") << "065"
                                       << " ";
        QTest::newRow("trailing blanks") << QByteArray("7  ") << "007"
                                         << " ";
        QTest::newRow("no digits") << QByteArray("abc") << "000"
                                   << " ";
    }
    void resultDigits() {
        QFETCH(QByteArray, result);
        QFETCH(QString, value);
        QFETCH(QString, note);
        const std::string rec =
            Record("240131", "1405", result.toStdString(), "00000000000000", "OP");
        const DecodedRecord r = DecodeRecord(rec.data(), false, 13, 13);
        QCOMPARE(QString::fromStdString(r.HbA1c_VALUE), value);
        QCOMPARE(QString::fromStdString(r.EQ_TYPE), note);
        QCOMPARE(r.PID, std::string(14, ' '));
    }

    void idTrimming_data() {
        QTest::addColumn<QByteArray>("id");
        QTest::addColumn<bool>("replyU");
        QTest::addColumn<int>("digit");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("U: ID and one blank")
            << QByteArray("AB12          ") << true << 13 << QByteArray("AB12 ");
        QTest::newRow("U: leading blank keeps 14")
            << QByteArray(" AB12         ") << true << 13 << QByteArray(" AB12         ");
        QTest::newRow("U: no blank")
            << QByteArray("ABCDEFGHIJKLMN") << true << 3 << QByteArray("ABCDEFGHIJKLMN");
        QTest::newRow("U: all zeros")
            << QByteArray("00000000000000") << true << 13 << QByteArray(14, ' ');
        QTest::newRow("digits 9") << QByteArray("12345678900000") << false << 9
                                  << QByteArray("1234567890");
        QTest::newRow("digits 9, zeros first")
            << QByteArray("00000000001234") << false << 9 << QByteArray(10, ' ');
        QTest::newRow("setting out of range")
            << QByteArray("12345678900000") << false << 99 << QByteArray("12345678900000");
        QTest::newRow("negative setting")
            << QByteArray("12345678900000") << false << -4 << QByteArray("1");
    }
    void idTrimming() {
        QFETCH(QByteArray, id);
        QFETCH(bool, replyU);
        QFETCH(int, digit);
        QFETCH(QByteArray, stored);
        QCOMPARE(QByteArray::fromStdString(TrimId(id.toStdString(), replyU, digit)), stored);
    }

    void sameBlockTwiceStoresNothingNew() {
        std::string block = Record("240131", "1405", "065", "O'Brien", "OP") +
                            Record("240131", "1405", "065", "O'Brien", "OP") + // repeated
                            Record("240201", "0900", "070", "X", "OP");
        RecordingNotifier first;
        QCOMPARE(Run(block, 3, first), 2);
        QCOMPARE(db_->DownloadTable.CountRows(), 2);
        RecordingNotifier second;
        QCOMPARE(Run(block, 3, second), 0);
        QCOMPARE(db_->ResultTable.CountRows(), 2);
        QCOMPARE(db_->DownloadTable.CountRows(), 0);
        // The views' state is back: default sort, no filter, and no row of either table listed
        // (the views search for what they show; a store never reads the whole main table).
        QVERIFY(db_->ResultTable.Sort().Equals(kDefaultSort));
        QVERIFY(db_->ResultTable.Filter().Equals(""));
        QCOMPARE(db_->ResultTable.RowIdCapacity(), 0);
        QCOMPARE(db_->DownloadTable.RowIdCapacity(), 0);
    }

    void dumpEndsBeforeTheFirstS() {
        RecordingNotifier n;
        const std::string rec = Record("240131", "1405", "065", "ABSENT", "OP");
        Run(rec, 1, n);
        QCOMPARE(ReadAll(QDir(dir_->path()).filePath("hr_lowdata.dat")),
                 QByteArray::fromStdString(rec.substr(0, rec.find('S'))));
        const std::string bad = Record("240131", "1405", "065", "P", "OP", "xx");
        Run(bad, 1, n); // a rejected block is dumped too
        QCOMPARE(ReadAll(QDir(dir_->path()).filePath("hr_lowdata.dat")),
                 QByteArray::fromStdString(bad));
    }

    void workerThreadDecodesWhileTheFrameReadsTables() {
        std::string block;
        for (int i = 0; i < 300; ++i)
            block += Record("240131", "1405", std::to_string(100 + i), "P", "O");
        RecordingNotifier n;
        int seenAt500 = -1;
        // The frame's handler of 500 runs while the worker waits, and reads the download table.
        n.onStored = [&]() {
            auto lock = db_->DownloadTable.Lock();
            seenAt500 = db_->DownloadTable.CountRows();
        };
        std::atomic<bool> done{false};
        std::thread worker([&] {
            Run(block, 300, n);
            done = true;
        });
        int reads = 0;
        while (!done) {
            auto lock = db_->ResultTable.Lock();
            db_->ResultTable.SetFilter("");
            db_->ResultTable.Requery();
            const int rows = db_->ResultTable.RowCount();
            QVERIFY(rows == 0 || rows == 300); // never half a block
            ++reads;
        }
        worker.join();
        QCOMPARE(seenAt500, 300);
        QVERIFY(reads > 0);
    }

    // A store the database refuses changes neither table, keeps the dump, tells the user why,
    // sends no completion code and leaves the previous download's list as it was; a database
    // held by another program costs one bounded wait per block.
    void failedStoreChangesNeitherTable_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("reason");
        QTest::newRow("main database read-only") << "read-only"
                                                 << "read-only";
        QTest::newRow("disk full") << "full"
                                   << "the disk is full";
        // SQLite rolls back on its own when the commit cannot write: the first error is told,
        // not the failed ROLLBACK after it.
        QTest::newRow("disk full at the commit") << "full at commit"
                                                 << "the disk is full";
        QTest::newRow("main database held by a writer") << "main writer"
                                                        << "in use";
        QTest::newRow("main database held by a reader") << "main reader"
                                                        << "in use";
        QTest::newRow("download database held by a writer") << "down writer"
                                                            << "in use";
    }
    void failedStoreChangesNeitherTable() {
        QFETCH(QString, fault);
        QFETCH(QString, reason);
        RecordingNotifier first;
        QCOMPARE(Run(Record("240101", "0800", "065", "P1", "O1") +
                         Record("240101", "0900", "066", "P2", "O1"),
                     2, first),
                 2);
        std::string block;
        const int count = 200;
        for (int i = 0; i < count; ++i)
            block += Record("240202", "1000", "070", "N" + std::to_string(i), "O2");

        db_->SetBusyTimeout(300);
        sqlite3* other = nullptr;
        const QString held = fault == "down writer" ? db_->DownloadDbPath : db_->MainDbPath;
        QCOMPARE(sqlite3_open(QFile::encodeName(held).constData(), &other), SQLITE_OK);
        if (fault == "read-only")
            QVERIFY(db_->ResultTable.Execute("PRAGMA query_only=1"));
        else if (fault == "full")
            QVERIFY(db_->ResultTable.Execute("PRAGMA max_page_count=1"));
        else if (fault == "full at commit")
            FailingVfs::FailWrites(true);
        else if (fault.endsWith("writer"))
            QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        else
            QCOMPARE(sqlite3_exec(other, "BEGIN; SELECT COUNT(*) FROM HospitalTlb;", nullptr,
                                  nullptr, nullptr),
                     SQLITE_OK);

        RecordingNotifier n;
        QElapsedTimer t;
        t.start();
        QCOMPARE(Run(block, count, n), int(kStoreFailed));
        QVERIFY2(t.elapsed() < 3000, std::to_string(t.elapsed()).c_str()); // not once per record
        FailingVfs::FailWrites(false);
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        db_->ResultTable.Execute("PRAGMA query_only=0");
        db_->ResultTable.Execute("PRAGMA max_page_count=1073741823");

        QCOMPARE(Rows(db_->ResultTable).size(), 2);
        QCOMPARE(Rows(db_->DownloadTable).size(), 2); // the last download's list, unchanged
        QCOMPARE(n.Intents(),
                 (QStringList{"accepted", "failed The downloaded results could not be stored"}));
        std::string said;
        for (const std::string& e : n.events)
            if (e.rfind("failed", 0) == 0)
                said = e;
        QVERIFY2(QString::fromStdString(said).contains(reason), said.c_str());
        QVERIFY2(said.find("ROLLBACK") == std::string::npos, said.c_str());
        QVERIFY(said.find("Download again later") != std::string::npos);
        QVERIFY(QFileInfo(QDir(folders_.baseFolder).filePath("hr_lowdata.dat")).size() > 0);

        // The same block once the fault is gone: all of it, in both tables.
        RecordingNotifier again;
        QCOMPARE(Run(block, count, again), count);
        QCOMPARE(Rows(db_->ResultTable).size(), count + 2);
        QCOMPARE(Rows(db_->DownloadTable).size(), count);
    }

    // The analyzer sends every result it holds at each download: one the staff corrected or
    // deleted stays as they left it, a correction of a correction too, and only really new
    // results are counted.
    void correctedAndDeletedResultsDoNotComeBack() {
        const std::string block = Record("240101", "0800", "065", "12", "12") +
                                  Record("240101", "0900", "066", "13", "12") +
                                  Record("240101", "1000", "067", "14", "12");
        RecordingNotifier first;
        QCOMPARE(Run(block, 3, first), 3);
        const auto listed = [this](const char* time) {
            std::vector<ResultRow> rows;
            ReadResultRows(db_->ResultTable, false, rows);
            for (const ResultRow& r : rows)
                if (r.key.TIME == time)
                    return r.key;
            return ListRowKey();
        };
        const AuditStamp stamp{"2026-12-08T09:30:12.345Z", "nurse"};
        ResultEdits edits;
        edits.PID = "12";
        edits.OPID = "15";
        edits.p_DOB = "19000101";
        QCOMPARE(ModifyStoredResult(db_->ResultTable, listed("0800"), edits, stamp).kind,
                 EditOutcome::Done);
        edits.OPID = "16"; // and corrected again
        QCOMPARE(ModifyStoredResult(db_->ResultTable, listed("0800"), edits, stamp).kind,
                 EditOutcome::Done);
        QCOMPARE(DeleteStoredResult(db_->ResultTable, listed("0900"), stamp).kind,
                 EditOutcome::Done);

        RecordingNotifier again;
        QCOMPARE(Run(block + Record("240102", "0800", "070", "20", "12"), 4, again), 1);
        QVERIFY(again.Intents().contains("stored 1"));
        QStringList ids;
        std::vector<ResultRow> rows;
        ReadResultRows(db_->ResultTable, false, rows);
        for (const ResultRow& r : rows)
            ids << QString::fromStdString(r.key.TIME + " " + TrimmedId(r.key.PID) + "/" +
                                          TrimmedId(r.key.OPID));
        ids.sort();
        QCOMPARE(ids, (QStringList{"0800 12/16", "0800 20/12", "1000 14/12"}));
        QCOMPARE(Rows(db_->DownloadTable).size(), 1); // the download list: the new one only
    }

    // A dump cut short by a full disk is told after the store, which is not affected.
    void dumpCutShortIsTold() {
        const QString dump = QDir(folders_.baseFolder).filePath("hr_lowdata.dat");
        if (!QFileInfo::exists("/dev/full"))
            QSKIP("no /dev/full here");
        QVERIFY(QFile::link("/dev/full", dump));
        RecordingNotifier n;
        QCOMPARE(Run(Record("240101", "0800", "065", "P1", "O1"), 1, n), 1);
        QCOMPARE(n.Intents().mid(0, 2), (QStringList{"accepted", "stored 1"}));
        QCOMPARE(n.Intents().back().toStdString(),
                 "dump " + DumpFailureText("No space left on device", true));
        QCOMPARE(Rows(db_->ResultTable).size(), 1);
    }

    // The download list is reset inside the store: a missing DownLoadData (an older program
    // crashed between dropping and making it) is made again, and the store reaches both tables.
    void missingDownloadTableIsMadeInTheStore() {
        QVERIFY(db_->DownloadTable.Execute("DROP TABLE [DownLoadData]"));
        RecordingNotifier n;
        QCOMPARE(Run(Record("240101", "0800", "065", "P1", "O1"), 1, n), 1);
        QCOMPARE(Rows(db_->DownloadTable).size(), 1);
        QVERIFY(n.Intents().contains("stored 1"));
    }
};

QTEST_GUILESS_MAIN(TestDecoder)
#include "tst_decoder.moc"
