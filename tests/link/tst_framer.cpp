// The framer from byte streams: streams captured from the simulated analyzer (tests/data) and
// hand-made ones, each with the events it must give and the byte on which it gives them.

#include "link/Framer.h"

#include <QFile>
#include <QtTest>

namespace {

QByteArray Data(const char* name) {
    QFile f(QStringLiteral(TREVANIX_TEST_DATA "/") + QLatin1String(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The bytes of a reply to "SH": from the first "SH" on (what came before answered "ST").
QByteArray AfterRequest(const QByteArray& stream) {
    const int at = stream.indexOf("SH");
    return at < 0 ? stream : stream.mid(at);
}

struct Run {
    std::string rx, ack;
    int count = 0;
    CFramer framer{rx, count, ack};
    // Events other than Receiving/None, as "kind@byte" (1-based byte number).
    QStringList Feed(const QByteArray& bytes, Listen listen, int filter = kFilterNone,
                     bool wanted = true) {
        QStringList out;
        for (int i = 0; i < bytes.size(); ++i) {
            // A NUL arrives as a blank: the serial port hands it on so.
            const char c = bytes[i] == '\0' ? ' ' : bytes[i];
            const FramerEvent e = framer.Push(c, listen, filter, wanted);
            QString name;
            switch (e.kind) {
            case FramerEvent::HandshakeReply:
                name = e.replyU ? "replyU" : "reply";
                break;
            case FramerEvent::Blank:
                name = "blank";
                break;
            case FramerEvent::BlockComplete:
                name = QStringLiteral("block%1").arg(e.count);
                break;
            case FramerEvent::MeasurementFinished:
                name = "measured";
                break;
            case FramerEvent::DataReply:
                name = "record";
                wanted = false;
                break;
            default:
                break;
            }
            if (e.headerNew)
                out << QStringLiteral("header%1@%2").arg(e.count).arg(i + 1);
            if (!name.isEmpty())
                out << name + "@" + QString::number(i + 1);
        }
        return out;
    }
};

} // namespace

class TestFramer : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void manualBlocks_data() {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("captured: 3 records")
            << AfterRequest(Data("manual-3-records.bin")) << QStringList{"header3@6", "block3@137"};
        QTest::newRow("captured: NUL bytes in the IDs")
            << AfterRequest(Data("manual-nul-bytes.bin")) << QStringList{"header2@6", "block2@94"};
        QTest::newRow("captured: empty analyzer")
            << AfterRequest(Data("manual-empty.bin"))
            << QStringList{"header0@6", "blank@6", "blank@7", "blank@8"};
        QByteArray extra = AfterRequest(Data("manual-3-records.bin"));
        extra.append('x');
        QTest::newRow("one byte too many: complete once, then never again")
            << extra << QStringList{"header3@6", "block3@137"};
        QTest::newRow("a stray byte before the block: never a header")
            << QByteArray("xSH0001\r\n") + QByteArray(43, 'a') << QStringList{};
        QTest::newRow("count ends at the first non-digit")
            << QByteArray("SH02x4\r\n") + QByteArray(86, 'a')
            << QStringList{"header2@6", "block2@94"};
    }
    void manualBlocks() {
        QFETCH(QByteArray, stream);
        QFETCH(QStringList, events);
        Run r;
        QCOMPARE(r.Feed(stream, Listen::ManualBlock), events);
        QCOMPARE(r.count, stream.size());
        if (!events.isEmpty() && events.last().startsWith("block")) {
            const int n = events.last().mid(5, events.last().indexOf('@') - 5).toInt();
            QCOMPARE(QByteArray::fromStdString(r.framer.BlockText()).left(43 * n),
                     stream.mid(8, 43 * n).replace('\0', ' '));
        }
    }

    void handshakeReplies_data() {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QString>("last");
        QTest::newRow("captured: SA") << Data("manual-3-records.bin").left(2) << "reply@2";
        QTest::newRow("captured: SU") << Data("manual-handshake-u.bin").left(2) << "replyU@2";
        QTest::newRow("U as first letter") << QByteArray("US") << "reply@2";
        QTest::newRow("one letter") << QByteArray("S") << "reply@1";
    }
    void handshakeReplies() {
        QFETCH(QByteArray, stream);
        QFETCH(QString, last);
        Run r;
        QCOMPARE(r.Feed(stream, Listen::ManualHandshake).last(), last);
    }

    void replyFilterKeepsOnlyItsLetters_data() {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("ack");
        // The notice right behind the reply is kept for the step that waits for it.
        QTest::newRow("captured: noisy handshake, then SF")
            << Data("auto-noisy-handshake.bin") << int(kFilterHandshake) << "HCSF";
        QTest::newRow("letters before the reply")
            << QByteArray("SFxHyC") << int(kFilterHandshake) << "HC";
        QTest::newRow("measurement letters")
            << QByteArray("xSyFz") << int(kFilterMeasurement) << "SF";
        QTest::newRow("HU") << QByteArray("HU") << int(kFilterHandshake) << "HU";
        QTest::newRow("during a transfer: none")
            << QByteArray("HCSF") << int(kFilterTransfer) << "";
    }
    void replyFilterKeepsOnlyItsLetters() {
        QFETCH(QByteArray, stream);
        QFETCH(int, filter);
        QFETCH(QString, ack);
        Run r;
        QVERIFY(r.Feed(stream, Listen::Replies, filter).isEmpty());
        QCOMPARE(QString::fromStdString(r.ack), ack);
    }

    void automaticTransfer_data() {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QStringList>("events");
        QByteArray reply = Data("auto-data-reply.bin");
        QTest::newRow("captured: SC and one record") << reply << QStringList{"record@45"};
        reply.append("1234567");
        QTest::newRow("bytes after the record: handed over once")
            << reply << QStringList{"record@45"};
        QTest::newRow("SF") << QByteArray("SF") << QStringList{"measured@2"};
        QTest::newRow("FS") << QByteArray("FS") << QStringList{"measured@2"};
    }
    void automaticTransfer() {
        QFETCH(QByteArray, stream);
        QFETCH(QStringList, events);
        Run r;
        QCOMPARE(r.Feed(stream, Listen::AutoBlock), events);
        if (events.first().startsWith("record")) {
            QCOMPARE(int(r.framer.BlockText().size()), 43);
            QCOMPARE(QByteArray::fromStdString(r.framer.BlockText()), stream.mid(2, 43));
        }
    }

    void resetStartsAFreshBlock() {
        Run r;
        r.Feed(QByteArray("SH0005\r\n") + QByteArray(43, 'a'), Listen::ManualBlock);
        r.framer.Reset();
        QCOMPARE(r.count, 0);
        QVERIFY(r.rx.empty());
        QCOMPARE(r.Feed(QByteArray("SH0001\r\n") + QByteArray(43, 'b'), Listen::ManualBlock),
                 (QStringList{"header1@6", "block1@51"}));
    }
};

QTEST_GUILESS_MAIN(TestFramer)
#include "tst_framer.moc"
