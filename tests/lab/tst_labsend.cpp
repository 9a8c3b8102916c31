// Results to the lab system end to end: the outbox filled in the store's transaction, sent over
// MLLP to python3-hl7's server (parsed with its own parser), marked by the answers, resent with
// the same control ID after a kill, and never sent by two senders at once.

#include "QuietNotifier.h"
#include "TestSupport.h"
#include "lab/LabOutbox.h"
#include "lab/LabSender.h"
#include "storage/Databases.h"
#include "storage/DownloadDecoder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <sqlite3.h>
#include <thread>

#ifndef TREVANIX_CLI
#error "TREVANIX_CLI must name the command-line program"
#endif

namespace {

// python3-hl7's MLLP server, answering every message with `answer`.
class Receiver {
public:
    explicit Receiver(const QString& answer, const QString& log, const QStringList& tls = {}) {
        p_.start(QStringLiteral(SYSTEM_PYTHON),
                 QStringList{QStringLiteral(HL7_RECEIVER), "--answer", answer, "--log", log} + tls);
        if (p_.waitForReadyRead(15000))
            port = QString::fromLatin1(p_.readLine()).trimmed().toInt();
    }
    ~Receiver() {
        p_.kill();
        p_.waitForFinished(3000);
    }
    int port = 0;

private:
    QProcess p_;
};

// Every message the receiver parsed, in arrival order.
QList<QJsonObject> Received(const QString& log) {
    QList<QJsonObject> out;
    for (const QByteArray& line : ReadAll(log).split('\n'))
        if (!line.isEmpty())
            out << QJsonDocument::fromJson(line).object();
    return out;
}

std::string Record(const char* time4, const char* result3, const std::string& pid) {
    std::string id = pid;
    id.resize(14, ' ');
    return std::string("240105") + time4 + result3 + id + "77            " + "\r\n";
}

struct Fixture {
    Fixture() : db(home.path()), log(home.filePath("received.jsonl")) {
        db.OpenDatabases();
        config.enabled = true;
        config.host = "127.0.0.1";
        config.idAuthority = "CLINIC";
        config.ackTimeout = 2;
        journal = std::make_unique<CLabJournal>(config, 0);
        db.ResultTable.SetJournal(journal.get());
    }
    // Stores the records as a download does; the journal queues them in the same transaction.
    int Store(const std::string& records, int count) {
        DownloadBlock b;
        b.BlockText = records;
        b.BlockRecordCount = count;
        QuietNotifier n;
        return ProcessDownloadBlock(b, db, {home.path(), home.filePath("DATA")}, n);
    }
    std::vector<OutboxEntry> Outbox() {
        std::vector<OutboxEntry> e;
        ReadOutbox(db.ResultTable, e, nullptr);
        return e;
    }
    int Queued() {
        int n = 0;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db.ResultTable.Database(), "SELECT count(*) FROM LabOutbox", -1, &st,
                               nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            n = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
        return n;
    }
    QTemporaryDir home;
    CResultDatabases db;
    QString log;
    LabConfig config;
    std::unique_ptr<CLabJournal> journal;
};

} // namespace

class TestLabSend : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // What a store queues: one F message per new result, in the store's transaction.
    void storeQueuesInItsTransaction() {
        Fixture f;
        QCOMPARE(f.Store(Record("0930", "065", "1") + Record("0931", "141", "2"), 2), 2);
        QCOMPARE(f.Queued(), 2);
        QCOMPARE(f.Store(Record("0930", "065", "1"), 1), 0); // nothing new, nothing queued
        QCOMPARE(f.Queued(), 2);
        // A store the database refuses queues nothing.
        QVERIFY(f.db.ResultTable.Execute("PRAGMA query_only=1"));
        QCOMPARE(f.Store(Record("1000", "070", "3"), 1), int(kStoreFailed));
        QVERIFY(f.db.ResultTable.Execute("PRAGMA query_only=0"));
        QCOMPARE(f.Queued(), 2);
        // The link off: stored, not queued.
        f.config.enabled = false;
        f.journal->SetConfig(f.config);
        QCOMPARE(f.Store(Record("1100", "070", "4"), 1), 1);
        QCOMPARE(f.Queued(), 2);
        const auto box = f.Outbox();
        QCOMPARE(box[0].pid, std::string("1"));
        QCOMPARE(box[0].state, std::string("waiting"));
        QVERIFY(box[0].controlId != box[1].controlId);
    }

    void answersMarkTheOutbox_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("state"); // of both messages after the pass
        QTest::addColumn<int>("delivered");
        QTest::addColumn<int>("received"); // messages the receiver read
        QTest::addColumn<bool>("unreachable");
        QTest::newRow("AA") << "AA"
                            << "delivered" << 2 << 2 << false;
        QTest::newRow("CA") << "CA"
                            << "delivered" << 2 << 2 << false;
        QTest::newRow("AE: kept for later") << "AE"
                                            << "waiting" << 0 << 2 << false;
        QTest::newRow("AR: kept as rejected") << "AR"
                                              << "rejected" << 0 << 2 << false;
        QTest::newRow("no answer") << "silent"
                                   << "waiting" << 0 << 1 << true;
        QTest::newRow("connection closed") << "close"
                                           << "waiting" << 0 << 1 << true;
        QTest::newRow("refused") << "none"
                                 << "waiting" << 0 << 0 << true;
    }
    void answersMarkTheOutbox() {
        QFETCH(QString, answer);
        QFETCH(QString, state);
        QFETCH(int, delivered);
        QFETCH(int, received);
        QFETCH(bool, unreachable);
        Fixture f;
        QCOMPARE(f.Store(Record("0930", "065", "1") + Record("0931", "039", "A|B"), 2), 2);
        std::unique_ptr<Receiver> r;
        if (answer != "none") {
            r = std::make_unique<Receiver>(answer, f.log);
            QVERIFY(r->port > 0);
            f.config.port = r->port;
        } else {
            f.config.port = 1; // nothing listens there
        }
        CLabSender sender(f.db.ResultTable, f.config);
        const SendPass pass = sender.Pass(false);
        QCOMPARE(pass.delivered, delivered);
        QCOMPARE(pass.unreachable, unreachable);
        QVERIFY(pass.unreachable || pass.lastProblem.empty() == (delivered == 2));
        std::vector<OutboxEntry> all;
        f.db.ResultTable.Execute("UPDATE LabOutbox SET STATE=STATE"); // the sender's writes are in
        ReadOutbox(f.db.ResultTable, all, nullptr);
        QCOMPARE(int(all.size()), delivered == 2 ? 0 : 2);
        for (const OutboxEntry& e : all)
            QCOMPARE(QString::fromStdString(e.state), state);
        if (r) {
            QTRY_COMPARE_WITH_TIMEOUT(Received(f.log).size(), received, 5000);
        }
        if (received > 0) {
            const QJsonObject first = Received(f.log)[0];
            QCOMPARE(first["version"].toString(), QStringLiteral("2.5.1"));
            QCOMPARE(first["type"].toString(), QStringLiteral("ORU^R01^ORU_R01"));
            QCOMPARE(first["charset"].toString(), QStringLiteral("UNICODE UTF-8"));
            QCOMPARE(first["pid"].toString(), QStringLiteral("1"));
            QCOMPARE(first["authority"].toString(), QStringLiteral("CLINIC"));
            QCOMPARE(first["status"].toString(), QStringLiteral("F"));
            QCOMPARE(first["control"].toString().toStdString(),
                     f.Outbox().empty() ? first["control"].toString().toStdString()
                                        : f.Outbox()[0].controlId);
            QCOMPARE(first["segments"].toArray().size(), 4);
        }
        if (received > 1) {
            const QJsonObject second = Received(f.log)[1];
            QCOMPARE(second["pid"].toString(), QStringLiteral("A|B")); // escaped, read back whole
            QCOMPARE(second["obx"].toArray()[0].toArray()[0].toString(), QStringLiteral("SN"));
        }
    }

    // While the receiver is away the queue waits whole: a result stored meanwhile does not go
    // before the older ones when it comes back, and the pause grows from the head.
    void aPausedQueueKeepsItsOrder() {
        Fixture f;
        QCOMPARE(f.Store(Record("0930", "065", "1"), 1), 1);
        f.config.port = 1; // nothing listens
        CLabSender away(f.db.ResultTable, f.config);
        QVERIFY(away.Pass(true).unreachable);
        QCOMPARE(f.Store(Record("0931", "066", "2"), 1), 1);
        Receiver r("AA", f.log);
        QVERIFY(r.port > 0);
        f.config.port = r.port;
        CLabSender sender(f.db.ResultTable, f.config);
        QCOMPARE(sender.Pass(true).delivered, 0); // the head's pause holds the newer one too
        sender.now = [] { return QDateTime::currentMSecsSinceEpoch() + 6000; };
        QCOMPARE(sender.Pass(true).delivered, 2);
        const auto got = Received(f.log);
        QCOMPARE(got.size(), 2);
        QCOMPARE(got[0]["pid"].toString(), QStringLiteral("1"));
        QCOMPARE(got[1]["pid"].toString(), QStringLiteral("2"));
    }

    // A message sent whose answer was never read (the sender was killed) goes again with the
    // same control ID once its claim has run out; a receiver drops the repeat by that ID.
    void killedSenderResendsWithTheSameControlId() {
        Fixture f;
        QCOMPARE(f.Store(Record("0930", "065", "1"), 1), 1);
        const std::string id = f.Outbox()[0].controlId;
        {
            Receiver silent("silent", f.log);
            QVERIFY(silent.port > 0);
            QVERIFY(WriteAll(f.home.filePath("lab_info.ini"),
                             "[LAB]\r\nenabled=1\r\nhost=127.0.0.1\r\nport=" +
                                 QByteArray::number(silent.port) + "\r\nack_timeout=30\r\n"));
            QProcess cli;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("TREVANIX_HOME", f.home.path());
            cli.setProcessEnvironment(env);
            cli.start(QStringLiteral(TREVANIX_CLI), {"send"});
            QTRY_COMPARE_WITH_TIMEOUT(Received(f.log).size(), 1, 15000);
            cli.kill(); // sent, the answer not read
            cli.waitForFinished();
        }
        Receiver r("AA", f.log);
        QVERIFY(r.port > 0);
        f.config.port = r.port;
        f.config.ackTimeout = 2;
        CLabSender sender(f.db.ResultTable, f.config);
        SendPass pass = sender.Pass(false);
        QVERIFY(pass.busy); // the killed sender's claim still holds it
        QCOMPARE(pass.delivered, 0);
        // Its claim runs out (2 x 30 s + 2 s after the claim): a later sender takes it.
        sender.now = [] { return QDateTime::currentMSecsSinceEpoch() + 63000; };
        pass = sender.Pass(false);
        QCOMPARE(pass.delivered, 1);
        const auto got = Received(f.log);
        QCOMPARE(got.size(), 2);
        QCOMPARE(got[0]["control"].toString().toStdString(), id);
        QCOMPARE(got[1]["control"].toString().toStdString(), id);
        QVERIFY(f.Outbox().empty());
    }

    // Two senders on two connections (the window and the command line) at once: every message
    // is delivered, none is sent twice, and each arrives in queue order.
    void twoSendersNeverSendOneMessageTwice() {
        Fixture f;
        std::string block;
        const int n = 60;
        for (int i = 0; i < n; ++i) {
            char t[8];
            std::snprintf(t, sizeof t, "%02d%02d", i / 60, i % 60);
            block += Record(t, "065", "P" + std::to_string(i));
        }
        QCOMPARE(f.Store(block, n), n);
        Receiver r("AA", f.log);
        QVERIFY(r.port > 0);
        f.config.port = r.port;
        int delivered[2] = {0, 0};
        auto run = [&](int which) {
            CResultTable own;
            own.SetTableName("HospitalTlb");
            own.SetBusyTimeout(10000);
            own.OpenFile(QFile::encodeName(f.db.MainDbPath).constData());
            CLabSender sender(own, f.config);
            for (int round = 0; round < 400; ++round) {
                const SendPass p = sender.Pass(false);
                delivered[which] += p.delivered;
                if (!p.busy)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        };
        std::thread a(run, 0), b(run, 1);
        a.join();
        b.join();
        QCOMPARE(delivered[0] + delivered[1], n);
        const auto got = Received(f.log);
        QCOMPARE(got.size(), n);
        QSet<QString> ids;
        for (const QJsonObject& m : got)
            ids.insert(m["control"].toString());
        QCOMPARE(ids.size(), n);
        QVERIFY(f.Outbox().empty());
    }

    // TLS: the receiver's certificate is checked against ca_file.
    void tlsChecksTheReceiver_data() {
        QTest::addColumn<bool>("rightCa");
        QTest::newRow("its own CA") << true;
        QTest::newRow("another CA") << false;
    }
    void tlsChecksTheReceiver() {
        QFETCH(bool, rightCa);
        Fixture f;
        const auto make = [&](const QString& name) {
            return QProcess::execute("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes",
                                                 "-days", "2", "-subj", "/CN=localhost", "-addext",
                                                 "subjectAltName=DNS:localhost", "-keyout",
                                                 f.home.filePath(name + ".key"), "-out",
                                                 f.home.filePath(name + ".pem")});
        };
        QCOMPARE(make("lab"), 0);
        QCOMPARE(make("other"), 0);
        QCOMPARE(f.Store(Record("0930", "065", "1"), 1), 1);
        Receiver r("AA", f.log,
                   {"--cert", f.home.filePath("lab.pem"), "--key", f.home.filePath("lab.key")});
        QVERIFY(r.port > 0);
        f.config.host = "localhost";
        f.config.port = r.port;
        f.config.tls = true;
        f.config.caFile = f.home.filePath(rightCa ? "lab.pem" : "other.pem").toStdString();
        CLabSender sender(f.db.ResultTable, f.config);
        const SendPass pass = sender.Pass(false);
        QCOMPARE(pass.delivered, rightCa ? 1 : 0);
        QCOMPARE(pass.unreachable, !rightCa);
        QCOMPARE(Received(f.log).size(), rightCa ? 1 : 0);
        const std::string test = CLabSender::SendTest(f.config);
        QVERIFY2(test.find(rightCa ? "accepted the test message (AA)" : "could not be reached") !=
                     std::string::npos,
                 test.c_str());
    }

    // A correction queues C, or W and F when it moves the result to another patient; a deletion
    // queues D.
    void correctionsAndDeletionsQueueTheirStatus() {
        // Through the journal directly: the edit functions call it in their transaction.
        Fixture f;
        CLabJournal j(f.config, 1);
        ResultImage a{"20240105", "0930", "065", "1 ", "7", " ", "", "19000101", ""};
        ResultImage b = a;
        b.p_NAME = "Kim";
        ResultImage c = a;
        c.PID = "2";
        QVERIFY(j.ResultChanged(f.db.ResultTable, &a, &b));
        QVERIFY(j.ResultChanged(f.db.ResultTable, &a, &c));
        QVERIFY(j.ResultChanged(f.db.ResultTable, &c, nullptr));
        std::string statuses, pids;
        for (const OutboxEntry& e : f.Outbox()) {
            statuses += e.status;
            pids += e.pid;
        }
        QCOMPARE(statuses, std::string("CWFD"));
        QCOMPARE(pids, std::string("1122"));
    }
};

QTEST_GUILESS_MAIN(TestLabSend)
#include "tst_labsend.moc"
