#include "TestSupport.h"
#include "storage/ResultTable.h"

#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <chrono>
#include <cstring>
#include <sqlite3.h>
#include <thread>

namespace {

// Runs one statement on its own connection and returns the first column of every row,
// "NULL" for a null value.
QStringList Query(const QString& path, const char* sql) {
    QStringList out;
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK) {
        while (sqlite3_step(st) == SQLITE_ROW) {
            const unsigned char* t = sqlite3_column_text(st, 0);
            out << (sqlite3_column_type(st, 0) == SQLITE_NULL
                        ? QStringLiteral("NULL")
                        : QString::fromUtf8(reinterpret_cast<const char*>(t)));
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}

void Exec(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                    nullptr);
    QVERIFY2(sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK, sqlite3_errmsg(db));
    sqlite3_close(db);
}

void Fill(CResultTable& t, const char* date, const char* time, const char* value,
          const char* pid = "P1") {
    QVERIFY(t.AddNew());
    t.Record.DATE = date;
    t.Record.TIME = time;
    t.Record.HbA1c_VALUE = value;
    t.Record.PID = pid;
    t.Record.OPID = "OP";
    t.Record.EQ_TYPE = " ";
    t.Record.DATE_YEAR = std::atoi(std::string(date).substr(0, 4).c_str());
    QVERIFY(t.Update());
}

const char* kSchema =
    "CREATE TABLE [DownLoadData] ( [DATE] TEXT,[TIME] TEXT,[HbA1c_VALUE] TEXT,[PID] TEXT,"
    "[OPID] TEXT,[EQ_TYPE] TEXT,[p_NAME] TEXT,[p_DOB] TEXT,[P_AGE] INT,[P_DIAGNOSE] INT,"
    "[DATE_YEAR] INT,[DATE_MONTH] INT,[DATE_DAY] INT,[TIME_HOUR] INT,[TIME_MIN] INT,"
    "[P_MEMO] TEXT)";

} // namespace

class TestDbTable : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    int fileNo_ = 0;
    QString NewPath() { return dir_.filePath(QStringLiteral("t%1.sqlite").arg(++fileNo_)); }

private Q_SLOTS:
    void textBufKeepsItsSizeRules() {
        CTextBuf t;
        QCOMPARE(t.Size(), 1); // a new buffer holds the empty text
        QVERIFY(!t.IsNonEmpty());
        QVERIFY(t.Equals(""));
        t.Clear();
        QCOMPARE(t.Size(), 0);
        QVERIFY(t.Data() == nullptr);
        QVERIFY(!t.Equals(""));
        QCOMPARE(t.c_str(), "");
        t.Append("ab");
        t.Append("cd");
        QCOMPARE(t.Size(), 5);
        QVERIFY(t.Equals("abcd"));
        t.SetBytes("xyz", 0);
        QCOMPARE(t.Size(), 0);
        t.Assign(nullptr);
        QCOMPARE(t.Size(), 0);
        CTextBuf copy = t;
        QCOMPARE(copy.Size(), 0);
    }

    void textBufFormatsTextOfAnyLength_data() {
        QTest::addColumn<int>("length");
        QTest::newRow("short") << 10;
        QTest::newRow("stack buffer edge") << 1023;
        QTest::newRow("just past it") << 1024;
        QTest::newRow("longer than the old 10,000-byte temporary") << 25000;
    }
    void textBufFormatsTextOfAnyLength() {
        QFETCH(int, length);
        const std::string big(static_cast<size_t>(length), 'q');
        CTextBuf t;
        t.Format("[%s]%d", big.c_str(), 7);
        QCOMPARE(t.Size(), length + 4);
        QVERIFY(t.Equals(("[" + big + "]7").c_str()));
    }

    void createsTheExactSchema() {
        const QString path = NewPath();
        CResultTable t;
        t.SetTableName("DownLoadData");
        QVERIFY(t.OpenOrCreate(path.toUtf8().constData()));
        QCOMPARE(Query(path, "SELECT sql FROM sqlite_master WHERE name='DownLoadData'"),
                 QStringList{QString::fromLatin1(kSchema)});
        QCOMPARE(Query(path, "PRAGMA auto_vacuum"), QStringList{"1"});
        QCOMPARE(t.TableColumnCount(), 16);
        QCOMPARE(t.RowCount(), 0);
        QVERIFY(t.IsEOF());
    }

    void openOrCreateOnExistingTableRequeries() {
        const QString path = NewPath();
        {
            CResultTable t;
            t.SetTableName("HospitalTlb");
            QVERIFY(t.OpenOrCreate(path.toUtf8().constData()));
            Fill(t, "20240131", "1405", "065");
        }
        CResultTable t;
        t.SetTableName("HospitalTlb");
        QVERIFY(t.OpenOrCreate(path.toUtf8().constData()));
        QCOMPARE(t.RowCount(), 1);
        QVERIFY(t.Record.HbA1c_VALUE.Equals("065"));
    }

    // Every way of opening sizes the page cache for reads by key in date order (the default
    // 2 MB reads most pages again once rows are not stored in that order).
    void everyOpenSizesThePageCache_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("create") << 0;
        QTest::newRow("open") << 1;
        QTest::newRow("open read-only") << 2;
    }
    void everyOpenSizesThePageCache() {
        QFETCH(int, mode);
        const QString path = NewPath();
        {
            CResultTable w;
            w.SetTableName("HospitalTlb");
            QVERIFY(w.OpenOrCreate(path.toUtf8().constData()));
        }
        CResultTable t;
        t.SetTableName("HospitalTlb");
        t.SetReadOnly(mode == 2);
        QVERIFY(mode == 0 ? t.OpenOrCreate(path.toUtf8().constData())
                          : t.Open(path.toUtf8().constData()));
        sqlite3_stmt* st = nullptr;
        QCOMPARE(sqlite3_prepare_v2(t.Database(), "PRAGMA cache_size", -1, &st, nullptr),
                 SQLITE_OK);
        QCOMPARE(sqlite3_step(st), SQLITE_ROW);
        QCOMPARE(sqlite3_column_int(st, 0), -64 * 1024); // negative: KiB
        sqlite3_finalize(st);
    }

    void openFailsOnMissingFileOrTable() {
        CResultTable t;
        t.SetTableName("HospitalTlb");
        QVERIFY(!t.Open(dir_.filePath("absent.sqlite").toUtf8().constData()));
        QVERIFY(!t.IsOpen());
        QVERIFY(!QFile::exists(dir_.filePath("absent.sqlite")));
        const QString path = NewPath();
        Exec(path, "CREATE TABLE other (a TEXT)");
        QVERIFY(!t.Open(path.toUtf8().constData()));
        QVERIFY(!t.IsOpen());
        QVERIFY(QString::fromStdString(t.LastError()).contains("HospitalTlb"));
        // Everything refuses on a closed table.
        QVERIFY(!t.Requery());
        QCOMPARE(t.CountRows(), 0);
        QVERIFY(!t.DeleteWhere());
        QVERIFY(!t.Execute("SELECT 1"));
        QVERIFY(t.Close());
    }

    void migratesAnElevenColumnTable() {
        const QString path = NewPath();
        Exec(path, "CREATE TABLE [HospitalTlb] ( [DATE] TEXT,[TIME] TEXT,[HbA1c_VALUE] TEXT,"
                   "[PID] TEXT,[OPID] TEXT,[EQ_TYPE] TEXT,[p_NAME] TEXT,[p_DOB] TEXT,"
                   "[P_AGE] INT,[P_DIAGNOSE] INT,[DATE_YEAR] INT);"
                   "INSERT INTO HospitalTlb VALUES('20230101','0800','070','A','B',' ','','',"
                   "0,0,2023);");
        CResultTable t;
        t.SetTableName("HospitalTlb");
        QVERIFY(t.Open(path.toUtf8().constData()));
        QCOMPARE(
            Query(path, "SELECT group_concat(name, ',') FROM pragma_table_info('HospitalTlb')"),
            QStringList{"DATE,TIME,HbA1c_VALUE,PID,OPID,EQ_TYPE,p_NAME,p_DOB,P_AGE,"
                        "P_DIAGNOSE,DATE_YEAR,DATE_MONTH,DATE_DAY,TIME_HOUR,TIME_MIN,P_MEMO"});
        QCOMPARE(Query(path, "SELECT quote(DATE_MONTH)||quote(DATE_DAY)||quote(TIME_HOUR)||"
                             "quote(TIME_MIN)||quote(P_MEMO) FROM HospitalTlb"),
                 QStringList{"0000''"});
        const QString schema = Query(path, "SELECT sql FROM sqlite_master").value(0);
        QVERIFY2(schema.endsWith(", [DATE_MONTH] Integer, [DATE_DAY] Integer, [TIME_HOUR] "
                                 "Integer, [TIME_MIN] Integer, [P_MEMO] TEXT)"),
                 qPrintable(schema));
        // The old row reads back, and the new columns can be written and read in the same run.
        QCOMPARE(t.RowCount(), 1);
        QVERIFY(t.Record.HbA1c_VALUE.Equals("070"));
        QVERIFY(t.Edit());
        t.Record.P_MEMO = "after migration";
        t.Record.DATE_MONTH = 1;
        QVERIFY(t.UpdateWhere("[DATE] = '20230101'"));
        QVERIFY(t.Requery());
        QVERIFY(t.Record.P_MEMO.Equals("after migration"));
        QCOMPARE(t.Record.DATE_MONTH, 1);
    }

    void buildSelectLeavesOutEmptyClauses_data() {
        QTest::addColumn<QByteArray>("filter");
        QTest::addColumn<QByteArray>("sort");
        QTest::addColumn<bool>("rowid");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("none") << QByteArray("") << QByteArray("") << false
                              << QByteArray("SELECT * FROM [T]");
        QTest::newRow("rowid, both")
            << QByteArray("[PID] = 'a'") << QByteArray("[DATE] DESC") << true
            << QByteArray("SELECT ROWID FROM [T] WHERE [PID] = 'a' ORDER BY [DATE] DESC");
        QTest::newRow("sort only") << QByteArray("") << QByteArray("[DATE]") << false
                                   << QByteArray("SELECT * FROM [T] ORDER BY [DATE]");
    }
    void buildSelectLeavesOutEmptyClauses() {
        QFETCH(QByteArray, filter);
        QFETCH(QByteArray, sort);
        QFETCH(bool, rowid);
        QFETCH(QByteArray, expected);
        CResultTable t;
        t.SetTableName("T");
        t.SetFilter(filter.constData());
        t.SetSort(sort.constData());
        QCOMPARE(QByteArray::fromStdString(t.BuildSelect(rowid, true, true)), expected);
        QCOMPARE(QByteArray::fromStdString(t.BuildSelect(rowid, false, false)),
                 QByteArray(rowid ? "SELECT ROWID FROM [T]" : "SELECT * FROM [T]"));
    }

    void listsWithFilterAndSortAndNavigates() {
        const QString path = NewPath();
        CResultTable t;
        t.SetTableName("HospitalTlb");
        QVERIFY(t.OpenOrCreate(path.toUtf8().constData()));
        Fill(t, "20240101", "0900", "060", "A");
        Fill(t, "20240301", "0800", "070", "B");
        Fill(t, "20240301", "0900", "080", "A");
        Fill(t, "20240201", "1000", "090", "A");
        t.SetSort("[DATE] DESC, [TIME] DESC, [HbA1c_VALUE] DESC");
        t.SetFilter("[PID] = 'A'");
        QVERIFY(t.Requery());
        QCOMPARE(t.RowCount(), 3);
        QStringList seen;
        while (!t.IsEOF()) {
            seen << t.Record.HbA1c_VALUE.c_str();
            QVERIFY(t.MoveNext());
        }
        QCOMPARE(seen, (QStringList{"080", "090", "060"}));
        // Past the end: MoveNext has answered true once (above), then false.
        QVERIFY(!t.MoveNext());
        QVERIFY(t.IsEOF());
        QVERIFY(t.MoveFirst());
        QVERIFY(t.Record.HbA1c_VALUE.Equals("080"));

        // No match: row count 0, the values keep what they held, MoveTo changes nothing.
        t.SetFilter("[PID] = 'nobody'");
        QVERIFY(t.Requery());
        QVERIFY(!t.RequeryHasRows());
        QCOMPARE(t.RowCount(), 0);
        QVERIFY(t.IsEOF());
        QVERIFY(t.MoveTo(1));
        QVERIFY(t.Record.HbA1c_VALUE.Equals("080"));
        QVERIFY(!t.MoveTo(0));

        t.SetFilter("[PID] = 'A'");
        QVERIFY(t.DeleteWhere());
        t.SetFilter("");
        QVERIFY(t.RequeryHasRows());
        QCOMPARE(t.RowCount(), 1);
        QVERIFY(t.Record.PID.Equals("B"));
    }

    void navigationShowsWritesMadeSinceTheRowsWereRead() {
        const QString path = NewPath();
        CResultTable t;
        t.SetTableName("HospitalTlb");
        QVERIFY(t.OpenOrCreate(path.toUtf8().constData()));
        for (int i = 0; i < 100; ++i)
            Fill(t, "20240101", QByteArray::number(1000 + i).constData(), "065");
        t.SetSort("[TIME]");
        QVERIFY(t.Requery());
        QVERIFY(t.MoveTo(2));
        QVERIFY(t.Record.TIME.Equals("1001"));
        QVERIFY(t.Edit());
        t.Record.HbA1c_VALUE = "099";
        QVERIFY(t.UpdateWhere("[TIME] = '1003'"));
        QVERIFY(t.MoveTo(4));
        QVERIFY(t.Record.HbA1c_VALUE.Equals("099"));
        QVERIFY(t.Execute("DELETE FROM [HospitalTlb] WHERE [TIME] = '1004'"));
        QCOMPARE(t.ReadFailures(), 0);
        QVERIFY(t.MoveTo(5)); // a row deleted after the requery reads as cleared values
        QVERIFY(t.Record.TIME.Equals(""));
        QCOMPARE(t.ReadFailures(), 1); // and a reader that needs every row hears of it
        QVERIFY(t.MoveTo(100));
        QVERIFY(t.Record.TIME.Equals("1099"));
    }

    // Another program stores while the list is made: the list holds its rows whole or not at
    // all, never a count of before with rows of after. (The store runs as the reader's SELECT of
    // the list begins, before it takes its read lock.)
    void requeryListsTheRowsOfOneMoment() {
        const QString path = NewPath();
        {
            CResultTable w;
            w.SetTableName("HospitalTlb");
            QVERIFY(w.OpenOrCreate(path.toUtf8().constData()));
            for (int i = 0; i < 10; ++i)
                Fill(w, "20240101", QByteArray::number(1000 + i).constData(), "065");
        }
        CResultTable t;
        t.SetTableName("HospitalTlb");
        t.SetReadOnly(true);
        QVERIFY(t.Open(path.toUtf8().constData()));
        QCOMPARE(t.RowCount(), 10);
        struct Hook {
            QString path;
            bool stored = false;
        } hook{path};
        sqlite3_trace_v2(
            t.Database(), SQLITE_TRACE_STMT,
            [](unsigned, void* context, void*, void* sql) -> int {
                auto* h = static_cast<Hook*>(context);
                if (!h->stored &&
                    std::strncmp(static_cast<const char*>(sql), "SELECT ROWID FROM", 17) == 0) {
                    h->stored = true;
                    Exec(h->path, "INSERT INTO HospitalTlb (DATE,TIME,HbA1c_VALUE) VALUES "
                                  "('20240102','0800','070'),('20240102','0801','071'),"
                                  "('20240102','0802','072')");
                }
                return 0;
            },
            &hook);
        t.SetSort("[DATE] DESC, [TIME] DESC");
        QVERIFY(t.Requery());
        QVERIFY(hook.stored);
        QCOMPARE(t.RowCount(), 13);
        QStringList times;
        for (t.MoveFirst(); !t.IsEOF(); t.MoveNext())
            times << QString::fromLatin1(t.Record.TIME.c_str());
        QCOMPARE(times.mid(0, 3), (QStringList{"0802", "0801", "0800"}));
        QCOMPARE(times.last(), QStringLiteral("1000"));
        QCOMPARE(t.ReadFailures(), 0);
        // Read-only: the reader cannot store, and creates nothing.
        QVERIFY(!t.Execute("DELETE FROM HospitalTlb"));
        CResultTable other;
        other.SetTableName("HospitalTlb");
        other.SetReadOnly(true);
        QVERIFY(!other.OpenOrCreate(NewPath().toUtf8().constData()));
    }

    void keepsEveryRowIdOverFiveThousandInserts() {
        const QString path = NewPath();
        CResultTable t;
        t.SetTableName("HospitalTlb");
        QVERIFY(t.OpenOrCreate(path.toUtf8().constData()));
        QVERIFY(t.Requery());
        QCOMPARE(t.RowIdCapacity(), 5000);
        {
            auto lock = t.Lock();
            CDbTransaction tx(t);
            for (int i = 0; i < 5001; ++i)
                Fill(t, "20240101", "0900", QByteArray::number(i).constData());
            QVERIFY(tx.Commit());
        }
        QCOMPARE(t.RowCount(), 5001);
        QVERIFY(t.RowIdCapacity() >= 5002);
        QCOMPARE(t.Position(), 5001);
        for (int n = 1; n <= 5001; ++n)
            QCOMPARE(t.RowIdAt(n), n);
        QVERIFY(t.MoveTo(5001));
        QVERIFY(t.Record.HbA1c_VALUE.Equals("5000"));
    }

    void storesEmptyTextAsEmptyStringNotNull() {
        const QString path = NewPath();
        CResultTable t;
        t.SetTableName("HospitalTlb");
        QVERIFY(t.OpenOrCreate(path.toUtf8().constData()));
        QVERIFY(t.AddNew());
        t.Record.DATE = "20240101";
        t.Record.PID.Clear(); // even a cleared buffer
        QVERIFY(t.Update());
        QCOMPARE(Query(path, "SELECT quote(PID)||quote(OPID)||quote(P_MEMO)||quote(P_AGE) "
                             "FROM HospitalTlb"),
                 QStringList{"''''''0"});
    }

    void storesQuotesAndApostrophesAsGiven() {
        const QString path = NewPath();
        CResultTable t;
        t.SetTableName("HospitalTlb");
        QVERIFY(t.OpenOrCreate(path.toUtf8().constData()));
        Fill(t, "20240101", "0900", "065", "O'Brien \"x\"");
        QVERIFY(t.Requery());
        QVERIFY(t.Record.PID.Equals("O'Brien \"x\""));
    }

    void insertsIntoATableWithExtraColumns() {
        const QString path = NewPath();
        Exec(path, "CREATE TABLE [HospitalTlb] ( [EXTRA] TEXT, [DATE] TEXT,[TIME] TEXT,"
                   "[HbA1c_VALUE] TEXT,[PID] TEXT,[OPID] TEXT,[EQ_TYPE] TEXT,[p_NAME] TEXT,"
                   "[p_DOB] TEXT,[P_AGE] INT,[P_DIAGNOSE] INT,[DATE_YEAR] INT,[DATE_MONTH] INT,"
                   "[DATE_DAY] INT,[TIME_HOUR] INT,[TIME_MIN] INT,[P_MEMO] TEXT)");
        CResultTable t;
        t.SetTableName("HospitalTlb");
        QVERIFY(t.Open(path.toUtf8().constData()));
        QCOMPARE(t.TableColumnCount(), 17);
        Fill(t, "20240101", "0900", "065", "say \"hi\"");
        QCOMPARE(Query(path, "SELECT quote(EXTRA)||DATE||HbA1c_VALUE||PID||DATE_YEAR "
                             "FROM HospitalTlb"),
                 QStringList{"NULL20240101065say \"hi\"2024"});
        QVERIFY(t.Requery());
        QVERIFY(t.Record.TIME.Equals("0900"));
    }

    void reportsWritesThatStoreNothing() {
        const QString path = NewPath();
        CResultTable t;
        t.SetTableName("HospitalTlb");
        QVERIFY(t.OpenOrCreate(path.toUtf8().constData()));
        Fill(t, "20240101", "0900", "065");
        QVERIFY(t.Edit());
        t.Record.PID = "changed";
        QVERIFY(!t.UpdateWhere("[DATE] = '19990101'")); // names no row
        QVERIFY(!t.UpdateWhere("this is not sql"));
        QVERIFY(t.UpdateWhere("[DATE] = '20240101'"));
        QCOMPARE(Query(path, "SELECT PID FROM HospitalTlb"), QStringList{"changed"});

        QVERIFY(!t.Update()); // not adding
        const int rows = t.RowCount();
        Exec(path, "DROP TABLE HospitalTlb");
        QVERIFY(t.AddNew());
        QVERIFY(!t.Update());
        QCOMPARE(t.RowCount(), rows);
        QVERIFY(!t.IsAdding()); // the next AddNew is not refused
        QVERIFY(t.AddNew());
    }

    void transactionRollsBackWhenNotCommitted() {
        const QString path = NewPath();
        CResultTable t;
        t.SetTableName("HospitalTlb");
        QVERIFY(t.OpenOrCreate(path.toUtf8().constData()));
        {
            CDbTransaction tx(t);
            QVERIFY(tx.IsActive());
            Fill(t, "20240101", "0900", "065");
            Fill(t, "20240101", "0901", "066");
        }
        QCOMPARE(t.CountRows(), 0);
        {
            CDbTransaction tx(t);
            Fill(t, "20240101", "0900", "065");
            QVERIFY(tx.Commit());
        }
        QCOMPARE(Query(path, "SELECT COUNT(*) FROM HospitalTlb"), QStringList{"1"});
    }

    void lockSerialisesTwoThreads() {
        const QString path = NewPath();
        CResultTable t;
        t.SetTableName("HospitalTlb");
        QVERIFY(t.OpenOrCreate(path.toUtf8().constData()));
        auto work = [&t](const char* pid) {
            for (int i = 0; i < 200; ++i) {
                auto lock = t.Lock();
                t.AddNew();
                t.Record.DATE = "20240101";
                t.Record.PID = pid;
                t.Update();
                t.SetFilter("");
                t.RequeryHasRows();
            }
        };
        std::thread a(work, "A");
        std::thread b(work, "B");
        a.join();
        b.join();
        QCOMPARE(t.CountRows(), 400);
        t.SetFilter("[PID] = 'A'");
        QCOMPARE(t.CountRows(), 200);
    }

    // Closing the program while a view's thread reads: the close waits for the statement the
    // thread is in, and the thread's next statement finds the table closed.
    void closeWaitsForAnotherThreadsStatement() {
        const QString path = NewPath();
        CResultTable t;
        t.SetTableName("HospitalTlb");
        QVERIFY(t.OpenOrCreate(path.toUtf8().constData()));
        std::atomic<bool> inside{false}, closing{false};
        bool openThroughout = false;
        std::thread reader([&]() {
            auto lock = t.Lock();
            inside = true;
            while (!closing)
                std::this_thread::yield();
            // Ample time for a close that does not wait to have run.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            openThroughout = t.IsOpen() && t.CountRows() == 0;
        });
        while (!inside)
            std::this_thread::yield();
        std::thread closer([&]() {
            closing = true;
            t.Close();
        });
        closer.join();
        reader.join();
        QVERIFY(openThroughout);
        QVERIFY(!t.IsOpen());
    }

    // A table name that closes the square brackets ("]") stays one name: the statements touch
    // that table only (the profile files refuse such names, but the table layer never relies
    // on that).
    void oddTableNamesStayInsideTheirQuotes_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("closing bracket") << QByteArray("HospitalTlb]--");
        QTest::newRow("bracket and quote") << QByteArray("a]\"b");
        QTest::newRow("plain") << QByteArray("Clinic-2_b");
    }
    void oddTableNamesStayInsideTheirQuotes() {
        QFETCH(QByteArray, name);
        const QString path = NewPath();
        {
            CResultTable victim;
            victim.SetTableName("HospitalTlb");
            QVERIFY(victim.OpenOrCreate(path.toUtf8().constData()));
            Fill(victim, "20240101", "0800", "065");
        }
        CResultTable t;
        t.SetTableName(name.constData());
        QVERIFY(t.OpenOrCreate(path.toUtf8().constData()));
        Fill(t, "20240101", "0800", "065");
        Fill(t, "20240102", "0900", "071");
        QVERIFY(t.Requery());
        QCOMPARE(t.RowCount(), 2);
        t.SetFilter("[DATE] = '20240101'");
        QVERIFY(t.DeleteWhere());
        t.SetFilter("");
        QVERIFY(t.Requery());
        QCOMPARE(t.RowCount(), 1);
        QVERIFY(t.HoldsResult("20240102", "0900", "071", "P1", "OP"));
        QVERIFY(!t.HoldsResult("20240101", "0800", "065", "P1", "OP"));
        QVERIFY(t.EnsureDuplicateIndex());
        QCOMPARE(Query(path, "SELECT COUNT(*) FROM HospitalTlb"), QStringList{"1"});
    }

    void closeOfClosedTableSucceeds() {
        CResultTable t;
        QVERIFY(t.Close());
        QVERIFY(!t.IsOpen());
        QCOMPARE(t.Position(), -1);
    }
};

QTEST_GUILESS_MAIN(TestDbTable)
#include "tst_dbtable.moc"
