// The simulated analyzer's line rate: ten bits a byte, whatever the pacer's timer does.
#include "AnalyzerSim.h"

#include <QtTest>

class TestSimPacing : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void bytesDue_data() {
        QTest::addColumn<qint64>("elapsedNs");
        QTest::addColumn<int>("baud");
        QTest::addColumn<quint64>("bytes");
        const qint64 ms = 1000000, s = 1000 * ms;
        QTest::newRow("9600 baud, one second") << s << 9600 << quint64(960);
        QTest::newRow("9600 baud, one 10-ms tick") << 10 * ms << 9600 << quint64(9);
        QTest::newRow("9600 baud, two ticks: the rest is not lost")
            << 20 * ms << 9600 << quint64(19);
        QTest::newRow("9600 baud, a late tick") << 37 * ms << 9600 << quint64(35);
        QTest::newRow("9600 baud, 448 s") << 448 * s << 9600 << quint64(430080);
        QTest::newRow("115200 baud, a day") << 86400 * s << 115200 << quint64(995328000);
        QTest::newRow("300 baud, 100 ms") << 100 * ms << 300 << quint64(3);
        QTest::newRow("not started") << qint64(0) << 9600 << quint64(0);
        QTest::newRow("no rate") << s << 0 << quint64(0);
    }
    void bytesDue() {
        QFETCH(qint64, elapsedNs);
        QFETCH(int, baud);
        QFETCH(quint64, bytes);
        QCOMPARE(quint64(AnalyzerSim::LineBytesDue(elapsedNs, baud)), bytes);
    }
};

QTEST_GUILESS_MAIN(TestSimPacing)
#include "tst_simpacing.moc"
