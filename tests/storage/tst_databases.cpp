#include "QuietNotifier.h"
#include "TestSupport.h"
#include "platform/ProfileFile.h"
#include "storage/Databases.h"
#include "storage/DownloadDecoder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>
#include <sqlite3.h>

namespace {

void Add(CResultTable& t, const char* date, const char* time, const char* value) {
    QVERIFY(t.AddNew());
    t.Record.DATE = date;
    t.Record.TIME = time;
    t.Record.HbA1c_VALUE = value;
    QVERIFY(t.Update());
}

// What the table holds, newest first (opening lists nothing itself).
QStringList Values(CResultTable& t) {
    QStringList out;
    RequeryDefault(t);
    for (t.MoveFirst(); !t.IsEOF(); t.MoveNext())
        out << QString::fromLatin1(t.Record.HbA1c_VALUE.c_str());
    return out;
}

} // namespace

class TestDatabases : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir_;
    QString base_;
    QString F(const char* name) const { return QDir(base_).filePath(QString::fromLatin1(name)); }

private Q_SLOTS:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        base_ = dir_->path();
    }

    void firstRunCreatesEverything() {
        ScriptedPrompt prompt;
        CResultDatabases db(base_, &prompt);
        db.OpenDatabases();
        QCOMPARE(db.DatabaseReady, 1);
        QVERIFY(db.ResultTable.IsOpen());
        QVERIFY(db.DownloadTable.IsOpen());
        QCOMPARE(db.ResultTable.GetTableName(), "HospitalTlb");
        QCOMPARE(db.DownloadTable.GetTableName(), "DownLoadData");
        QVERIFY(db.ResultTable.Sort().Equals(kDefaultSort));
        QVERIFY(db.ResultTable.Filter().Equals(""));
        QCOMPARE(db.CurrentUser, std::string("Trevanix.sqlite"));
        QCOMPARE(db.CurrentTable, std::string("HospitalTlb"));
        QCOMPARE(db.UserList, std::vector<std::string>{"Trevanix.sqlite"});
        QCOMPARE(db.TableList, std::vector<std::string>{"HospitalTlb"});
        QVERIFY(prompt.messages.empty());

        QCOMPARE(ReadAll(F("user_info.ini")),
                 QByteArray("[User Count]\r\ncurrent_user=Trevanix.sqlite\r\ncnt=1\r\n"
                            "[User Set]\r\nno1=Trevanix.sqlite\r\n"));
        QCOMPARE(ReadAll(F("Trevanix.ini")),
                 QByteArray("[Table Count]\r\ncurrent_table=HospitalTlb\r\ncnt=1\r\n"
                            "[Table Set]\r\nno1=HospitalTlb\r\n"));
        QVERIFY(QFile::exists(F("Trevanix.sqlite")));
        QVERIFY(QFile::exists(F("TrevanixDown.sqlite")));
        QCOMPARE(db.ResultTable.TableColumnCount(), 16);
        QCOMPARE(db.DownloadTable.TableColumnCount(), 16);

        db.CloseDatabases();
        QCOMPARE(db.DatabaseReady, 0);
        QVERIFY(db.MainDbPath.isEmpty());
        QVERIFY(!db.ResultTable.IsOpen());
        QVERIFY(!db.DownloadTable.IsOpen());
    }

    void secondRunOpensExistingNewestFirst() {
        {
            CResultDatabases db(base_);
            db.OpenDatabases();
            Add(db.ResultTable, "20240101", "0900", "060");
            Add(db.ResultTable, "20240301", "0800", "070");
            Add(db.ResultTable, "20240301", "0800", "075");
            Add(db.ResultTable, "20240201", "2359", "080");
            Add(db.DownloadTable, "20240301", "0800", "070");
        }
        const QByteArray usersBefore = ReadAll(F("user_info.ini"));
        ScriptedPrompt prompt;
        CResultDatabases db(base_, &prompt);
        db.OpenDatabases();
        QCOMPARE(db.DatabaseReady, 1);
        QCOMPARE(Values(db.ResultTable), (QStringList{"075", "070", "080", "060"}));
        QCOMPARE(Values(db.DownloadTable), QStringList{"070"});
        QCOMPARE(db.UserList, std::vector<std::string>{"Trevanix.sqlite"});
        QCOMPARE(db.TableList, std::vector<std::string>{"HospitalTlb"});
        QCOMPARE(ReadAll(F("user_info.ini")), usersBefore); // the existing branch writes nothing
        QVERIFY(prompt.messages.empty());
    }

    void damagedMainDatabaseIsLeftUntouched_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("text file") << QByteArray("these are not results\n");
        QTest::newRow("garbage of a page") << QByteArray(4096, '\x5a');
        QByteArray header("SQLite format 3");
        header.append('\0');
        header.append(QByteArray(84, '\xff'));
        QTest::newRow("sqlite header, damaged rest") << header;
    }
    void damagedMainDatabaseIsLeftUntouched() {
        QFETCH(QByteArray, content);
        { CResultDatabases(base_).OpenDatabases(); }
        QVERIFY(WriteAll(F("Trevanix.sqlite"), content));
        const QByteArray users = ReadAll(F("user_info.ini"));
        ScriptedPrompt prompt;
        CResultDatabases db(base_, &prompt);
        db.OpenDatabases();
        QCOMPARE(db.DatabaseReady, 0);
        QVERIFY(!db.ResultTable.IsOpen());
        QCOMPARE(ReadAll(F("Trevanix.sqlite")), content);
        QCOMPARE(ReadAll(F("user_info.ini")), users);
        QCOMPARE(prompt.messages.size(), size_t(1));
        const QString text = QString::fromStdString(prompt.messages[0].text);
        QVERIFY2(text.contains(QDir::toNativeSeparators(F("Trevanix.sqlite"))), qPrintable(text));
        QVERIFY(text.contains("could not be opened"));
        QCOMPARE(prompt.messages[0].title, std::string("Trevanix"));
    }

    // A start after a crash, a restore of the main file alone, or an older program's leftovers:
    // what is missing is completed, and the stored results show without any message.
    void missingPiecesAreCompletedAtStart_data() {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("table");
        QTest::newRow("download database missing") << "rm TrevanixDown.sqlite"
                                                   << "HospitalTlb";
        QTest::newRow("download table dropped") << "drop DownLoadData"
                                                << "HospitalTlb";
        QTest::newRow("download database damaged") << "garble TrevanixDown.sqlite"
                                                   << "HospitalTlb";
        QTest::newRow("profile files missing") << "rm ini"
                                               << "HospitalTlb";
        QTest::newRow("current_table key missing") << "no current_table"
                                                   << "HospitalTlb";
        QTest::newRow("table of another name, profiles missing") << "rm ini"
                                                                 << "ClinicA";
        QTest::newRow("table list names a missing table") << "wrong current_table"
                                                          << "HospitalTlb";
    }
    void missingPiecesAreCompletedAtStart() {
        QFETCH(QString, damage);
        QFETCH(QString, table);
        {
            CResultDatabases db(base_);
            db.OpenDatabases();
            if (table != "HospitalTlb") {
                QVERIFY(db.ResultTable.Execute(
                    ("ALTER TABLE [HospitalTlb] RENAME TO [" + table.toStdString() + "]").c_str()));
                db.ResultTable.SetTableName(table.toLatin1().constData());
            }
            QVERIFY(db.ResultTable.Requery());
            Add(db.ResultTable, "20240101", "0800", "065");
            Add(db.ResultTable, "20240102", "0900", "071");
            Add(db.DownloadTable, "20240102", "0900", "071");
        }
        if (damage == "rm TrevanixDown.sqlite") {
            QVERIFY(QFile::remove(F("TrevanixDown.sqlite")));
        } else if (damage == "garble TrevanixDown.sqlite") {
            QVERIFY(WriteAll(F("TrevanixDown.sqlite"), QByteArray(4096, '\x5a')));
        } else if (damage == "drop DownLoadData") {
            CResultTable down;
            down.SetTableName("DownLoadData");
            QVERIFY(down.Open(QFile::encodeName(F("TrevanixDown.sqlite")).constData()));
            QVERIFY(down.Execute("DROP TABLE [DownLoadData]"));
        } else if (damage == "rm ini") {
            QVERIFY(QFile::remove(F("user_info.ini")));
            QVERIFY(QFile::remove(F("Trevanix.ini")));
        } else if (damage == "no current_table") {
            QVERIFY(WriteAll(F("Trevanix.ini"), "[Table Count]\r\ncnt=1\r\n"));
        } else if (damage == "wrong current_table") {
            QVERIFY(WriteAll(F("Trevanix.ini"), "[Table Count]\r\ncurrent_table=Gone\r\ncnt=1\r\n"
                                                "[Table Set]\r\nno1=Gone\r\n"));
        }
        ScriptedPrompt prompt;
        CResultDatabases db(base_, &prompt);
        db.OpenDatabases();
        QVERIFY2(prompt.messages.empty(),
                 prompt.messages.empty() ? "" : prompt.messages[0].text.c_str());
        QCOMPARE(db.DatabaseReady, 1);
        QCOMPARE(db.CurrentTable, table.toStdString());
        QCOMPARE(Values(db.ResultTable), (QStringList{"071", "065"}));
        QVERIFY(db.DownloadTable.IsOpen());
        QCOMPARE(ReadProfileString(F("user_info.ini"), "User Count", "current_user"),
                 std::string("Trevanix.sqlite"));
        QCOMPARE(ReadProfileString(F("Trevanix.ini"), "Table Count", "current_table"),
                 table.toStdString());
        // The next start finds everything in place and needs nothing more.
        db.CloseDatabases();
        CResultDatabases again(base_, &prompt);
        again.OpenDatabases();
        QCOMPARE(again.DatabaseReady, 1);
        QVERIFY(prompt.messages.empty());
    }

    // A first run cut short between making the main file and its table, its profile files or
    // the download database: the next start finishes it.
    void firstRunCutShortIsFinished_data() {
        QTest::addColumn<bool>("withProfiles");
        QTest::newRow("zero-byte main file only") << false;
        QTest::newRow("zero-byte main file and profiles") << true;
    }
    void firstRunCutShortIsFinished() {
        QFETCH(bool, withProfiles);
        QVERIFY(WriteAll(F("Trevanix.sqlite"), QByteArray()));
        if (withProfiles) {
            QVERIFY(WriteAll(F("user_info.ini"), "[User Count]\r\ncurrent_user=Trevanix.sqlite\r\n"
                                                 "cnt=1\r\n[User Set]\r\nno1=Trevanix.sqlite\r\n"));
            QVERIFY(WriteAll(F("Trevanix.ini"), "[Table Count]\r\ncurrent_table=HospitalTlb\r\n"
                                                "cnt=1\r\n[Table Set]\r\nno1=HospitalTlb\r\n"));
        }
        ScriptedPrompt prompt;
        CResultDatabases db(base_, &prompt);
        db.OpenDatabases();
        QVERIFY(prompt.messages.empty());
        QCOMPARE(db.DatabaseReady, 1);
        QCOMPARE(db.CurrentTable, std::string("HospitalTlb"));
        QVERIFY(db.DownloadTable.IsOpen());
        Add(db.ResultTable, "20240101", "0800", "065");
        QCOMPARE(Values(db.ResultTable), QStringList{"065"});
    }

    void healthyStartWritesNothing() {
        {
            CResultDatabases db(base_);
            db.OpenDatabases();
            Add(db.ResultTable, "20240101", "0800", "065");
        }
        QMap<QString, QByteArray> before;
        for (const QString& f : QDir(base_).entryList(QDir::Files))
            before[f] = ReadAll(F(f.toLatin1().constData()));
        {
            CResultDatabases db(base_);
            db.OpenDatabases();
            QCOMPARE(db.DatabaseReady, 1);
            QCOMPARE(db.ResultTable.RowIdCapacity(), 0); // opening lists no row
            QCOMPARE(Values(db.ResultTable), QStringList{"065"});
        }
        QMap<QString, QByteArray> after;
        for (const QString& f : QDir(base_).entryList(QDir::Files))
            after[f] = ReadAll(F(f.toLatin1().constData()));
        QCOMPARE(after.keys(), before.keys());
        for (const QString& f : before.keys())
            QVERIFY2(after[f] == before[f], qPrintable(f));
    }

    // The readers beside a running program (trevanix-cli list, export, print, audit) read what
    // they can and change nothing: what a writing open would complete or repair is left alone,
    // and a file that cannot be read without a repair is reported.
    void readingRepairsNothing_data() {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<int>("failure"); // CResultDatabases::Failure; None: the rows are read
        using F = CResultDatabases::Failure;
        QTest::newRow("healthy") << "" << int(F::None);
        QTest::newRow("download database missing") << "rm TrevanixDown.sqlite" << int(F::None);
        QTest::newRow("profile files missing") << "rm ini" << int(F::None);
        QTest::newRow("table list names a missing table") << "wrong current_table" << int(F::None);
        QTest::newRow("no result database yet") << "rm all" << int(F::NothingStored);
        QTest::newRow("main file without a table") << "empty main" << int(F::NeedsRepair);
        QTest::newRow("table of an earlier version") << "drop P_MEMO" << int(F::NeedsRepair);
        QTest::newRow("a store cut short") << "hot journal" << int(F::NeedsRepair);
    }
    void readingRepairsNothing() {
        QFETCH(QString, damage);
        QFETCH(int, failure);
        {
            CResultDatabases db(base_);
            db.OpenDatabases();
            Add(db.ResultTable, "20240101", "0800", "065");
            Add(db.ResultTable, "20240102", "0900", "071");
        }
        if (damage == "rm TrevanixDown.sqlite") {
            QVERIFY(QFile::remove(F("TrevanixDown.sqlite")));
        } else if (damage == "rm ini") {
            QVERIFY(QFile::remove(F("user_info.ini")));
            QVERIFY(QFile::remove(F("Trevanix.ini")));
        } else if (damage == "wrong current_table") {
            QVERIFY(WriteAll(F("Trevanix.ini"), "[Table Count]\r\ncurrent_table=Gone\r\ncnt=1\r\n"
                                                "[Table Set]\r\nno1=Gone\r\n"));
        } else if (damage == "rm all") {
            for (const QString& f : QDir(base_).entryList(QDir::Files))
                QVERIFY(QFile::remove(F(f.toLatin1().constData())));
        } else if (damage == "empty main") {
            QVERIFY(WriteAll(F("Trevanix.sqlite"), QByteArray()));
        } else if (damage == "drop P_MEMO") {
            CResultTable t;
            t.SetTableName("HospitalTlb");
            QVERIFY(t.OpenFile(QFile::encodeName(F("Trevanix.sqlite")).constData()));
            QVERIFY(t.Execute("ALTER TABLE HospitalTlb DROP COLUMN P_MEMO"));
        } else if (damage == "hot journal") {
            // A store killed while it wrote into the file: the file and its journal as the crash
            // left them (copied while the transaction is open, so no process holds a lock on the
            // copies). A cache of two pages makes the store write into the file before its commit.
            const QString live = dir_->path() + "/live.sqlite";
            QVERIFY(QFile::rename(F("Trevanix.sqlite"), live));
            sqlite3* writer = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(live).constData(), &writer), SQLITE_OK);
            QCOMPARE(sqlite3_exec(writer,
                                  "PRAGMA cache_size=2; BEGIN; WITH RECURSIVE n(i) AS (SELECT 1 "
                                  "UNION ALL SELECT i + 1 FROM n WHERE i < 2000) INSERT INTO "
                                  "HospitalTlb (DATE, P_MEMO) SELECT '20240103', "
                                  "printf('%0500d', i) FROM n;",
                                  nullptr, nullptr, nullptr),
                     SQLITE_OK);
            QVERIFY(QFile::copy(live + "-journal", F("Trevanix.sqlite-journal")));
            QVERIFY(QFile::copy(live, F("Trevanix.sqlite")));
            sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(writer);
            QVERIFY(QFile::remove(live));
        }
        QMap<QString, QByteArray> before;
        for (const QString& f : QDir(base_).entryList(QDir::Files | QDir::Hidden))
            before[f] = ReadAll(F(f.toLatin1().constData()));

        ScriptedPrompt prompt;
        CResultDatabases db(base_, &prompt);
        db.OpenForReading();
        QCOMPARE(int(db.OpenFailure()), failure);
        if (failure == int(CResultDatabases::Failure::None)) {
            QVERIFY2(prompt.messages.empty(),
                     prompt.messages.empty() ? "" : prompt.messages[0].text.c_str());
            QCOMPARE(db.DatabaseReady, 1);
            QCOMPARE(db.ResultTable.RowCount(), 0); // not listed: a reader searches on its own
            QCOMPARE(Values(db.ResultTable), (QStringList{"071", "065"}));
            QVERIFY(!db.DownloadTable.IsOpen());
            // A reader cannot store: the file is open read-only.
            QVERIFY(!db.ResultTable.Execute("DELETE FROM HospitalTlb"));
        } else {
            QCOMPARE(db.DatabaseReady, 0);
            QCOMPARE(prompt.messages.size(), size_t(1));
            const std::string& text = prompt.messages[0].text;
            QVERIFY2(text.find(failure == int(CResultDatabases::Failure::NothingStored)
                                   ? "Nothing was created"
                                   : "needs a repair") != std::string::npos,
                     text.c_str());
            if (damage == "hot journal")
                QVERIFY2(text.find("cut short") != std::string::npos, text.c_str());
        }
        db.CloseDatabases();
        QMap<QString, QByteArray> after;
        for (const QString& f : QDir(base_).entryList(QDir::Files | QDir::Hidden))
            after[f] = ReadAll(F(f.toLatin1().constData()));
        QCOMPARE(after.keys(), before.keys());
        for (const QString& f : before.keys())
            QVERIFY2(after[f] == before[f], qPrintable(f));
    }

    // A reader half-way through its list holds no lock between its short reads: a download
    // stores at once (without waiting for it), and the reader's list stays the one it took.
    void aReaderNeverHoldsUpAStore() {
        {
            CResultDatabases db(base_);
            db.OpenDatabases();
            auto lock = db.ResultTable.Lock();
            CDbTransaction tx(db.ResultTable);
            for (int i = 0; i < 1000; ++i)
                Add(db.ResultTable, "20240101", "0800", QByteArray::number(100 + i).constData());
            QVERIFY(tx.Commit());
        }
        CResultDatabases reader(base_);
        reader.OpenForReading();
        QCOMPARE(reader.DatabaseReady, 1);
        CResultTable& list = reader.ResultTable;
        QVERIFY(list.Requery());
        QCOMPARE(list.RowCount(), 1000);
        QVERIFY(list.MoveTo(500));

        CResultDatabases writer(base_);
        writer.OpenDatabases();
        writer.SetBusyTimeout(0); // a store that had to wait for the reader would fail
        DownloadBlock block;
        for (int i = 0; i < 3; ++i) {
            std::string id = "P" + std::to_string(i);
            id.resize(14, ' ');
            block.BlockText += "240201" + std::string("090") + std::to_string(i) + "065" + id +
                               std::string(14, ' ') + "\r\n";
        }
        block.BlockRecordCount = 3;
        QuietNotifier quiet;
        QCOMPARE(ProcessDownloadBlock(block, writer, DecoderFolders{base_, QString()}, quiet), 3);

        int read = 0;
        for (int n = 500; n <= 1000; ++n, ++read)
            QVERIFY(list.MoveTo(n) && !list.Record.DATE.Equals(""));
        QCOMPARE(read, 501);
        QCOMPARE(list.RowCount(), 1000);
        QCOMPARE(list.ReadFailures(), 0);
        QVERIFY(list.Requery());
        QCOMPARE(list.RowCount(), 1003);
    }

    // Names from the profile files reach SQL and paths only when they are plain names.
    void unsafeNamesAreRefused_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("table name closing the brackets") << "Trevanix.ini"
                                                         << "current_table"
                                                         << "HospitalTlb]--";
        QTest::newRow("table name with a quote") << "Trevanix.ini"
                                                 << "current_table"
                                                 << "x'; DROP TABLE HospitalTlb; --";
        QTest::newRow("table name too long") << "Trevanix.ini"
                                             << "current_table" << QString(65, QLatin1Char('T'));
        QTest::newRow("user outside the folder") << "user_info.ini"
                                                 << "current_user"
                                                 << "../Trevanix.sqlite";
        QTest::newRow("user as an absolute path") << "user_info.ini"
                                                  << "current_user"
                                                  << "/tmp/Trevanix.sqlite";
    }
    void unsafeNamesAreRefused() {
        QFETCH(QString, file);
        QFETCH(QString, key);
        QFETCH(QString, value);
        {
            CResultDatabases db(base_);
            db.OpenDatabases();
            Add(db.ResultTable, "20240101", "0800", "065");
        }
        const std::string section = file == "user_info.ini" ? "User Count" : "Table Count";
        QVERIFY(WriteProfileString(F(file.toLatin1().constData()), section, key.toStdString(),
                                   value.toStdString()));
        const QByteArray main = ReadAll(F("Trevanix.sqlite"));
        const QStringList files = QDir(base_).entryList(QDir::Files);
        ScriptedPrompt prompt;
        CResultDatabases db(base_, &prompt);
        db.OpenDatabases();
        QCOMPARE(db.DatabaseReady, 0);
        QVERIFY(!db.ResultTable.IsOpen());
        QCOMPARE(prompt.messages.size(), size_t(1));
        const QString text = QString::fromStdString(prompt.messages[0].text);
        QVERIFY2(text.contains("not a plain"), qPrintable(text));
        QVERIFY(text.contains(value));
        QCOMPARE(ReadAll(F("Trevanix.sqlite")), main);
        QCOMPARE(QDir(base_).entryList(QDir::Files), files);
        QVERIFY(!QFile::exists(QDir(base_).filePath("../Trevanix.sqlite")));
    }

    // The clinic's results are in Clinic2.sqlite. A user list saved by a Windows editor still
    // names it; one that was emptied, cut short or names the download database opens nothing
    // and creates nothing in its place.

    // A table no download reached (made by another program) is read in date order through an
    // index: a writing open makes it once, a reader leaves the file as it is, and an index of the
    // other program's that starts with the date serves as well.
    void dateIndexIsMadeOnceByAWritingOpen_data() {
        QTest::addColumn<QString>("existing"); // the index the other program left
        QTest::addColumn<QStringList>("afterReading");
        QTest::addColumn<QStringList>("afterWriting");
        QTest::newRow("none") << QString() << QStringList() << QStringList{"HospitalTlb_ResultKey"};
        QTest::newRow("the other program's, by date")
            << "CREATE INDEX ByDay ON HospitalTlb (DATE DESC, TIME)" << QStringList{"ByDay"}
            << QStringList{"ByDay"};
        QTest::newRow("the other program's, by patient")
            << "CREATE INDEX ByPid ON HospitalTlb (PID, DATE)" << QStringList{"ByPid"}
            << QStringList{"ByPid", "HospitalTlb_ResultKey"};
    }
    void dateIndexIsMadeOnceByAWritingOpen() {
        QFETCH(QString, existing);
        QFETCH(QStringList, afterReading);
        QFETCH(QStringList, afterWriting);
        {
            CResultDatabases db(base_);
            db.OpenDatabases();
            Add(db.ResultTable, "20240101", "0800", "065");
            QVERIFY(db.ResultTable.Execute("DROP INDEX IF EXISTS HospitalTlb_ResultKey"));
            if (!existing.isEmpty())
                QVERIFY(db.ResultTable.Execute(existing.toLatin1().constData()));
        }
        const auto indexes = [this]() {
            QStringList names;
            CResultTable t;
            t.SetTableName("HospitalTlb");
            if (!t.OpenFile(QFile::encodeName(F("Trevanix.sqlite")).constData()))
                return QStringList{"(cannot open)"};
            sqlite3_stmt* st = nullptr;
            sqlite3_prepare_v2(t.Database(),
                               "SELECT name FROM sqlite_master WHERE type='index' AND "
                               "tbl_name='HospitalTlb' AND sql IS NOT NULL ORDER BY name",
                               -1, &st, nullptr);
            while (st && sqlite3_step(st) == SQLITE_ROW)
                names << QString::fromUtf8(
                    reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
            sqlite3_finalize(st);
            return names;
        };
        const QByteArray before = ReadAll(F("Trevanix.sqlite"));
        {
            CResultDatabases db(base_);
            db.OpenForReading();
            QCOMPARE(db.DatabaseReady, 1);
        }
        QCOMPARE(ReadAll(F("Trevanix.sqlite")), before);
        QCOMPARE(indexes(), afterReading);
        for (int open = 0; open < 2; ++open) {
            CResultDatabases db(base_);
            db.OpenDatabases();
            QCOMPARE(db.DatabaseReady, 1);
            QCOMPARE(Values(db.ResultTable), QStringList{"065"});
        }
        QCOMPARE(indexes(), afterWriting);
    }
    void userListNamingAnotherFile_data() {
        QTest::addColumn<QByteArray>("userInfo");
        QTest::addColumn<QString>("said"); // empty: Clinic2.sqlite opens
        const QString ini = QStringLiteral("[User Count]\r\ncurrent_user=Clinic2.sqlite\r\ncnt=1"
                                           "\r\n[User Set]\r\nno1=Clinic2.sqlite\r\n");
        QByteArray le("\xFF\xFE", 2);
        for (const QChar c : ini)
            le.append(static_cast<char>(c.unicode())).append('\0');
        QTest::newRow("utf-8 mark") << QByteArray("\xEF\xBB\xBF" + ini.toLatin1()) << QString();
        QTest::newRow("utf-16") << le << QString();
        QTest::newRow("emptied") << QByteArray() << "\"Trevanix.sqlite\", which does not exist";
        QTest::newRow("cut short")
            << QByteArray("[User Count]\r\ncurrent_user=Cli") << "\"Cli\", which does not exist";
        QTest::newRow("the download database")
            << QByteArray("[User Count]\r\ncurrent_user=TrevanixDown.sqlite\r\n")
            << "emptied by every download";
    }
    void userListNamingAnotherFile() {
        QFETCH(QByteArray, userInfo);
        QFETCH(QString, said);
        {
            CResultDatabases db(base_);
            db.OpenDatabases();
            Add(db.ResultTable, "20240101", "0800", "065");
            db.DownloadTable.AddNew();
            QVERIFY(db.DownloadTable.Update());
        }
        QVERIFY(QFile::rename(F("Trevanix.sqlite"), F("Clinic2.sqlite")));
        QVERIFY(QFile::rename(F("Trevanix.ini"), F("Clinic2.ini")));
        QVERIFY(WriteAll(F("user_info.ini"), userInfo));
        QMap<QString, QByteArray> before;
        for (const QString& f : QDir(base_).entryList(QDir::Files))
            before[f] = ReadAll(F(f.toLatin1().constData()));

        ScriptedPrompt prompt;
        CResultDatabases db(base_, &prompt);
        db.OpenDatabases();
        if (said.isEmpty()) {
            QCOMPARE(db.DatabaseReady, 1);
            QCOMPARE(db.CurrentUser, std::string("Clinic2.sqlite"));
            QCOMPARE(Values(db.ResultTable), QStringList{"065"});
            QVERIFY(prompt.messages.empty());
        } else {
            QCOMPARE(db.DatabaseReady, 0);
            QVERIFY(!db.ResultTable.IsOpen());
            QCOMPARE(prompt.messages.size(), size_t(1));
            const QString text = QString::fromStdString(prompt.messages[0].text);
            QVERIFY2(text.contains(said), qPrintable(text));
            if (!said.contains("download"))
                QVERIFY2(text.contains("The folder holds: Clinic2.sqlite."), qPrintable(text));
            db.CloseDatabases();
            // Nothing made, nothing changed.
            QCOMPARE(QDir(base_).entryList(QDir::Files), before.keys());
            for (const QString& f : before.keys())
                QVERIFY2(ReadAll(F(f.toLatin1().constData())) == before[f], qPrintable(f));
        }
    }

    void databaseHeldByAnotherProgramIsInUseNotDamaged() {
        {
            CResultDatabases db(base_);
            db.OpenDatabases();
            Add(db.ResultTable, "20240101", "0800", "065");
        }
        // Another program is writing: it holds the file's exclusive lock.
        CResultTable other;
        other.SetTableName("HospitalTlb");
        QVERIFY(other.Open(QFile::encodeName(F("Trevanix.sqlite")).constData()));
        QVERIFY(other.Execute("BEGIN EXCLUSIVE"));
        const QByteArray main = ReadAll(F("Trevanix.sqlite"));
        ScriptedPrompt prompt;
        CResultDatabases db(base_, &prompt);
        db.SetBusyTimeout(200);
        db.OpenDatabases();
        QCOMPARE(db.DatabaseReady, 0);
        QCOMPARE(prompt.messages.size(), size_t(1));
        const QString text = QString::fromStdString(prompt.messages[0].text);
        QVERIFY2(text.contains("in use by another program"), qPrintable(text));
        QVERIFY(text.contains("Nothing was changed"));
        QVERIFY(!text.contains("repaired") && !text.contains("moved"));
        QVERIFY(other.Execute("ROLLBACK"));
        QCOMPARE(ReadAll(F("Trevanix.sqlite")), main);
    }

    void fileWithoutResultsIsLeftAlone() {
        // A database of another program under the name of the main file.
        sqlite3* foreign = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(F("Trevanix.sqlite")).constData(), &foreign),
                 SQLITE_OK);
        QCOMPARE(sqlite3_exec(foreign, "CREATE TABLE Notes (text TEXT)", nullptr, nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(foreign);
        const QByteArray main = ReadAll(F("Trevanix.sqlite"));
        ScriptedPrompt prompt;
        CResultDatabases db(base_, &prompt);
        db.OpenDatabases();
        QCOMPARE(db.DatabaseReady, 0);
        QCOMPARE(prompt.messages.size(), size_t(1));
        QVERIFY(
            QString::fromStdString(prompt.messages[0].text).contains("holds no table of results"));
        QCOMPARE(ReadAll(F("Trevanix.sqlite")), main);
    }

    void unwritableBaseFolderIsReported() {
        const QString missing = QDir(base_).filePath("no/such/folder");
        ScriptedPrompt prompt;
        CResultDatabases db(missing, &prompt);
        db.OpenDatabases();
        QCOMPARE(db.DatabaseReady, 0);
        QVERIFY(!db.ResultTable.IsOpen());
        QVERIFY(!db.DownloadTable.IsOpen());
        QCOMPARE(prompt.messages.size(), size_t(1));
        QVERIFY(QString::fromStdString(prompt.messages[0].text).contains("could not be created"));
        QVERIFY(!QFile::exists(missing + "/user_info.ini"));
    }

    void firstRunWithExistingUserListCountsOnward() {
        QVERIFY(WriteAll(F("user_info.ini"),
                         "[User Count]\r\ncurrent_user=Trevanix.sqlite\r\ncnt=1\r\n"
                         "[User Set]\r\nno1=Trevanix.sqlite\r\n"));
        CResultDatabases db(base_);
        db.OpenDatabases();
        QCOMPARE(db.DatabaseReady, 1);
        QCOMPARE(ReadAll(F("user_info.ini")),
                 QByteArray("[User Count]\r\ncurrent_user=Trevanix.sqlite\r\ncnt=2\r\n"
                            "[User Set]\r\nno1=Trevanix.sqlite\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestDatabases)
#include "tst_databases.moc"
