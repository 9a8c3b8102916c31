// trevanix-cli against the simulated analyzer, both as separate processes, in real time.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#ifndef TREVANIX_CLI
#error "TREVANIX_CLI must name the command-line program"
#endif

namespace {

struct Result {
    int exitCode = -1;
    QString output;
};

Result RunCli(const QStringList& args, const QString& home) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TREVANIX_HOME"), home);
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(home);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(TREVANIX_CLI), args);
    p.closeWriteChannel();
    Result r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.output = QString::fromLocal8Bit(p.readAll());
    return r;
}

class Sim {
public:
    explicit Sim(const QStringList& args) {
        p_.start(QStringLiteral(TREVANIX_SIM), args);
        if (p_.waitForReadyRead(5000))
            path = QString::fromLocal8Bit(p_.readLine()).trimmed();
    }
    ~Sim() {
        p_.terminate();
        p_.waitForFinished(3000);
    }
    QString path;

private:
    QProcess p_;
};

} // namespace

class TestCli : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void downloadsAndStores();
    void automaticCycleStoresOneMeasurement();
    void failuresExitNonZero_data();
    void failuresExitNonZero();
};

void TestCli::downloadsAndStores() {
    QTemporaryDir home;
    Sim sim({QStringLiteral("--records"), QStringLiteral("3")});
    QVERIFY(!sim.path.isEmpty());
    const Result first = RunCli({"download", "--port", sim.path, "--yes"}, home.path());
    QCOMPARE(first.exitCode, 0);
    QVERIFY2(first.output.contains("3 new results stored"), qPrintable(first.output));
    QVERIFY(first.output.contains("Checking if communication between analyzer and PC is established.(Manual)"));
    QVERIFY(first.output.contains("Records received: 3 of 3"));
    QVERIFY(QFile::exists(home.path() + "/Trevanix.sqlite"));
    QVERIFY(QFile::exists(home.path() + "/hr_lowdata.dat"));

    const Result second = RunCli({"download", "--port", sim.path, "--yes"}, home.path());
    QCOMPARE(second.exitCode, 0);
    QVERIFY2(second.output.contains("No new data from analyzer."), qPrintable(second.output));
}

void TestCli::automaticCycleStoresOneMeasurement() {
    QTemporaryDir home;
    Sim sim({QStringLiteral("--records"), QStringLiteral("5"), QStringLiteral("--measure-after"),
             QStringLiteral("1000")});
    QVERIFY(!sim.path.isEmpty());
    const Result r = RunCli({"auto", "--port", sim.path, "--timeout", "100"}, home.path());
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.output.contains("1 new result stored"), qPrintable(r.output));
    const int caution = r.output.indexOf("Caution >> Please remove the cartridge from analyzer");
    QVERIFY(caution > 0);
    QVERIFY(r.output.indexOf("Automatic mode was terminated.") > caution);
}

void TestCli::failuresExitNonZero_data() {
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<bool>("useSim");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("says");
    QTest::newRow("no such port") << QStringList() << false << 1
                                  << "Communication port connecting failure.";
    QTest::newRow("broken record") << QStringList{"--bad-terminator"} << true << 1
                                   << "Error. cyclic redundancy check : Fail.";
    QTest::newRow("empty analyzer") << QStringList{"--records", "0"} << true << 0
                                    << "DATA buffer of Trevanix is blank!!!";
}

void TestCli::failuresExitNonZero() {
    QFETCH(QStringList, simArgs);
    QFETCH(bool, useSim);
    QFETCH(int, exitCode);
    QFETCH(QString, says);
    QTemporaryDir home;
    std::unique_ptr<Sim> sim;
    QString port = home.path() + "/no-such-port";
    if (useSim) {
        sim = std::make_unique<Sim>(simArgs);
        port = sim->path;
    }
    const Result r = RunCli({"download", "--port", port, "--yes"}, home.path());
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.output.contains(says), qPrintable(r.output));

    QCOMPARE(RunCli({"download"}, home.path()).exitCode, 2); // no port given
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
