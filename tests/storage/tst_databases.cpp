#include "TestSupport.h"
#include "storage/Databases.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {

void Add(CResultTable& t, const char* date, const char* time, const char* value) {
    QVERIFY(t.AddNew());
    t.Record.DATE = date;
    t.Record.TIME = time;
    t.Record.HbA1c_VALUE = value;
    QVERIFY(t.Update());
}

QStringList Values(CResultTable& t) {
    QStringList out;
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

    void missingDownloadDatabaseLeavesItsTableClosed() {
        { CResultDatabases(base_).OpenDatabases(); }
        QVERIFY(QFile::remove(F("TrevanixDown.sqlite")));
        CResultDatabases db(base_);
        db.OpenDatabases();
        QCOMPARE(db.DatabaseReady, 1);
        QVERIFY(db.ResultTable.IsOpen());
        QVERIFY(!db.DownloadTable.IsOpen());
        QVERIFY(!QFile::exists(F("TrevanixDown.sqlite")));
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

    void missingCurrentTableKeyIsNotReady() {
        { CResultDatabases(base_).OpenDatabases(); }
        QVERIFY(WriteAll(F("Trevanix.ini"), "[Table Count]\r\ncnt=1\r\n"));
        ScriptedPrompt prompt;
        CResultDatabases db(base_, &prompt);
        db.OpenDatabases();
        QCOMPARE(db.CurrentTable, std::string("-1"));
        QVERIFY(!db.ResultTable.IsOpen());
        QCOMPARE(db.DatabaseReady, 0);
        QCOMPARE(prompt.messages.size(), size_t(1));
        QVERIFY(db.DownloadTable.IsOpen());
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
