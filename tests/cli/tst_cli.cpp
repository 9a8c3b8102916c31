// trevanix-cli against the simulated analyzer, both as separate processes, in real time.

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <sqlite3.h>

#include "ResultRows.h"
#include "TestSupport.h"
#include "platform/SingleInstance.h"
#include "ResultRows.h"
#include "storage/Databases.h"
#include "storage/ResultEdit.h"

#ifndef TREVANIX_CLI
#error "TREVANIX_CLI must name the command-line program"
#endif

namespace {

struct Result {
    int exitCode = -1;
    bool killed = false;
    QString output;
};

// The runtime folder the command-line program takes its lock in: its own, so that a copy of the
// program running on this machine does not stop the tests.
QString RuntimeDir() {
    static QTemporaryDir dir;
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return dir.path();
}

Result RunCli(const QStringList& args, const QString& home, const QString& crashAt = QString()) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TREVANIX_HOME"), home);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), RuntimeDir());
    if (!crashAt.isEmpty())
        env.insert(QStringLiteral("TREVANIX_CRASH_AT"), crashAt);
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
    r.killed = p.exitStatus() == QProcess::CrashExit;
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

int Count(const QString& dbPath, const char* table) {
    sqlite3* db = nullptr;
    int n = -1;
    if (sqlite3_open_v2(QFile::encodeName(dbPath).constData(), &db, SQLITE_OPEN_READONLY,
                        nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        const std::string sql = std::string("SELECT COUNT(*) FROM ") + table;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            n = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return n;
}

QString IntegrityCheck(const QString& dbPath) {
    sqlite3* db = nullptr;
    QString out;
    if (sqlite3_open_v2(QFile::encodeName(dbPath).constData(), &db, SQLITE_OPEN_READONLY,
                        nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK)
            while (sqlite3_step(st) == SQLITE_ROW)
                out += QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return out;
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void downloadsAndStores();
    void automaticCycleStoresOneMeasurement_data();
    void automaticCycleStoresOneMeasurement();
    void failuresExitNonZero_data();
    void failuresExitNonZero();
    void onlyOneCopyAtATime();
    void killedAtAnyPointLeavesWholeFiles_data();
    void killedAtAnyPointLeavesWholeFiles();
    void stalledLineIsCaughtByTheStallCheck();
    void listPrintsTheRowsOfTheAllDataList_data();
    void listPrintsTheRowsOfTheAllDataList();
    void auditPrintsTheTrailNewestFirst();
    void printWritesThePdfOfTheListedRows();
    void exportWritesTheAllDataListsFile_data();
    void exportWritesTheAllDataListsFile();
    void exportFhirWritesTheListedRows_data();
    void exportFhirWritesTheListedRows();
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
    QVERIFY2(first.output.contains(sim.path + " is connected."), qPrintable(first.output));
    QVERIFY(QFile::exists(home.path() + "/Trevanix.sqlite"));
    QVERIFY(QFile::exists(home.path() + "/hr_lowdata.dat"));

    const Result second = RunCli({"download", "--port", sim.path, "--yes"}, home.path());
    QCOMPARE(second.exitCode, 0);
    QVERIFY2(second.output.contains("No new data from analyzer."), qPrintable(second.output));
}

void TestCli::automaticCycleStoresOneMeasurement_data() {
    QTest::addColumn<QString>("timeout");
    QTest::newRow("the whole cycle") << "100";
    // The result is stored about 21 s in, the cycle ends about 25 s in: a limit that runs out
    // during the cartridge prompts is not a missing result.
    QTest::newRow("limit reached during the prompts") << "23";
}

void TestCli::automaticCycleStoresOneMeasurement() {
    QFETCH(QString, timeout);
    QTemporaryDir home;
    Sim sim({QStringLiteral("--records"), QStringLiteral("5"), QStringLiteral("--measure-after"),
             QStringLiteral("1000")});
    QVERIFY(!sim.path.isEmpty());
    const Result r = RunCli({"auto", "--port", sim.path, "--timeout", timeout}, home.path());
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.output.contains("1 new result stored"), qPrintable(r.output));
    QVERIFY2(!r.output.contains("no result within"), qPrintable(r.output));
    QCOMPARE(Count(home.path() + "/Trevanix.sqlite", "HospitalTlb"), 1);
    if (timeout != "100")
        return;
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

void TestCli::onlyOneCopyAtATime() {
    QTemporaryDir home;
    const QString port = home.path() + "/no-such-port";
    for (const QString& lockDir : {RuntimeDir(), home.path()}) {
        // The window program (or another trevanix-cli) holds the lock.
        SingleInstanceGuard other(lockDir);
        QVERIFY(other.TryAcquire());
        const Result r = RunCli({"download", "--port", port, "--yes"}, home.path());
        QCOMPARE(r.exitCode, 3);
        QVERIFY2(r.output.contains("another copy of Trevanix"), qPrintable(r.output));
        QVERIFY(!r.output.contains("connecting failure")); // it never touched the port
    }
    // Once the other copy has ended, it runs.
    QCOMPARE(RunCli({"download", "--port", port, "--yes"}, home.path()).exitCode, 1);
}

void TestCli::killedAtAnyPointLeavesWholeFiles_data() {
    QTest::addColumn<QString>("point");
    QTest::addColumn<int>("rowsAfterKill"); // -1: killed before any download
    QTest::newRow("first run: main file made") << "first-run-main-created" << -1;
    QTest::newRow("first run: user list written") << "first-run-users-written" << -1;
    QTest::newRow("first run: table list written") << "first-run-tables-written" << -1;
    QTest::newRow("store: before the commit") << "store-before-commit" << 0;
    QTest::newRow("store: after the commit") << "store-after-commit" << 3;
}

void TestCli::killedAtAnyPointLeavesWholeFiles() {
    QFETCH(QString, point);
    QFETCH(int, rowsAfterKill);
    QTemporaryDir home;
    const QString main = home.path() + "/Trevanix.sqlite";
    const QString down = home.path() + "/TrevanixDown.sqlite";
    std::unique_ptr<Sim> sim;
    QString port = home.path() + "/no-such-port";
    if (rowsAfterKill >= 0) {
        sim = std::make_unique<Sim>(QStringList{"--records", "3"});
        port = sim->path;
    }
    const Result killed = RunCli({"download", "--port", port, "--yes"}, home.path(), point);
    QVERIFY2(killed.killed, qPrintable(killed.output));
    if (rowsAfterKill >= 0) {
        QCOMPARE(IntegrityCheck(main), QStringLiteral("ok"));
        QCOMPARE(IntegrityCheck(down), QStringLiteral("ok"));
        QCOMPARE(Count(main, "HospitalTlb"), rowsAfterKill);
        QCOMPARE(Count(down, "DownLoadData"), rowsAfterKill);
        return;
    }
    // The next start finishes the first run: everything opens, nothing is called damaged.
    ScriptedPrompt prompt;
    CResultDatabases db(home.path(), &prompt);
    db.OpenDatabases();
    QVERIFY2(prompt.messages.empty(), prompt.messages.empty() ? "" : prompt.messages[0].text.c_str());
    QCOMPARE(db.DatabaseReady, 1);
    QVERIFY(db.DownloadTable.IsOpen());
    db.CloseDatabases();
    QCOMPARE(IntegrityCheck(main), QStringLiteral("ok"));
    QCOMPARE(Count(main, "HospitalTlb"), 0);
    QCOMPARE(Count(down, "DownLoadData"), 0);
}

void TestCli::stalledLineIsCaughtByTheStallCheck() {
    // The given port counts as the adapter, so a line that stops is noticed by the stall check
    // (its first error count some 9 s into the transfer), not only by the 90-s limit.
    QTemporaryDir home;
    Sim sim({"--records", "50", "--stall-after", "300"});
    QVERIFY(!sim.path.isEmpty());
    const Result r =
        RunCli({"download", "--port", sim.path, "--yes", "--timeout", "22"}, home.path());
    QVERIFY2(r.output.contains("Error count : 1"), qPrintable(r.output));
    QCOMPARE(r.exitCode, 1);
}


void TestCli::listPrintsTheRowsOfTheAllDataList_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");
    // IDs as stored: padded with blanks to the 14 digits of the settings.
    auto id = [](const char* text) { return QString::fromLatin1(text).leftJustified(14); };
    const QString a = "1\t2024-03-15\t14:05\t6.5 %\t" + id("P'1") + "\t" + id("OP1") +
                      "\tAnalyzer Tilted\n";
    const QString b = "2\t2024-03-01\t09:00\t> 14 %\t" + id("P2") + "\t" + id("OP2") + "\t \n";
    QTest::newRow("no option: every row, newest first")
        << QStringList{"list"} << 0
        << a + b + "3\t2023-03-10\t10:00\t5.7 %\t" + id("P'1") + "\t" + id("OP1") + "\t \n";
    QTest::newRow("a PID with a quote, typed without the blank")
        << QStringList{"list", "--from", "2024-01-01", "--to", "2024-03-31", "--pid", "P'1"} << 0
        << a;
    QTest::newRow("2 weeks back from the newest result")
        << QStringList{"list", "--period", "2"} << 0
        << a + b;
    QTest::newRow("367 days refused")
        << QStringList{"list", "--from", "2023-03-14", "--to", "2024-03-15"} << 2
        << "Trevanix: 365 data can be searched in maximum. \nPlease set up the date again.\n";
    QTest::newRow("a date that is not one") << QStringList{"list", "--from", "2024-13-01"} << 2
                                            << QString();
}

void TestCli::listPrintsTheRowsOfTheAllDataList() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    static QTemporaryDir home;
    static bool stored = false;
    if (!stored) {
        QVERIFY(WriteAll(home.filePath("results.txt"), "2023-03-10,10:00,5.7,P'1,OP1\n"
                                                       "2024-03-01,09:00,14.2,P2,OP2\n"
                                                       "2024-03-15,14:05,6.5,P'1,OP1,tilted\n"));
        Sim sim({QStringLiteral("--file"), home.filePath("results.txt")});
        QVERIFY(!sim.path.isEmpty());
        const Result r = RunCli({"download", "--port", sim.path, "--yes"}, home.path());
        QVERIFY2(r.exitCode == 0, qPrintable(r.output));
        stored = true;
    }
    const Result r = RunCli(args, home.path());
    QCOMPARE(r.exitCode, exitCode);
    if (exitCode == 2 && output.isEmpty())
        QVERIFY(r.output.contains("usage: trevanix-cli"));
    else
        QCOMPARE(r.output, output);
}

void TestCli::auditPrintsTheTrailNewestFirst() {
    QTemporaryDir home;
    {
        ScriptedPrompt prompt;
        CResultDatabases db(home.path(), &prompt);
        db.OpenDatabases();
        QVERIFY(StoreRows(db.ResultTable, {{"20240105", "0930", "065", "1'2", "7"},
                                           {"20240106", "1000", "070", "555", "7"}}));
        db.CloseDatabases();
    }
    Result r = RunCli({"audit"}, home.path());
    QCOMPARE(r.exitCode, 0); // nothing changed yet: an empty trail
    QCOMPARE(r.output, QString());
    {
        ScriptedPrompt prompt;
        CResultDatabases db(home.path(), &prompt);
        db.OpenDatabases();
        ListRowKey first{"20240105", "0930", "065", "1'2", "7", "", "19000101", 0, ""};
        ListRowKey second{"20240106", "1000", "070", "555", "7", "", "19000101", 0, ""};
        QCOMPARE(DeleteStoredResult(db.ResultTable, first, {"2026-12-08T09:00:00.000Z", "ann"})
                     .kind,
                 EditOutcome::Done);
        ResultEdits e;
        e.PID = "556";
        e.OPID = "7";
        e.p_DOB = "19000101";
        QCOMPARE(ModifyStoredResult(db.ResultTable, second, e, {"2026-12-08T10:00:00.000Z", "bo"})
                     .kind,
                 EditOutcome::Done);
        db.CloseDatabases();
    }
    r = RunCli({"audit"}, home.path());
    QCOMPARE(r.exitCode, 0);
    const QStringList lines = r.output.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    const QStringList modify = lines[0].split('\t');
    const QStringList remove = lines[1].split('\t');
    QCOMPARE(modify.mid(0, 4), (QStringList{"2026-12-08T10:00:00.000Z", "bo", "modify", "HospitalTlb"}));
    QVERIFY(modify[4].contains("\"PID\":\"555\""));
    QVERIFY(modify[5].contains("\"PID\":\"556\""));
    QCOMPARE(remove.mid(0, 4), (QStringList{"2026-12-08T09:00:00.000Z", "ann", "delete", "HospitalTlb"}));
    QVERIFY(remove[4].contains("\"PID\":\"1'2\""));
    QCOMPARE(remove[5], QString());
    QCOMPARE(RunCli({"audit", "--all"}, home.path()).exitCode, 2);
}

void TestCli::printWritesThePdfOfTheListedRows() {
    QTemporaryDir home;
    QVERIFY(WriteAll(home.filePath("results.txt"), "2024-02-01,08:00,7.1,P3,OP2\n"
                                                   "2024-03-01,09:00,6.2,P2,OP2\n"
                                                   "2024-03-15,14:05,6.5,P1,OP1,tilted\n"));
    {
        Sim sim({QStringLiteral("--file"), home.filePath("results.txt")});
        QVERIFY(!sim.path.isEmpty());
        const Result r = RunCli({"download", "--port", sim.path, "--yes"}, home.path());
        QVERIFY2(r.exitCode == 0, qPrintable(r.output));
    }
    const QString pdf = home.filePath("list.pdf");
    const Result r = RunCli({"print", "--pdf", pdf, "--period", "2", "--dpi", "300"}, home.path());
    QVERIFY2(r.exitCode == 0, qPrintable(r.output));
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    QVERIFY(text.waitForFinished(30000));
    const QString printed = QString::fromUtf8(text.readAllStandardOutput());
    QVERIFY2(printed.contains("Trevanix HbA1c Data List") && printed.contains("Patent ID"),
             qPrintable(printed));
    // The rows `list` shows for the same search, in its order, with its cell texts.
    const Result listed = RunCli({"list", "--period", "2"}, home.path());
    QCOMPARE(listed.exitCode, 0);
    QStringList printedRows;
    for (const QString& line : printed.split('\n'))
        if (line.contains(QRegularExpression("^\\s*\\d+\\s+\\d{4}-")))
            printedRows << line.simplified();
    QStringList listedRows;
    for (const QString& line : listed.output.split('\n', Qt::SkipEmptyParts))
        listedRows << line.simplified();
    QCOMPARE(printedRows, listedRows);
    QCOMPARE(printedRows.size(), 2);

    // No file name, or one that cannot be written: nothing written.
    QCOMPARE(RunCli({"print", "--period", "2"}, home.path()).exitCode, 2);
    const QString missing = home.filePath("no-folder/list.pdf");
    QCOMPARE(RunCli({"print", "--pdf", missing}, home.path()).exitCode, 1);
    QVERIFY(!QFile::exists(missing));
}

void TestCli::exportWritesTheAllDataListsFile_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("bytes"); // empty: no file written
    const QByteArray header = "No,Date,Time,Result,PID,OPID,Note\n";
    QTest::newRow("every row, newest first, cells quoted and guarded")
        << QStringList{"export", "--csv", "out.csv"} << 0
        << header + "1,2024-03-15,14:05,6.5 %,\"P,\"\"1\"\"\",'=1+2,Analyzer Tilted,\n"
                    "2,2024-03-01,09:00,> 14 %,\"two\nlines\",OP2, ,\n"
                    "3,2023-03-10,10:00,5.7 %,\"P,\"\"1\"\"\",'=1+2, ,\n";
    QTest::newRow("the list's search") << QStringList{"export", "--period", "1", "--csv", "out.csv"}
                                       << 0
                                       << header + "1,2024-03-15,14:05,6.5 %,\"P,\"\"1\"\"\","
                                                   "'=1+2,Analyzer Tilted,\n";
    QTest::newRow("nothing found: the header only")
        << QStringList{"export", "--csv", "out.csv", "--from", "2022-01-01", "--to", "2022-02-01"}
        << 0 << header;
    QTest::newRow("folder missing") << QStringList{"export", "--csv", "missing/out.csv"} << 1
                                    << QByteArray();
    QTest::newRow("no file named") << QStringList{"export", "--period", "1"} << 2 << QByteArray();
    QTest::newRow("367 days refused")
        << QStringList{"export", "--csv", "out.csv", "--from", "2023-03-14", "--to", "2024-03-15"}
        << 2 << QByteArray();
}

void TestCli::exportWritesTheAllDataListsFile() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, bytes);
    QTemporaryDir home;
    {
        CResultDatabases db(home.path());
        db.OpenDatabases();
        QVERIFY(StoreRows(db.ResultTable,
                          {{"20230310", "1000", "057", "P,\"1\"", "=1+2"},
                           {"20240301", "0900", "142", "two\nlines", "OP2"},
                           {"20240315", "1405", "065", "P,\"1\"", "=1+2", "Analyzer Tilted"}}));
        db.CloseDatabases();
    }
    const Result r = RunCli(args, home.path());
    QVERIFY2(r.exitCode == exitCode, qPrintable(r.output));
    if (bytes.isEmpty()) {
        QVERIFY(!QFile::exists(home.filePath("out.csv")));
        if (exitCode == 1)
            QVERIFY2(r.output.contains("The file could not be written:"), qPrintable(r.output));
        return;
    }
    QCOMPARE(ReadAll(home.filePath("out.csv")), bytes);
}

void TestCli::exportFhirWritesTheListedRows_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("labIni"); // empty: no lab_info.ini
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("pids"); // the subjects, in order; exit 0 only
    QTest::addColumn<QString>("system");
    const QStringList fhir{"export", "--fhir", "out.json"};
    QTest::newRow("every row, newest first")
        << fhir << QByteArray() << 0 << QStringList{"P,\"1\"", "two\nlines", "P,\"1\""}
        << "urn:trevanix:patient-id";
    QTest::newRow("the list's search, id_authority")
        << QStringList{"export", "--period", "1", "--fhir", "out.json"}
        << QByteArray("[LAB]\nid_authority=CLINIC\n") << 0 << QStringList{"P,\"1\""}
        << "urn:trevanix:patient-id:CLINIC";
    QTest::newRow("lab_info.ini refused")
        << fhir << QByteArray("[LAB]\nid_authority=A|B\n") << 1 << QStringList() << QString();
    QTest::newRow("folder missing") << QStringList{"export", "--fhir", "missing/out.json"}
                                    << QByteArray() << 1 << QStringList() << QString();
    QTest::newRow("no file named") << QStringList{"export", "--period", "1", "--fhir"}
                                   << QByteArray() << 2 << QStringList() << QString();
    QTest::newRow("CSV and FHIR at once") << fhir + QStringList{"--csv", "out.csv"} << QByteArray()
                                          << 2 << QStringList() << QString();
    QTest::newRow("367 days refused")
        << fhir + QStringList{"--from", "2023-03-14", "--to", "2024-03-15"} << QByteArray() << 2
        << QStringList() << QString();
}

void TestCli::exportFhirWritesTheListedRows() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, labIni);
    QFETCH(int, exitCode);
    QFETCH(QStringList, pids);
    QFETCH(QString, system);
    QTemporaryDir home;
    {
        CResultDatabases db(home.path());
        db.OpenDatabases();
        QVERIFY(StoreRows(db.ResultTable,
                          {{"20230310", "1000", "057", "P,\"1\"", "=1+2"},
                           {"20240301", "0900", "142", "two\nlines", "OP2"},
                           {"20240315", "1405", "065", "P,\"1\"", "=1+2", "Analyzer Tilted"}}));
        db.CloseDatabases();
    }
    if (!labIni.isEmpty())
        QVERIFY(WriteAll(home.filePath("lab_info.ini"), labIni));
    QVERIFY(WriteAll(home.filePath("out.json"), "old"));
    const Result r = RunCli(args, home.path());
    QVERIFY2(r.exitCode == exitCode, qPrintable(r.output));
    if (exitCode != 0) {
        QCOMPARE(ReadAll(home.filePath("out.json")), QByteArray("old"));
        return;
    }
    const QJsonArray entries =
        QJsonDocument::fromJson(ReadAll(home.filePath("out.json"))).object()["entry"].toArray();
    QStringList subjects;
    for (const QJsonValue& e : entries) {
        const QJsonObject id = e["resource"]["subject"]["identifier"].toObject();
        QCOMPARE(id["system"].toString(), system);
        subjects << id["value"].toString();
    }
    QCOMPARE(subjects, pids);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
