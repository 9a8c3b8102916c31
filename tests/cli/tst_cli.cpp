// trevanix-cli against the simulated analyzer, both as separate processes, in real time.

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/types.h>

#include "ResultRows.h"
#include "TestSupport.h"
#include "platform/SingleInstance.h"
#include "query/ResultEdit.h"
#include "storage/Databases.h"

#ifndef TREVANIX_CLI
#error "TREVANIX_CLI must name the command-line program"
#endif

namespace {

struct Result {
    int exitCode = -1;
    bool killed = false;
    QString output;
    QByteArray bytes; // the output as written
};

// The runtime folder the command-line program takes its lock in: its own, so that a copy of the
// program running on this machine does not stop the tests.
QString RuntimeDir() {
    static QTemporaryDir dir;
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return dir.path();
}

// wrapper: a program that runs the command line's program with its arguments after its own
// (unshare for a disk of its own).
Result RunCli(const QStringList& args, const QString& home, const QString& crashAt = QString(),
              const QStringList& wrapper = QStringList()) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TREVANIX_HOME"), home);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), RuntimeDir());
    if (!crashAt.isEmpty())
        env.insert(QStringLiteral("TREVANIX_CRASH_AT"), crashAt);
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(home);
    p.setProcessChannelMode(QProcess::MergedChannels);
    if (wrapper.isEmpty())
        p.start(QStringLiteral(TREVANIX_CLI), args);
    else
        p.start(wrapper[0], wrapper.mid(1) + QStringList{QStringLiteral(TREVANIX_CLI)} + args);
    p.closeWriteChannel();
    Result r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.killed = p.exitStatus() == QProcess::CrashExit;
    r.bytes = p.readAll();
    r.output = QString::fromLocal8Bit(r.bytes);
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
    void listAndAuditKeepOneLinePerRowWhateverTheBytes();
    void readersRunBesideTheProgramAndWriteNothing();
    void exportRunsWhileADownloadStores();
    void writesOnlyRegularFilesOrNewPaths_data();
    void writesOnlyRegularFilesOrNewPaths();
    void aFailedWriteSaysWhy_data();
    void aFailedWriteSaysWhy();
    void printWritesThePdfOfTheListedRows();
    void exportWritesTheAllDataListsFile_data();
    void exportWritesTheAllDataListsFile();
    void exportFhirWritesTheListedRows_data();
    void exportFhirWritesTheListedRows();
    void searchesWriteWhatTheyWroteBefore_data();
    void searchesWriteWhatTheyWroteBefore();
};

void TestCli::downloadsAndStores() {
    QTemporaryDir home;
    Sim sim({QStringLiteral("--records"), QStringLiteral("3")});
    QVERIFY(!sim.path.isEmpty());
    const Result first = RunCli({"download", "--port", sim.path, "--yes"}, home.path());
    QCOMPARE(first.exitCode, 0);
    QVERIFY2(first.output.contains("3 new results stored"), qPrintable(first.output));
    QVERIFY(first.output.contains(
        "Checking if communication between analyzer and PC is established.(Manual)"));
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
    QTest::addColumn<bool>("yes"); // --yes, else the question meets a closed input
    QTest::newRow("no such port") << QStringList() << false << 1
                                  << "Communication port connecting failure." << true;
    QTest::newRow("broken record") << QStringList{"--bad-terminator"} << true << 1
                                   << "Error. cyclic redundancy check : Fail." << true;
    QTest::newRow("empty analyzer") << QStringList{"--records", "0"} << true << 0
                                    << "DATA buffer of Trevanix is blank!!!" << true;
    QTest::newRow("declined") << QStringList{"--records", "3"} << true << 2
                              << "Do you want to download HbA1c results from analyzer? [y/N]"
                              << false;
}

void TestCli::failuresExitNonZero() {
    QFETCH(QStringList, simArgs);
    QFETCH(bool, useSim);
    QFETCH(int, exitCode);
    QFETCH(QString, says);
    QFETCH(bool, yes);
    QTemporaryDir home;
    std::unique_ptr<Sim> sim;
    QString port = home.path() + "/no-such-port";
    if (useSim) {
        sim = std::make_unique<Sim>(simArgs);
        port = sim->path;
    }
    QStringList args{"download", "--port", port};
    if (yes)
        args << "--yes";
    const Result r = RunCli(args, home.path());
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.output.contains(says), qPrintable(r.output));
    QVERIFY2(!r.output.contains("new result"), qPrintable(r.output));

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
    QVERIFY2(prompt.messages.empty(),
             prompt.messages.empty() ? "" : prompt.messages[0].text.c_str());
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
    const QString a =
        "1\t2024-03-15\t14:05\t6.5 %\t" + id("P'1") + "\t" + id("OP1") + "\tAnalyzer Tilted\n";
    const QString b = "2\t2024-03-01\t09:00\t> 14 %\t" + id("P2") + "\t" + id("OP2") + "\t \n";
    QTest::newRow("no option: every row, newest first")
        << QStringList{"list"} << 0
        << a + b + "3\t2023-03-10\t10:00\t5.7 %\t" + id("P'1") + "\t" + id("OP1") + "\t \n";
    QTest::newRow("a PID with a quote, typed without the blank")
        << QStringList{"list", "--from", "2024-01-01", "--to", "2024-03-31", "--pid", "P'1"} << 0
        << a;
    QTest::newRow("2 weeks back from the newest result")
        << QStringList{"list", "--period", "2"} << 0 << a + b;
    QTest::newRow("367 days refused")
        << QStringList{"list", "--from", "2023-03-14", "--to", "2024-03-15"} << 2
        << "Trevanix: 365 data can be searched in maximum. \nPlease set up the date again.\n";
    QTest::newRow("a date that is not one")
        << QStringList{"list", "--from", "2024-13-01"} << 2 << QString();
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
        QCOMPARE(
            DeleteStoredResult(db.ResultTable, first, {"2026-12-08T09:00:00.000Z", "ann"}).kind,
            EditOutcome::Done);
        ResultEdits e;
        e.PID = "556";
        e.OPID = "7";
        e.p_DOB = "19000101";
        QCOMPARE(
            ModifyStoredResult(db.ResultTable, second, e, {"2026-12-08T10:00:00.000Z", "bo"}).kind,
            EditOutcome::Done);
        db.CloseDatabases();
    }
    r = RunCli({"audit"}, home.path());
    QCOMPARE(r.exitCode, 0);
    const QStringList lines = r.output.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    const QStringList modify = lines[0].split('\t');
    const QStringList remove = lines[1].split('\t');
    QCOMPARE(modify.mid(0, 4),
             (QStringList{"2026-12-08T10:00:00.000Z", "bo", "modify", "HospitalTlb"}));
    QVERIFY(modify[4].contains("\"PID\":\"555\""));
    QVERIFY(modify[5].contains("\"PID\":\"556\""));
    QCOMPARE(remove.mid(0, 4),
             (QStringList{"2026-12-08T09:00:00.000Z", "ann", "delete", "HospitalTlb"}));
    QVERIFY(remove[4].contains("\"PID\":\"1'2\""));
    QCOMPARE(remove[5], QString());
    QCOMPARE(RunCli({"audit", "--all"}, home.path()).exitCode, 2);
}

namespace {

// What `list` and `audit` escape, undone: the field's stored bytes.
QByteArray Unescaped(const QByteArray& field) {
    QByteArray out;
    for (int i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            out += field[i];
            continue;
        }
        const char c = field[++i];
        if (c == 't')
            out += '\t';
        else if (c == 'n')
            out += '\n';
        else if (c == 'r')
            out += '\r';
        else if (c == 'x' && i + 2 < field.size()) {
            out += static_cast<char>(field.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        } else
            out += c;
    }
    return out;
}

// No byte a terminal could take for a control, but the tab between fields and the line feed.
bool TerminalSafe(const QByteArray& bytes) {
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7f || (c >= 0x80 && c < 0xa0))
            return false;
    }
    return true;
}

} // namespace

void TestCli::listAndAuditKeepOneLinePerRowWhateverTheBytes() {
    QTemporaryDir home;
    // The analyzer can send these bytes in an ID: separators, a backslash, terminal controls
    // (ESC, BEL, DEL, an 8-bit CSI), and a UTF-8 character whose second byte is one.
    const std::string pid1 = "a\tb\\", opid1 = "c\nd\re";
    const std::string pid2 = "\x1b[2J\x07", opid2 = "\xc5\x9b\x7f\x9b";
    {
        CResultDatabases db(home.path());
        db.OpenDatabases();
        QVERIFY(StoreRows(db.ResultTable, {{"20240315", "1405", "065", pid1, opid1},
                                           {"20240301", "0900", "065", pid2, opid2}}));
        db.CloseDatabases();
    }
    const Result listed = RunCli({"list"}, home.path());
    QCOMPARE(listed.exitCode, 0);
    QCOMPARE(listed.bytes, QByteArray("1\t2024-03-15\t14:05\t6.5 %\ta\\tb\\\\\tc\\nd\\re\t \n"
                                      "2\t2024-03-01\t09:00\t6.5 %\t\\x1B[2J\\x07\t"
                                      "\xc5\\x9B\\x7F\\x9B\t \n"));
    const QList<QByteArray> lines = listed.bytes.split('\n');
    QCOMPARE(Unescaped(lines[0].split('\t')[4]).toStdString(), pid1);
    QCOMPARE(Unescaped(lines[1].split('\t')[5]).toStdString(), opid2);

    {
        CResultDatabases db(home.path());
        db.OpenDatabases();
        ListRowKey first{"20240315", "1405", "065", pid1, opid1, "", "19000101", 0, ""};
        ListRowKey second{"20240301", "0900", "065", pid2, opid2, "", "19000101", 0, ""};
        ResultEdits e;
        e.PID = pid2;
        e.OPID = opid1;
        e.p_DOB = "19000101";
        e.P_MEMO = "memo\nline\x1b]0;title\x07";
        QCOMPARE(
            ModifyStoredResult(db.ResultTable, first, e, {"2026-12-08T10:00:00.000Z", "a\tb"}).kind,
            EditOutcome::Done);
        QCOMPARE(DeleteStoredResult(db.ResultTable, second, {"2026-12-08T11:00:00.000Z", "c"}).kind,
                 EditOutcome::Done);
        db.CloseDatabases();
    }
    const Result audit = RunCli({"audit"}, home.path());
    QCOMPARE(audit.exitCode, 0);
    QVERIFY2(TerminalSafe(audit.bytes), audit.bytes.toHex(' ').constData());
    const QList<QByteArray> rows = audit.bytes.split('\n');
    QCOMPARE(rows.size(), 3); // two lines and what follows the last line feed
    QCOMPARE(rows[2], QByteArray());
    const QList<QByteArray> modify = rows[1].split('\t');
    QCOMPARE(modify.size(), 6);
    QCOMPARE(Unescaped(modify[1]), QByteArray("a\tb"));
    const QJsonObject after = QJsonDocument::fromJson(Unescaped(modify[5])).object();
    QCOMPARE(after.value("P_MEMO").toString(), QString::fromUtf8("memo\nline\x1b]0;title\x07"));
    QCOMPARE(after.value("PID").toString(), QString::fromUtf8("\x1b[2J\x07"));
    QCOMPARE(after.value("OPID").toString(), QString::fromUtf8("c\nd\re"));
    const QJsonObject deleted = QJsonDocument::fromJson(Unescaped(rows[0].split('\t')[4])).object();
    QCOMPARE(deleted.value("OPID").toString(), QString::fromUtf8("\u015b\u007f\u009b"));
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
    QTest::newRow("the list's search")
        << QStringList{"export", "--period", "1", "--csv", "out.csv"} << 0
        << header + "1,2024-03-15,14:05,6.5 %,\"P,\"\"1\"\"\","
                    "'=1+2,Analyzer Tilted,\n";
    QTest::newRow("nothing found: the header only")
        << QStringList{"export", "--csv", "out.csv", "--from", "2022-01-01", "--to", "2022-02-01"}
        << 0 << header;
    QTest::newRow("folder missing")
        << QStringList{"export", "--csv", "missing/out.csv"} << 1 << QByteArray();
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

namespace {

// Each file of the folder with its bytes.
QMap<QString, QByteArray> Files(const QString& folder) {
    QMap<QString, QByteArray> out;
    for (const QString& f : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        out[f] = ReadAll(QDir(folder).filePath(f));
    return out;
}

// The main database with `count` results, one a minute from 2020-01-01 on, PIDs "P<n>".
void StoreMany(const QString& home, int count) {
    CResultDatabases db(home);
    db.OpenDatabases();
    const std::string sql =
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < " +
        std::to_string(count) +
        ") INSERT INTO HospitalTlb (DATE,TIME,HbA1c_VALUE,PID,OPID,EQ_TYPE,p_NAME,p_DOB,P_AGE,"
        "P_DIAGNOSE,DATE_YEAR,DATE_MONTH,DATE_DAY,TIME_HOUR,TIME_MIN,P_MEMO) SELECT "
        "strftime('%Y%m%d', '2020-01-01', '+' || (i / 1440) || ' days'), "
        "printf('%02d%02d', (i / 60) % 24, i % 60), '065', 'P' || i, 'OP', ' ', '', '19000101', "
        "0, 0, 2020, 1, 1, 0, 0, '' FROM n";
    QVERIFY(db.ResultTable.Execute(sql.c_str()));
    db.CloseDatabases();
}

} // namespace

void TestCli::readersRunBesideTheProgramAndWriteNothing() {
    // The window program runs (it holds both one-copy locks) and the files a start would
    // complete are missing: the readers read, take no lock and write nothing.
    QTemporaryDir home, out;
    {
        CResultDatabases db(home.path());
        db.OpenDatabases();
        QVERIFY(StoreRows(db.ResultTable, {{"20240105", "0930", "065", "P1", "7"},
                                           {"20240106", "1000", "070", "P2", "7"}}));
        db.CloseDatabases();
    }
    for (const char* f : {"TrevanixDown.sqlite", "user_info.ini", "Trevanix.ini", "set_info.ini"})
        QFile::remove(home.filePath(QString::fromLatin1(f)));
    SingleInstanceGuard window(RuntimeDir()), folder(home.path());
    QVERIFY(window.TryAcquire() && folder.TryAcquire());
    const QMap<QString, QByteArray> before = Files(home.path());

    const Result listed = RunCli({"list"}, home.path());
    QCOMPARE(listed.exitCode, 0);
    QCOMPARE(listed.output.count('\n'), 2);
    for (const QStringList& args :
         {QStringList{"export", "--csv", out.filePath("a.csv")},
          QStringList{"print", "--pdf", out.filePath("a.pdf")}, QStringList{"audit"}}) {
        const Result r = RunCli(args, home.path());
        QVERIFY2(r.exitCode == 0, qPrintable(args.join(' ') + ": " + r.output));
    }
    QCOMPARE(ReadAll(out.filePath("a.csv")).count('\n'), 3);
    QVERIFY(ReadAll(out.filePath("a.pdf")).startsWith("%PDF"));
    QCOMPARE(Files(home.path()), before);
    // Downloads still take turns with the program.
    QCOMPARE(
        RunCli({"download", "--port", home.filePath("no-port"), "--yes"}, home.path()).exitCode, 3);

    // A store cut short (a crash): the readers say so and leave the files for the program to
    // roll back.
    const QString journal = home.filePath("Trevanix.sqlite-journal");
    QVERIFY(WriteAll(journal, QByteArray::fromHex("d9d505f920a163d7") + QByteArray(4088, '\0')));
    const QMap<QString, QByteArray> crashed = Files(home.path());
    const Result refused = RunCli({"list"}, home.path());
    QCOMPARE(refused.exitCode, 1);
    QVERIFY2(refused.output.contains("needs a repair"), qPrintable(refused.output));
    QCOMPARE(Files(home.path()), crashed);
}

void TestCli::exportRunsWhileADownloadStores() {
    // A clinic's nightly export of 100,000 results while the program downloads: every export
    // succeeds and holds the download whole or not at all, and the download's store succeeds.
    QTemporaryDir home, out;
    constexpr int kStored = 100000, kNew = 40;
    StoreMany(home.path(), kStored);
    Sim sim({QStringLiteral("--records"), QString::number(kNew)});
    QVERIFY(!sim.path.isEmpty());
    QProcess download;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TREVANIX_HOME"), home.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), RuntimeDir());
    download.setProcessEnvironment(env);
    download.setWorkingDirectory(home.path());
    download.setProcessChannelMode(QProcess::MergedChannels);
    download.start(QStringLiteral(TREVANIX_CLI), {"download", "--port", sim.path, "--yes"});
    QVERIFY(download.waitForStarted());
    QSet<int> seen;
    int exports = 0;
    // Exports one after the other until one has seen the new results (at most 10 after the
    // download ended).
    for (int after = 0; after < 10 && !seen.contains(kStored + kNew); ++exports) {
        if (download.state() == QProcess::NotRunning)
            ++after;
        const Result r = RunCli({"export", "--csv", out.filePath("n.csv")}, home.path());
        QVERIFY2(r.exitCode == 0, qPrintable(r.output));
        const QByteArray csv = ReadAll(out.filePath("n.csv"));
        const int rows = csv.count('\n') - 1;
        QVERIFY2(rows == kStored || rows == kStored + kNew, qPrintable(QString::number(rows)));
        // Newest first: the new results lead, the oldest stored one ends the file.
        QVERIFY(csv.endsWith(",P0,OP, ,\n"));
        seen.insert(rows);
    }
    QVERIFY(download.waitForFinished(120000));
    const QString said = QString::fromLocal8Bit(download.readAll());
    QVERIFY2(download.exitCode() == 0, qPrintable(said));
    QVERIFY2(said.contains(QStringLiteral("%1 new results stored").arg(kNew)), qPrintable(said));
    QVERIFY(seen.contains(kStored + kNew));
    qInfo("%d exports, %d before the download's results were stored", exports,
          seen.contains(kStored) ? 1 : 0);
}

void TestCli::writesOnlyRegularFilesOrNewPaths_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("written");
    for (const char* command : {"export", "print"}) {
        auto row = [command](const char* target, bool written) {
            QTest::addRow("%s onto %s", command, target) << command << target << written;
        };
        row("a new path", true);
        row("a regular file", true);
        row("a link to a regular file", true);
        row("a FIFO", false);
        row("a link to a FIFO", false);
        row("a character device", false);
        row("a link to a character device", false);
        row("a link to nothing", false);
        row("a folder", false);
    }
}

void TestCli::writesOnlyRegularFilesOrNewPaths() {
    QFETCH(QString, command);
    QFETCH(QString, target);
    QFETCH(bool, written);
    QTemporaryDir home, out;
    {
        CResultDatabases db(home.path());
        db.OpenDatabases();
        QVERIFY(StoreRows(db.ResultTable, {{"20240105", "0930", "065", "P1", "7"}}));
        db.CloseDatabases();
    }
    const QString path = out.filePath("target");
    const QString node = out.filePath("node");
    const QByteArray nodeName = QFile::encodeName(node);
    if (target.contains("regular file"))
        QVERIFY(WriteAll(node, "earlier file"));
    if (target.contains("FIFO"))
        QCOMPARE(::mkfifo(nodeName.constData(), 0600), 0);
    if (target.contains("character device") &&
        ::mknod(nodeName.constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
        QSKIP("this user cannot make a device node");
    if (target.contains("folder"))
        QVERIFY(QDir().mkdir(path));
    if (target.startsWith("a link"))
        QVERIFY(QFile::link(node, path));
    else if (target != "a new path" && !target.contains("folder"))
        QVERIFY(QFile::rename(node, path));
    struct stat before {};
    ::lstat(QFile::encodeName(path).constData(), &before);

    const Result r = RunCli({command, command == "export" ? "--csv" : "--pdf", path}, home.path());
    struct stat after {};
    QCOMPARE(::lstat(QFile::encodeName(path).constData(), &after), 0);
    if (written) {
        QVERIFY2(r.exitCode == 0, qPrintable(r.output));
        // Through a link the regular file behind it is replaced; the link stays.
        QCOMPARE(S_ISLNK(after.st_mode), target.startsWith("a link"));
        const QByteArray bytes = ReadAll(target.startsWith("a link") ? node : path);
        QVERIFY(bytes.startsWith(command == "export" ? "No,Date" : "%PDF"));
        return;
    }
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.output.contains("The file could not be written:") &&
                 r.output.contains("not a regular file"),
             qPrintable(r.output));
    // Nothing replaced, nothing left beside it.
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(after.st_ino, before.st_ino);
    if (QFileInfo::exists(node)) {
        struct stat n {};
        QCOMPARE(::lstat(nodeName.constData(), &n), 0);
        QVERIFY(!S_ISREG(n.st_mode));
    }
    QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).filter(".part"),
             QStringList());
}

void TestCli::aFailedWriteSaysWhy_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("mount"); // tmpfs options of the disk the file goes to
    QTest::addColumn<QString>("reason");
    for (const char* command : {"export", "print"}) {
        QTest::addRow("%s: full disk", command) << command << "size=16k"
                                                << "no space left on the disk";
        QTest::addRow("%s: read-only disk", command) << command << "ro"
                                                     << "the disk is read-only";
    }
}

void TestCli::aFailedWriteSaysWhy() {
    QFETCH(QString, command);
    QFETCH(QString, mount);
    QFETCH(QString, reason);
    // A small disk of the test's own: a tmpfs in a mount namespace of its own (unshare).
    QTemporaryDir home, disk;
    QProcess probe;
    probe.start(QStringLiteral("unshare"),
                {"-rm", "sh", "-c", "mount -t tmpfs tmpfs \"$0\"", disk.path()});
    if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit ||
        probe.exitCode() != 0)
        QSKIP("no mount namespace for a small disk here");
    StoreMany(home.path(), 3000); // some 150 KB of CSV, more than 16 KB of PDF
    const QStringList wrapper{"unshare",
                              "-rm",
                              "sh",
                              "-c",
                              "mount -t tmpfs -o " + mount + " tmpfs \"$0\" && exec \"$@\"",
                              disk.path()};
    const QString path = disk.filePath("out");
    const Result r = RunCli({command, command == "export" ? "--csv" : "--pdf", path}, home.path(),
                            QString(), wrapper);
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.output.contains("The file could not be written:") && r.output.contains(reason),
             qPrintable(r.output));
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

namespace {

// 600 results stored out of date order (as years of corrections leave them): 40 days from
// 2023-01-01 to 2024-05-22, 15 a day, with runs of equal date, time and value that only the
// IDs (or the stored order) tell apart; then a few with awkward bytes and two exact repeats.
void StoreOutOfOrder(const QString& home) {
    CResultDatabases db(home);
    db.OpenDatabases();
    const char* sql =
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < 600),"
        " m(k) AS (SELECT (i * 37) % 600 FROM n)"
        " INSERT INTO HospitalTlb (DATE,TIME,HbA1c_VALUE,PID,OPID,EQ_TYPE,p_NAME,p_DOB,P_AGE,"
        "P_DIAGNOSE,DATE_YEAR,DATE_MONTH,DATE_DAY,TIME_HOUR,TIME_MIN,P_MEMO) SELECT "
        "strftime('%Y%m%d', '2023-01-01', '+' || ((k * 13) % 520) || ' days'), "
        "substr('090009301000', 1 + 4 * (k % 3), 4), printf('%03d', 50 + k % 5), "
        "'P' || (k % 17) || substr('  ', 1, k % 2), 'OP' || (k % 3), "
        "CASE WHEN k % 11 = 0 THEN 'Analyzer Tilted' ELSE ' ' END, '', '19000101', "
        "0, 0, 2023, 1, 1, 9, 0, '' FROM m";
    QVERIFY(db.ResultTable.Execute(sql));
    QVERIFY(StoreRows(db.ResultTable, {{"20240522", "1000", "142", "P'5,\"x\"\t", "=OP1"},
                                       {"20231210", "0930", "052", "P5\n", "OP1"},
                                       {"20240101", "0900", "035", "P5", "OP1"},
                                       {"20240101", "0900", "035", "P5", "OP1"}}));
    db.CloseDatabases();
}

} // namespace

void TestCli::searchesWriteWhatTheyWroteBefore_data() {
    // Each case: the arguments and a file of tests/data holding what the command wrote
    // (terminal output, then for an export the file's bytes), taken from the program that read
    // every row into memory: the searches must not change a byte.
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("expected");
    QTest::newRow("every row") << QStringList{"list"} << "cli-list-all.txt";
    QTest::newRow("3 weeks back from the newest")
        << QStringList{"list", "--period", "3"} << "cli-list-period3.txt";
    QTest::newRow("a range") << QStringList{"list", "--from", "2023-06-01", "--to", "2023-09-30"}
                             << "cli-list-range.txt";
    QTest::newRow("a PID alone: 7 days back from the newest")
        << QStringList{"list", "--pid", "P5"} << "cli-list-pid.txt";
    QTest::newRow("an OPID and an end")
        << QStringList{"list", "--opid", "OP1", "--to", "2024-01-15"} << "cli-list-opid-to.txt";
    QTest::newRow("a start: up to the newest")
        << QStringList{"list", "--from", "2023-12-01", "--pid", "P5"} << "cli-list-from.txt";
    QTest::newRow("a start after the newest")
        << QStringList{"list", "--from", "2025-01-01"} << "cli-list-refused.txt";
    QTest::newRow("nothing found")
        << QStringList{"list", "--from", "2022-01-01", "--to", "2022-02-01"} << "cli-list-none.txt";
    QTest::newRow("export every row")
        << QStringList{"export", "--csv", "out.csv"} << "cli-export-all.txt";
    QTest::newRow("export 12 weeks")
        << QStringList{"export", "--csv", "out.csv", "--period", "12"} << "cli-export-period12.txt";
}

void TestCli::searchesWriteWhatTheyWroteBefore() {
    QFETCH(QStringList, args);
    QFETCH(QString, expected);
    static QTemporaryDir home;
    static bool stored = false;
    if (!stored) {
        StoreOutOfOrder(home.path());
        stored = true;
    }
    QFile::remove(home.filePath("out.csv"));
    const Result r = RunCli(args, home.path());
    QByteArray written = r.bytes;
    if (args.first() == "export")
        written += ReadAll(home.filePath("out.csv"));
    QCOMPARE(written, ReadAll(QStringLiteral(TREVANIX_TEST_DATA "/") + expected));
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
