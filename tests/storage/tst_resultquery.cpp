// The searches the all-data list and trevanix-cli share, on a real table.

#include "ResultRows.h"
#include "TestSupport.h"
#include "query/ResultQuery.h"
#include "query/ResultSearch.h"

#include <QTemporaryDir>
#include <QtTest>
#include <sqlite3.h>

Q_DECLARE_METATYPE(std::string)

namespace {

std::vector<std::string> Column(const std::vector<ResultRow>& rows, int c,
                                const AppSettings& s = AppSettings()) {
    std::vector<std::string> out;
    for (size_t i = 0; i < rows.size(); ++i)
        out.push_back(ResultCells(rows[i], static_cast<int>(i) + 1, s,
                                  ListKind::AllData)[static_cast<size_t>(c)]);
    return out;
}

using Texts = std::vector<std::string>;

// SQLite's work, counted by its progress handler (every 10 virtual machine steps).
int gWork = 0;
int CountWork(void*) {
    ++gWork;
    return 0;
}

} // namespace
Q_DECLARE_METATYPE(Texts)

class TestResultQuery : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    std::unique_ptr<CResultDatabases> db_;

private Q_SLOTS:
    void initTestCase() {
        db_ = std::make_unique<CResultDatabases>(dir_.path(), nullptr);
        db_->OpenDatabases();
        QVERIFY(db_->DatabaseReady);
        // IDs keep the trailing blank the decoding leaves.
        QVERIFY(StoreRows(db_->ResultTable, {{"20240101", "0800", "065", "123456 ", "OP1 "},
                                             {"20240115", "0930", "070", "O'Brien ", "op1 "},
                                             {"20240131", "1405", "140", "123456 ", "OP2 "},
                                             {"20240201", "0000", "040", "777 ", "OP1 "},
                                             {"20231231", "2359", "057", "123456 ", "OP1 "}}));
    }

    void searchRows_data() {
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<std::string>("pid");
        QTest::addColumn<std::string>("opid");
        QTest::addColumn<Texts>("pids"); // column 4 of the rows found, newest first
        QTest::newRow("January, every ID")
            << QDate(2024, 1, 1) << QDate(2024, 1, 31) << std::string() << std::string()
            << Texts{"123456 ", "O'Brien ", "123456 "};
        QTest::newRow("one PID, typed without the blank")
            << QDate(2024, 1, 1) << QDate(2024, 1, 31) << std::string("123456") << std::string()
            << Texts{"123456 ", "123456 "};
        QTest::newRow("a PID holding a quote")
            << QDate(2024, 1, 1) << QDate(2024, 1, 31) << std::string("O'Brien") << std::string()
            << Texts{"O'Brien "};
        QTest::newRow("a quote cannot widen the search")
            << QDate(2024, 1, 1) << QDate(2024, 1, 31) << std::string("x' or '1'='1")
            << std::string() << Texts{};
        QTest::newRow("PID and OPID")
            << QDate(2024, 1, 1) << QDate(2024, 1, 31) << std::string("123456")
            << std::string("OP1") << Texts{"123456 "};
        QTest::newRow("start equal to end: that day")
            << QDate(2024, 1, 15) << QDate(2024, 1, 15) << std::string() << std::string()
            << Texts{"O'Brien "};
        QTest::newRow("a typed ID that matches nothing shows nothing")
            << QDate(2023, 12, 1) << QDate(2024, 2, 28) << std::string("999") << std::string()
            << Texts{};
    }
    void searchRows() {
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(std::string, pid);
        QFETCH(std::string, opid);
        QFETCH(Texts, pids);
        ListSearch s;
        s.from = from;
        s.to = to;
        s.pid = pid;
        s.opid = opid;
        std::vector<ResultRow> rows;
        std::string message;
        QVERIFY(
            RunListSearch(db_->ResultTable, s, AppSettings(), QDate(2024, 3, 1), rows, &message));
        QCOMPARE(Column(rows, 4), pids);
        QVERIFY(message.empty());
    }

    void noOptionListsEveryRowNewestFirst() {
        std::vector<ResultRow> rows;
        QVERIFY(RunListSearch(db_->ResultTable, ListSearch(), AppSettings(), QDate(2024, 3, 1),
                              rows, nullptr));
        QCOMPARE(Column(rows, 1),
                 (Texts{"2024-02-01", "2024-01-31", "2024-01-15", "2024-01-01", "2023-12-31"}));
        QCOMPARE(Column(rows, 0), (Texts{"1", "2", "3", "4", "5"}));
    }

    void rangeRule_data() {
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<QDateTime>("end");
        QTest::addColumn<int>("check");
        QTest::addColumn<int>("days");
        const QDateTime jan1(QDate(2024, 1, 1), QTime(0, 0));
        QTest::newRow("same day") << jan1 << jan1 << int(RangeCheck::Ok) << 0;
        QTest::newRow("366 days") << jan1 << jan1.addDays(366) << int(RangeCheck::Ok) << 366;
        QTest::newRow("367 days") << jan1 << jan1.addDays(367) << int(RangeCheck::TooLong) << 367;
        QTest::newRow("end before start")
            << jan1 << jan1.addDays(-1) << int(RangeCheck::EndBeforeStart) << -1;
        QTest::newRow("the fraction of a day is dropped")
            << jan1.addSecs(10 * 3600) << jan1.addDays(367).addSecs(9 * 3600) << int(RangeCheck::Ok)
            << 366;
    }
    void rangeRule() {
        QFETCH(QDateTime, start);
        QFETCH(QDateTime, end);
        QFETCH(int, check);
        QFETCH(int, days);
        int d = -1;
        QCOMPARE(int(CheckSearchRange(start, end, &d)), check);
        if (check != int(RangeCheck::EndBeforeStart))
            QCOMPARE(d, days);
    }

    void refusedRangeFromTheCommandLine() {
        ListSearch s;
        s.from = QDate(2023, 1, 1);
        s.to = QDate(2024, 1, 3);
        std::vector<ResultRow> rows;
        std::string message;
        QVERIFY(
            !RunListSearch(db_->ResultTable, s, AppSettings(), QDate(2024, 3, 1), rows, &message));
        QCOMPARE(message, std::string(kTooLongRangeText));
        QVERIFY(rows.empty());
    }

    void periodFilter_data() {
        QTest::addColumn<int>("weeks");
        QTest::addColumn<std::string>("shown");
        QTest::addColumn<int>("dateFormat");
        QTest::addColumn<std::string>("filter");
        QTest::newRow("2 weeks, year first")
            << 2 << std::string("2024-03-15") << 0
            << std::string("DATE between '20240301' and '20240315'");
        QTest::newRow("2 weeks, month first")
            << 2 << std::string("03-15-2024") << 1
            << std::string("DATE between '20240301' and '20240315'");
        QTest::newRow("2 weeks, day first")
            << 2 << std::string("15-03-2024") << 2
            << std::string("DATE between '20240301' and '20240315'");
        QTest::newRow("over a year end") << 1 << std::string("2024-01-03") << 0
                                         << std::string("DATE between '20231227' and '20240103'");
        QTest::newRow("empty list: from today, empty upper bound")
            << 1 << std::string() << 0 << std::string("DATE between '20240601' and ''");
    }
    void periodFilter() {
        QFETCH(int, weeks);
        QFETCH(std::string, shown);
        QFETCH(int, dateFormat);
        QFETCH(std::string, filter);
        QCOMPARE(PeriodFilter(weeks, shown, dateFormat, QDate(2024, 6, 8)), filter);
    }

    void cells_data() {
        QTest::addColumn<std::string>("value");
        QTest::addColumn<std::string>("time");
        QTest::addColumn<int>("unit");
        QTest::addColumn<int>("timeFormat");
        QTest::addColumn<int>("kind");
        QTest::addColumn<std::string>("result");
        QTest::addColumn<std::string>("shownTime");
        const int all = int(ListKind::AllData), down = int(ListKind::Download);
        QTest::newRow("140 mmol, all-data list")
            << std::string("140") << std::string("1405") << 1 << 1 << all
            << std::string("> 130  mmol/mol") << std::string("14:05");
        QTest::newRow("140 mmol, download list")
            << std::string("140") << std::string("1405") << 1 << 1 << down
            << std::string("> 130 mmol/mol") << std::string("14:05");
        QTest::newRow("40 mmol, all-data list")
            << std::string("040") << std::string("1405") << 1 << 1 << all
            << std::string("< 20  mmol/mol") << std::string("14:05");
        QTest::newRow("midnight, 12-hour")
            << std::string("065") << std::string("0000") << 0 << 0 << all << std::string("6.5 %")
            << std::string("12:00 AM");
        QTest::newRow("12-hour") << std::string("065") << std::string("1405") << 0 << 0 << all
                                 << std::string("6.5 %") << std::string("02:05 PM");
    }
    void cells() {
        QFETCH(std::string, value);
        QFETCH(std::string, time);
        QFETCH(int, unit);
        QFETCH(int, timeFormat);
        QFETCH(int, kind);
        QFETCH(std::string, result);
        QFETCH(std::string, shownTime);
        ResultRow row;
        row.key.DATE = "20240131";
        row.key.TIME = time;
        row.key.HbA1c_VALUE = value;
        AppSettings s;
        s.unit = unit;
        s.time = timeFormat;
        const ListCells c = ResultCells(row, 7, s, static_cast<ListKind>(kind));
        QCOMPARE(c[0], std::string("7"));
        QCOMPARE(c[2], shownTime);
        QCOMPARE(c[3], result);
    }

    // A search of its own reads what the table's cursor reads for the same filter and order, in
    // runs of any size, and leaves the table's filter and sort as they were.
    void ownSearchReadsAsTheTable_data() {
        QTest::addColumn<std::string>("filter");
        QTest::addColumn<std::string>("order");
        QTest::addColumn<int>("run");
        QTest::newRow("every row, newest first")
            << std::string() << std::string(kDefaultSort) << 256;
        QTest::newRow("runs of two") << std::string() << std::string(kDefaultSort) << 2;
        QTest::newRow("runs of one, chart order") << std::string() << std::string(kChartSort) << 1;
        QTest::newRow("January, one PID")
            << RangeFilter(QDateTime(QDate(2024, 1, 1), QTime()),
                           QDateTime(QDate(2024, 1, 31), QTime()), "123456", "")
            << std::string(kDefaultSort) << 1;
        QTest::newRow("nothing matches")
            << std::string("PID='none'") << std::string(kDefaultSort) << 3;
    }
    void ownSearchReadsAsTheTable() {
        QFETCH(std::string, filter);
        QFETCH(std::string, order);
        QFETCH(int, run);
        CResultTable& t = db_->ResultTable;
        {
            auto lock = t.Lock();
            t.SetSort(order.c_str());
            t.SetFilter(filter.c_str());
            t.Requery();
        }
        std::vector<ResultRow> expected;
        QVERIFY(ReadResultRows(t, true, expected));
        t.SetFilter("DATE='19990101'");
        t.SetSort("[PID]");

        CResultSearch search(t);
        search.SetFilter(filter);
        search.SetOrder(order);
        QCOMPARE(search.Count(), static_cast<int>(expected.size()));
        std::vector<ResultRow> got;
        QVERIFY(search.ForEachRow(
            [&](const ResultRow& r) {
                got.push_back(r);
                return true;
            },
            static_cast<size_t>(run)));
        QCOMPARE(got.size(), expected.size());
        for (size_t i = 0; i < got.size(); ++i) {
            const ListRowKey &a = got[i].key, &b = expected[i].key;
            QCOMPARE(std::tie(a.DATE, a.TIME, a.HbA1c_VALUE, a.PID, a.OPID, a.p_NAME, a.p_DOB,
                              a.P_DIAGNOSE, a.P_MEMO, a.rowid, got[i].EQ_TYPE),
                     std::tie(b.DATE, b.TIME, b.HbA1c_VALUE, b.PID, b.OPID, b.p_NAME, b.p_DOB,
                              b.P_DIAGNOSE, b.P_MEMO, b.rowid, expected[i].EQ_TYPE));
        }
        QCOMPARE(std::string(t.Filter().c_str()), std::string("DATE='19990101'"));
        QCOMPARE(std::string(t.Sort().c_str()), std::string("[PID]"));
        // Stopping early stops.
        int seen = 0;
        QVERIFY(search.ForEachRow([&](const ResultRow&) { return ++seen < 1; }, 1));
        QCOMPARE(seen, expected.empty() ? 0 : 1);
    }

    // Rows by key come in the order of the keys, whatever order they are stored in; a key
    // whose row is gone is left out.
    void rowsFollowTheirKeys() {
        CResultSearch all(db_->ResultTable);
        all.SetOrder("ROWID");
        std::vector<RowKey> stored;
        QVERIFY(all.ReadKeys(stored));
        QCOMPARE(stored.size(), size_t(5));
        const std::vector<RowKey> keys{stored[4], stored[1], 999999, stored[3], stored[0]};
        std::vector<ResultRow> rows;
        QVERIFY(all.ReadRows(keys, 0, keys.size(), rows));
        std::vector<RowKey> got;
        for (const ResultRow& r : rows)
            got.push_back(r.key.rowid);
        QCOMPARE(got, (std::vector<RowKey>{stored[4], stored[1], stored[3], stored[0]}));
        QCOMPARE(rows[0].key.DATE, std::string("20231231")); // stored last, dated first
        QVERIFY(all.ReadRows(keys, 1, 2, rows));
        QCOMPARE(rows.size(), size_t(1));
        QCOMPARE(rows[0].key.rowid, stored[1]);
        QVERIFY(all.ReadRows(keys, 5, 2, rows));
        QVERIFY(rows.empty());
    }

    // The command line's searches take their reference date from the newest row (stored fourth
    // of five here, not last) and run on the result index: no sort of their own, no scan of
    // every row for the date.
    void listSearchTakesTheNewestRowByTheIndex_data() {
        QTest::addColumn<int>("weeks");
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<std::string>("pid");
        QTest::addColumn<std::string>("filter");
        QTest::newRow("no option") << 0 << QDate() << QDate() << std::string() << std::string();
        QTest::newRow("2 weeks back from the newest")
            << 2 << QDate() << QDate() << std::string()
            << std::string("DATE between '20240118' and '20240201'");
        QTest::newRow("a PID alone: 7 days back from the newest")
            << 0 << QDate() << QDate() << std::string("777")
            << std::string("DATE between '20240125' and '20240201' and rtrim([PID],' ')='777'");
        QTest::newRow("a start alone: up to the newest")
            << 0 << QDate(2024, 1, 10) << QDate() << std::string()
            << std::string("DATE between '20240110' and '20240201'");
        QTest::newRow("an end alone: 7 days before it")
            << 0 << QDate() << QDate(2024, 1, 20) << std::string()
            << std::string("DATE between '20240113' and '20240120'");
    }
    void listSearchTakesTheNewestRowByTheIndex() {
        QFETCH(int, weeks);
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(std::string, pid);
        QFETCH(std::string, filter);
        ListSearch o;
        o.periodWeeks = weeks;
        o.from = from;
        o.to = to;
        o.pid = pid;
        CResultTable& t = db_->ResultTable;
        QVERIFY(t.EnsureDuplicateIndex());
        CResultSearch search(t);
        QVERIFY(SetListSearch(search, o, AppSettings(), QDate(2024, 6, 1), nullptr));
        QCOMPARE(search.Filter(), filter);
        QCOMPARE(search.Order(), std::string(kDefaultSort));
        // Finding the newest row reads it by the index, however many older rows there are (a
        // select of every column with the stored-order tie once sorted the whole table).
        std::vector<StoredRow> older;
        for (int i = 0; i < 3000; ++i)
            older.push_back({"2019" + std::to_string(1001 + i % 300).substr(0, 4), "0800", "060",
                             "P" + std::to_string(i), "OP"});
        {
            auto lock = t.Lock();
            CDbTransaction tx(t);
            QVERIFY(StoreRows(t, older));
            QVERIFY(tx.Commit());
        }
        CResultSearch again(t);
        sqlite3_progress_handler(t.Database(), 10, CountWork, nullptr);
        gWork = 0;
        QVERIFY(SetListSearch(again, o, AppSettings(), QDate(2024, 6, 1), nullptr));
        sqlite3_progress_handler(t.Database(), 0, nullptr, nullptr);
        QVERIFY2(gWork < 300, qPrintable(QString::number(gWork)));
        QCOMPARE(again.Filter(), filter);
        const std::string where = filter.empty() ? "" : " WHERE " + filter;
        for (const std::string& sql :
             {"SELECT ROWID FROM [HospitalTlb]" + where + " ORDER BY " + kDefaultSort,
              "SELECT ROWID, DATE FROM [HospitalTlb] ORDER BY " + std::string(kDefaultSort) +
                  " LIMIT 1"}) {
            QString plan;
            sqlite3_stmt* st = nullptr;
            QCOMPARE(sqlite3_prepare_v2(t.Database(), ("EXPLAIN QUERY PLAN " + sql).c_str(), -1,
                                        &st, nullptr),
                     SQLITE_OK);
            while (sqlite3_step(st) == SQLITE_ROW)
                plan +=
                    QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 3))) +
                    "\n";
            sqlite3_finalize(st);
            // Only results alike in date, time and value are put in stored order after the
            // index: never the whole search.
            QVERIFY2(plan.contains("INDEX HospitalTlb_ResultKey") &&
                         !plan.contains("TEMP B-TREE FOR ORDER BY"),
                     qPrintable(plan));
        }
    }

    void idListKeepsFirstAppearanceIgnoringCase() {
        CIdList ids;
        for (const char* id : {"b7", "A1", "B7", "a1", "all data", "c"})
            ids.Add(id);
        QCOMPARE(ids.Items(), (Texts{"ALL Data", "b7", "A1", "c"}));
        ids.Clear();
        QCOMPARE(ids.Items(), Texts{"ALL Data"});
    }
};

QTEST_GUILESS_MAIN(TestResultQuery)
#include "tst_resultquery.moc"
