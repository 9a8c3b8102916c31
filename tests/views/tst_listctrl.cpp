// The extended list: layout kept and restored, the order rule, showing and hiding, sorting with
// the row bindings, the column chooser, cell navigation and type-ahead.

#include "ResultRows.h"
#include "TestSupport.h"
#include "query/ResultQuery.h"
#include "settings/DisplayFormats.h"
#include "storage/DbTable.h"
#include "views/list/ListCtrlExt.h"
#include "views/list/ResultColumns.h"
#include "views/list/ResultListSource.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QApplication>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char* const kTitles[] = {"No.",         "Date",         "Time", "Result.",
                               "Patient ID.", "Operator ID.", "Note"};
const int kWidths[] = {60, 150, 90, 120, 140, 140, 140};

// A list as the views build it: seven columns, toggle sort with the integer comparison,
// column 0 not hideable.
void AddColumns(CListCtrlExt& list, int count = 7) {
    for (int c = 0; c < count; ++c) {
        list.InsertColumn(c, QString::fromLatin1(kTitles[c % 7]), Qt::AlignCenter, kWidths[c % 7]);
        list.SetColumnSort(c, kSortToggle, kCompareInteger);
    }
    list.SetColumnHideable(0, false);
}

void AddRows(CListCtrlExt& list, const std::vector<std::vector<std::string>>& rows) {
    std::vector<CListRowRecord> records;
    for (size_t i = 0; i < rows.size(); ++i)
        records.push_back({rows[i], static_cast<qintptr>(i)});
    list.AppendItems(std::move(records));
}

QByteArray Ints(std::initializer_list<int> v) {
    QByteArray out;
    for (int i : v)
        for (int b = 0; b < 4; ++b)
            out.append(static_cast<char>((static_cast<unsigned>(i) >> (8 * b)) & 0xFF));
    return out;
}

std::vector<int> Order(const CListCtrlExt& list) {
    return list.Header()->Order();
}

using Ints_t = std::vector<int>;
using Texts = std::vector<std::string>;

Texts ColumnTexts(const CListCtrlExt& list, int c) {
    Texts out;
    for (int r = 0; r < list.ItemCount(); ++r)
        out.push_back(list.ItemText(r, c));
    return out;
}

// Stored results whose shown texts sort wrongly as text or by their leading integer: dates
// across years and in month-first and day-first forms, 12-hour times around noon, results of two
// and three digits and out of range, padded IDs of one to three digits and letters.
struct Stored {
    const char *date, *time, *value, *pid;
};
const Stored kStored[] = {{"20240315", "1405", "108", "12 "},  {"20231231", "0905", "107", "9 "},
                          {"20240315", "0130", "150", "100 "}, {"20240102", "2359", "030", "A7 "},
                          {"20240315", "1200", "065", "a10 "}, {"20241103", "0000", "099", " "}};

// The rows as the result lists show them, numbered 9 to 14.
void AddResultRows(CListCtrlExt& list, int dateFormat, int timeFormat, int unit) {
    AppSettings s;
    s.Date = dateFormat;
    s.time = timeFormat;
    s.unit = unit;
    std::vector<CListRowRecord> records;
    for (size_t i = 0; i < std::size(kStored); ++i) {
        ResultRow row;
        row.key.DATE = kStored[i].date;
        row.key.TIME = kStored[i].time;
        row.key.HbA1c_VALUE = kStored[i].value;
        row.key.PID = kStored[i].pid;
        row.key.OPID = "1 ";
        row.EQ_TYPE = " ";
        const ListCells cells = ResultCells(row, 9 + static_cast<int>(i), s, ListKind::AllData);
        records.push_back(
            {std::vector<std::string>(cells.begin(), cells.end()), static_cast<qintptr>(i)});
    }
    list.AppendItems(std::move(records));
}

// A result table of its own holding the rows, stored in one transaction.
struct StoredTable {
    explicit StoredTable(const std::vector<StoredRow>& rows) : db(home.path(), &prompt) {
        db.OpenDatabases();
        auto lock = db.ResultTable.Lock();
        CDbTransaction tx(db.ResultTable);
        StoreRows(db.ResultTable, rows);
        tx.Commit();
    }
    // The rows as the all-data list reads them: keys only, rows by page.
    std::shared_ptr<CResultListSource> Source(const AppSettings& s = AppSettings()) {
        CResultSearch search(db.ResultTable);
        auto source = std::make_shared<CResultListSource>(search, s, ListKind::AllData);
        if (!source->Load())
            return nullptr;
        return source;
    }
    QTemporaryDir home;
    ScriptedPrompt prompt;
    CResultDatabases db;
};

std::vector<StoredRow> StoredOf(size_t count) {
    std::vector<StoredRow> out;
    for (size_t i = 0; i < count && i < std::size(kStored); ++i)
        out.push_back({kStored[i].date, kStored[i].time, kStored[i].value, kStored[i].pid, "1 "});
    return out;
}

// A held list with every row of the source, in its order: the list as it sorted before its
// rows were read on demand.
void AddSourceRows(CListCtrlExt& list, const IListRowSource& source) {
    std::vector<CListRowRecord> records;
    source.ReadPage(0, source.RowCount(), records);
    list.AppendItems(std::move(records));
}

std::vector<int> Bindings(const CListCtrlExt& list) {
    std::vector<int> out;
    for (int r = 0; r < list.ItemCount(); ++r)
        out.push_back(static_cast<int>(list.ItemData(r)));
    return out;
}

// Rows of the header's picture holding the arrow at the right end of the section: the width of
// the dark run in each, top to bottom.
std::vector<int> ArrowRows(CListCtrlExt& list, int section) {
    QHeaderView* h = list.Header();
    const QImage img = h->grab().toImage();
    const int right = h->sectionViewportPosition(section) + h->sectionSize(section);
    const QColor bg = img.pixelColor(right - 20, 2);
    std::vector<int> widths;
    for (int y = 3; y < img.height() - 3; ++y) { // inside the section's border
        int n = 0;
        for (int x = right - 18; x < right - 1; ++x) {
            const QColor c = img.pixelColor(x, y);
            if (std::abs(c.lightness() - bg.lightness()) > 60)
                ++n;
        }
        if (n > 0)
            widths.push_back(n);
    }
    return widths;
}

} // namespace

Q_DECLARE_METATYPE(std::string)
Q_DECLARE_METATYPE(std::vector<StoredRow>)

class TestListCtrl : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    int n_ = 0;
    std::unique_ptr<QSettings> Settings() {
        return std::make_unique<QSettings>(dir_.filePath(QStringLiteral("layout%1.ini").arg(n_)),
                                           QSettings::IniFormat);
    }

private Q_SLOTS:
    void init() { ++n_; }

    void firstRunKeepsTheInsertedLayout() {
        auto s = Settings();
        CListCtrlExt list(1001);
        AddColumns(list);
        list.LoadColumnLayout(s.get());
        QCOMPARE(Order(list), (Ints_t{0, 1, 2, 3, 4, 5, 6}));
        for (int c = 0; c < 7; ++c) {
            QCOMPARE(list.Header()->sectionSize(c), kWidths[c]);
            QVERIFY(list.IsColumnVisible(c));
        }
        QCOMPARE(list.SortColumn(), -1);
        QVERIFY(!list.Header()->isSortIndicatorShown());
    }

    void savedLayoutInLittleEndianBytes() {
        auto s = Settings();
        {
            CListCtrlExt list(1000);
            AddColumns(list);
            list.ShowColumn(5, false);
            list.Header()->resizeSection(1, 300);
            list.SortByColumn(2, true);
            list.SaveColumnLayout(s.get());
        }
        s->beginGroup(QStringLiteral("1000"));
        QCOMPARE(s->value("ColumnCount").toInt(), 7);
        QCOMPARE(s->value("ColumnOrder").toByteArray(), Ints({0, 1, 2, 3, 4, 6, 5}));
        QCOMPARE(s->value("ColumnWidth").toByteArray(), Ints({60, 300, 90, 120, 140, 0, 140}));
        QCOMPARE(s->value("ColumnVisible").toByteArray(), Ints({1, 1, 1, 1, 1, 0, 1}));
        QCOMPARE(s->value("ColSortNum").toInt(), 2);
        QCOMPARE(s->value("ColSortDir").toInt(), 1);
    }

    void hiddenColumnStaysHiddenAfterRestart() {
        auto s = Settings();
        {
            CListCtrlExt list(1001);
            AddColumns(list);
            list.LoadColumnLayout(s.get());
            list.ShowColumn(3, false);
            list.SaveColumnLayout(s.get());
        }
        CListCtrlExt list(1001);
        AddColumns(list);
        list.LoadColumnLayout(s.get());
        QVERIFY(!list.IsColumnVisible(3));
        QCOMPARE(list.Header()->sectionSize(3), 0);
        QCOMPARE(Order(list).back(), 3);
        // Shown again it takes the width it was inserted with.
        list.ShowColumn(3, true);
        QCOMPARE(list.Header()->sectionSize(3), 120);
        QCOMPARE(Order(list), (Ints_t{0, 1, 2, 3, 4, 5, 6}));
    }

    void storedLayoutThatDoesNotFit_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("order");
        QTest::addColumn<QByteArray>("widths");
        QTest::addColumn<QByteArray>("visible");
        QTest::addColumn<Ints_t>("expectedOrder");
        QTest::addColumn<int>("expectedWidth1");
        QTest::addColumn<bool>("column6Visible");
        const QByteArray order8 = Ints({1, 0, 2, 3, 4, 5, 7, 6});
        const QByteArray widths8 = Ints({60, 200, 90, 120, 140, 140, 140, 50});
        const QByteArray visible8 = Ints({1, 1, 1, 1, 1, 1, 0, 1});
        const Ints_t asInserted{0, 1, 2, 3, 4, 5, 6, 7};
        QTest::newRow("another column count")
            << 7 << order8 << widths8 << visible8 << asInserted << 150 << true;
        QTest::newRow("order of 7 entries for 8 columns")
            << 8 << Ints({1, 0, 2, 3, 4, 5, 6}) << widths8 << visible8 << asInserted << 150 << true;
        QTest::newRow("order with a column twice") << 8 << Ints({1, 1, 2, 3, 4, 5, 6, 7}) << widths8
                                                   << visible8 << asInserted << 150 << true;
        QTest::newRow("order with a column out of range")
            << 8 << Ints({1, 0, 2, 3, 4, 5, 6, 8}) << widths8 << visible8 << asInserted << 150
            << true;
        QTest::newRow("widths of the wrong length: order only")
            << 8 << order8 << Ints({60, 200}) << visible8 << Ints_t{1, 0, 2, 3, 4, 5, 7, 6} << 150
            << true;
        QTest::newRow("visible flags of the wrong length: order and widths")
            << 8 << order8 << widths8 << Ints({1}) << Ints_t{1, 0, 2, 3, 4, 5, 7, 6} << 200 << true;
        QTest::newRow("all fits: the hidden column goes last")
            << 8 << order8 << widths8 << visible8 << Ints_t{1, 0, 2, 3, 4, 5, 7, 6} << 200 << false;
    }
    void storedLayoutThatDoesNotFit() {
        QFETCH(int, count);
        QFETCH(QByteArray, order);
        QFETCH(QByteArray, widths);
        QFETCH(QByteArray, visible);
        QFETCH(Ints_t, expectedOrder);
        QFETCH(int, expectedWidth1);
        QFETCH(bool, column6Visible);
        auto s = Settings();
        s->beginGroup(QStringLiteral("1001"));
        s->setValue("ColumnCount", count);
        s->setValue("ColumnOrder", order);
        s->setValue("ColumnWidth", widths);
        s->setValue("ColumnVisible", visible);
        s->endGroup();
        CListCtrlExt list(1001);
        AddColumns(list, 8);
        list.LoadColumnLayout(s.get());
        QCOMPARE(Order(list), expectedOrder);
        QCOMPARE(list.Header()->sectionSize(1), expectedWidth1);
        QCOMPARE(list.IsColumnVisible(6), column6Visible);
    }

    void savedSortDirectionIsRestored_data() {
        QTest::addColumn<int>("dir");
        QTest::newRow("ascending") << 1;
        QTest::newRow("descending") << 0;
    }
    void savedSortDirectionIsRestored() {
        QFETCH(int, dir);
        auto s = Settings();
        {
            CListCtrlExt list(1001);
            AddColumns(list);
            list.SortByColumn(1, true);
            if (dir == 0)
                list.SortByColumn(1, true);
            list.SaveColumnLayout(s.get());
        }
        CListCtrlExt list(1001);
        AddColumns(list);
        list.LoadColumnLayout(s.get());
        QCOMPARE(list.SortColumn(), 1);
        QCOMPARE(list.SortDirection(), dir);
        QCOMPARE(list.Header()->sortIndicatorSection(), 1);
        QCOMPARE(list.Header()->sortIndicatorOrder(),
                 dir ? Qt::AscendingOrder : Qt::DescendingOrder);
    }

    void twoClicksOnDateSortUpThenDown() {
        CListCtrlExt list(1001);
        AddColumns(list);
        AddRows(list, {{"1", "2023-05-01", "", "", "A"},
                       {"2", "2025-01-01", "", "", "B"},
                       {"3", "2024-12-31", "", "", "C"},
                       {"4", "2023-01-09", "", "", "D"}});
        list.resize(800, 400);
        list.show();
        QHeaderView* h = list.Header();
        QSignalSpy clicked(&list, &CListCtrlExt::ColumnClicked);
        const QPoint at(h->sectionViewportPosition(1) + 20, h->height() / 2);
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, at);
        // The leading integer is the year: rows of one year keep their order.
        QCOMPARE(ColumnTexts(list, 4), (Texts{"A", "D", "C", "B"}));
        QCOMPARE(h->sortIndicatorOrder(), Qt::AscendingOrder);
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(ColumnTexts(list, 1).front(), std::string("2025-01-01"));
        QCOMPARE(ColumnTexts(list, 1).back().substr(0, 4), std::string("2023"));
        QCOMPARE(h->sortIndicatorOrder(), Qt::DescendingOrder);
        QCOMPARE(h->sortIndicatorSection(), 1);
        QCOMPARE(clicked.count(), 2);
        // Each row keeps its own binding.
        for (int r = 0; r < list.ItemCount(); ++r)
            QCOMPARE(list.ItemText(r, 4), std::string(1, char('A' + list.ItemData(r))));
    }

    void resultListsSortByWhatTheyShow_data() {
        QTest::addColumn<int>("dateFormat");
        QTest::addColumn<int>("timeFormat");
        QTest::addColumn<int>("unit");
        QTest::addColumn<int>("column");
        QTest::addColumn<Ints_t>("ascending"); // the stored rows, first to last
        for (int d = 0; d < 3; ++d)
            for (int t = 0; t < 2; ++t)
                for (int u = 0; u < 2; ++u) {
                    const QString tag =
                        QStringLiteral("date %1 time %2 unit %3: ").arg(d).arg(t).arg(u);
                    auto row = [&](const char* name) {
                        return &QTest::newRow((tag + QLatin1String(name)).toLatin1().constData());
                    };
                    *row("No.") << d << t << u << 0 << Ints_t{0, 1, 2, 3, 4, 5};
                    *row("Date and time") << d << t << u << 1 << Ints_t{1, 3, 2, 4, 0, 5};
                    *row("Time") << d << t << u << 2 << Ints_t{5, 2, 1, 4, 0, 3};
                    *row("Result, out of range at the ends")
                        << d << t << u << 3 << Ints_t{3, 4, 5, 1, 0, 2};
                    *row("IDs: digits by number, then text, empty last")
                        << d << t << u << 4 << Ints_t{1, 0, 2, 4, 3, 5};
                }
    }
    void resultListsSortByWhatTheyShow() {
        QFETCH(int, dateFormat);
        QFETCH(int, timeFormat);
        QFETCH(int, unit);
        QFETCH(int, column);
        QFETCH(Ints_t, ascending);
        CListCtrlExt list(1001);
        AddColumns(list);
        SetResultColumnSortKeys(list, [dateFormat]() { return dateFormat; });
        AddResultRows(list, dateFormat, timeFormat, unit);
        list.SortByColumn(column, true);
        QCOMPARE(Bindings(list), ascending);
        QCOMPARE(list.Header()->sortIndicatorOrder(), Qt::AscendingOrder);
        list.SortByColumn(column, true);
        QCOMPARE(Bindings(list), Ints_t(ascending.rbegin(), ascending.rend()));
        QCOMPARE(list.Header()->sortIndicatorOrder(), Qt::DescendingOrder);
    }

    void equalKeysKeepTheirOrder() {
        CListCtrlExt list(1001);
        AddColumns(list);
        SetResultColumnSortKeys(list, []() { return 0; });
        AddRows(list, {{"1", "", "", "> 14 %", "7 "},
                       {"2", "", "", "> 14 %", "007"},
                       {"3", "", "", "6.5 %", "7"},
                       {"4", "", "", "> 14 %", "7  "}});
        list.SortByColumn(3, true);
        QCOMPARE(Bindings(list), (Ints_t{2, 0, 1, 3}));
        list.SortByColumn(4, true); // "7", "007" and "7 " are one number
        QCOMPARE(Bindings(list), (Ints_t{2, 0, 1, 3}));
    }

    void arrowPointsUpAscendingAndDownDescending() {
        CListCtrlExt list(1001);
        AddColumns(list);
        SetResultColumnSortKeys(list, []() { return 0; });
        AddRows(list, {{"1", "2024-01-02"}, {"2", "2024-01-01"}});
        list.resize(900, 200);
        list.show();
        list.SortByColumn(1, true);
        std::vector<int> rows = ArrowRows(list, 1);
        QVERIFY(rows.size() >= 3);
        QVERIFY2(rows.front() < rows.back(), "ascending: narrow at the top");
        list.SortByColumn(1, true);
        rows = ArrowRows(list, 1);
        QVERIFY(rows.size() >= 3);
        QVERIFY2(rows.front() > rows.back(), "descending: narrow at the bottom");
    }

    void refillInTheGivenOrderClearsTheArrow() {
        CListCtrlExt list(1001);
        AddColumns(list);
        SetResultColumnSortKeys(list, []() { return 0; });
        AddRows(list, {{"1", "2024-01-02"}, {"2", "2024-01-01"}});
        list.SortByColumn(1, true);
        list.SortByColumn(1, true);
        QVERIFY(list.Header()->isSortIndicatorShown());
        list.DeleteAllItems();
        AddRows(list, {{"1", "2024-01-02"}, {"2", "2024-01-01"}});
        QVERIFY(!list.Header()->isSortIndicatorShown());
        QCOMPARE(list.SortColumn(), -1);
        // The next click sorts ascending again.
        list.SortByColumn(1, true);
        QCOMPARE(list.Header()->sortIndicatorOrder(), Qt::AscendingOrder);
        QCOMPARE(Bindings(list), (Ints_t{1, 0}));
        // Rows added below sorted ones (automatic mode) end the sort too.
        AddRows(list, {{"3", "2023-01-01"}});
        QVERIFY(!list.Header()->isSortIndicatorShown());
    }

    // The model keeps Qt's rules (signals, indexes, row counts) through what the views do to
    // it: a fill, a sort each way, rows below sorted ones, a refill, a cleared list, on an
    // empty, a one-row and a full list.
    void modelKeepsQtsRules_data() {
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("paged"); // rows read on demand from the result table
        for (const bool paged : {false, true}) {
            const QByteArray tag = paged ? "paged, " : "held, ";
            QTest::newRow(tag + "empty") << 0 << paged;
            QTest::newRow(tag + "one row") << 1 << paged;
            QTest::newRow(tag + "six rows") << int(std::size(kStored)) << paged;
        }
    }
    void modelKeepsQtsRules() {
        QFETCH(int, rows);
        QFETCH(bool, paged);
        StoredTable table(StoredOf(static_cast<size_t>(rows)));
        CListCtrlExt list(1001);
        QAbstractItemModelTester tester(list.Model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        AddColumns(list);
        SetResultColumnSortKeys(list, []() { return 0; });
        auto fill = [&list, &table, rows, paged]() {
            if (paged) {
                list.SetRowSource(table.Source());
                return;
            }
            AddResultRows(list, 0, 1, 0);
            while (list.ItemCount() > rows) { // fewer rows: the rest go again
                std::vector<CListRowRecord> keep;
                for (int r = 0; r < rows; ++r)
                    keep.push_back(list.Model()->Row(r));
                list.DeleteAllItems();
                list.AppendItems(std::move(keep));
            }
        };
        fill();
        QCOMPARE(list.ItemCount(), rows);
        std::string selected;
        if (rows > 0) {
            list.SelectRow(rows - 1);
            selected = list.ItemText(rows - 1, 0);
            QCOMPARE(selected, paged ? std::to_string(rows) : std::to_string(9 + rows - 1));
        }
        for (int column : {1, 3, 4}) {
            list.SortByColumn(column, true);
            list.SortByColumn(column, true);
        }
        if (rows > 0) // the selection moved with its row
            QCOMPARE(list.ItemText(list.SelectedRow(), 0), selected);
        AddRows(list, {{"99", "2020-01-01", "00:00", "6.5 %", "1"}});
        // Held rows below held rows; rows of a source give way to held ones.
        QCOMPARE(list.ItemCount(), paged ? 1 : rows + 1);
        list.DeleteAllItems();
        fill();
        list.SortByColumn(1, true);
        if (rows > 0)
            list.SetItemText(0, 6, "note");
        list.DeleteAllItems();
        QCOMPARE(list.ItemCount(), 0);
        QCOMPARE(list.Model()->rowCount(), 0);
    }

    void pagedRowsAreReadWhenShownAndKeptInAFewPages() {
        // More rows than the pages kept: reading them all evicts pages, which come back intact.
        const int n = CListModel::kPageRows * static_cast<int>(CListModel::kPagesKept) + 100;
        std::vector<StoredRow> rows;
        for (int i = 0; i < n; ++i)
            rows.push_back({DateKey(QDate(2020, 1, 1).addDays(i)), "1200", "065",
                            std::to_string(i) + " ", "1 "});
        StoredTable table(rows);
        CListCtrlExt list(1001);
        QAbstractItemModelTester tester(list.Model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        AddColumns(list);
        SetResultColumnSortKeys(list, []() { return 0; });
        list.SetRowSource(table.Source());
        QCOMPARE(list.ItemCount(), n);
        for (int r : {0, n - 1, CListModel::kPageRows, 0, n / 2, 1})
            QCOMPARE(list.ItemText(r, 4), std::to_string(n - 1 - r) + " "); // newest first
        for (int r = 0; r < n; ++r)
            QCOMPARE(list.ItemText(r, 0), std::to_string(r + 1));
        QCOMPARE(
            list.ItemText(5, 1),
            std::string(DateKey(QDate(2020, 1, 1).addDays(n - 6))).insert(4, "-").insert(7, "-"));
        list.SelectRow(3);
        list.SortByColumn(4, true); // by PID, as numbers: oldest first
        QCOMPARE(list.ItemText(0, 4), std::string("0 "));
        QCOMPARE(list.ItemText(n - 1, 4), std::to_string(n - 1) + " ");
        QCOMPARE(list.SelectedRow(), n - 4);
        QCOMPARE(list.ItemText(list.SelectedRow(), 0), std::string("4"));
        QCOMPARE(static_cast<int>(list.ItemData(list.SelectedRow())), 3); // the place read
    }

    // A header sort of rows read on demand runs in SQL; it must give the order the list's
    // comparison rules give the shown texts (ties in the order read), in both directions.
    void sqlSortGivesTheListsOrder_data() {
        QTest::addColumn<std::vector<StoredRow>>("rows");
        QTest::addColumn<int>("unit");
        QTest::addColumn<int>("timeFormat");
        using R = StoredRow;
        const std::vector<StoredRow> mixed = {
            {"20240315", "1405", "108", "12 ", "op7 ", "Analyzer Tilted"},
            {"20231231", "0905", "107", "9 ", "OP7 ", " "},
            {"20240315", "0130", "150", "100 ", "", "analyzer tilted"},
            {"20240102", "2359", "030", "A7 ", "Op10 ", ""},
            {"20240315", "1200", "065", "a10 ", "b ", "x"},
            {"20241103", "0000", "099", " ", "B ", " "},
            {"20240315", "1200", "040", "007 ", "7 ", " "},
            {"20240315", "1200", "041", "7 ", "0007 ", " "},
            {"20240101", "1259", "140", "Abc", " 12 ", " "},
            {"20240101", "1300", "139", "abc ", "12", " "},
            {"20240101", "0000", "", "\t5 ", "x y ", " "},
            {"20240101", "1200", "abc", "0 ", "00 ", " "},
            {"20231231", "2400", "200", "99999999999999 ", "-1 ", " "},
        };
        const std::vector<StoredRow> equal(5, R{"20240101", "1200", "065", "7 ", "1 "});
        std::vector<StoredRow> nearlyEqual = equal;
        nearlyEqual[1].pid = "7";
        nearlyEqual[2].value = "066";
        nearlyEqual[3].opid = "01 ";
        nearlyEqual[4].note = "A";
        for (const int unit : {0, 1}) {
            const QByteArray u = unit ? " mmol/mol" : " %";
            QTest::newRow("empty" + u) << std::vector<StoredRow>() << unit << 1;
            QTest::newRow("one row" + u) << std::vector<StoredRow>{mixed[0]} << unit << 0;
            QTest::newRow("equal keys" + u) << equal << unit << 1;
            QTest::newRow("nearly equal" + u) << nearlyEqual << unit << 0;
            QTest::newRow("mixed, 24-hour" + u) << mixed << unit << 1;
            QTest::newRow("mixed, 12-hour" + u) << mixed << unit << 0;
        }
    }
    void sqlSortGivesTheListsOrder() {
        QFETCH(std::vector<StoredRow>, rows);
        QFETCH(int, unit);
        QFETCH(int, timeFormat);
        AppSettings s;
        s.unit = unit;
        s.time = timeFormat;
        StoredTable table(rows);
        std::shared_ptr<CResultListSource> source = table.Source(s);
        QVERIFY(source);
        QCOMPARE(source->RowCount(), int(rows.size()));
        // The same sort on a thread of its own (a source of its own: the lists sort theirs).
        CListCtrlExt paged(1001), held(1002), threaded(1003);
        for (CListCtrlExt* list : {&paged, &held, &threaded}) {
            AddColumns(*list);
            SetResultColumnSortKeys(*list, []() { return 0; });
        }
        AddSourceRows(held, *source);
        paged.SetRowSource(source);
        threaded.SetRowSource(table.Source(s));
        threaded.SetBackgroundSortAbove(0);
        for (int column = 0; column < kResultColumnCount; ++column) {
            for (int click = 0; click < 2; ++click) {
                paged.SortByColumn(column, true);
                held.SortByColumn(column, true);
                threaded.SortByColumn(column, true);
                threaded.WaitForSort();
                QCOMPARE(paged.SortDirection(), held.SortDirection());
                QCOMPARE(threaded.SortDirection(), held.SortDirection());
                for (int c = 0; c < kResultColumnCount; ++c) {
                    const QString what = QStringLiteral("sorted by %1 (%2), column %3")
                                             .arg(column)
                                             .arg(click ? "descending" : "ascending")
                                             .arg(c);
                    QVERIFY2(ColumnTexts(paged, c) == ColumnTexts(held, c), qPrintable(what));
                    QVERIFY2(ColumnTexts(threaded, c) == ColumnTexts(held, c), qPrintable(what));
                }
                QCOMPARE(Bindings(paged), Bindings(held));
                QCOMPARE(Bindings(threaded), Bindings(held));
            }
            paged.ClearSort();
            held.ClearSort();
            threaded.ClearSort();
            // Back in the order read, from where each of them stands.
            paged.SortByColumn(0, true);
            held.SortByColumn(0, true);
            threaded.SortByColumn(0, true);
            threaded.WaitForSort();
            QCOMPARE(ColumnTexts(paged, 0), ColumnTexts(held, 0));
            QCOMPARE(ColumnTexts(threaded, 0), ColumnTexts(held, 0));
        }
    }

    void idListsComeFromOneQueryInOrderOfFirstAppearance() {
        StoredTable table({{"20240101", "1200", "065", "ab ", "x "},
                           {"20240105", "1200", "065", "AB", "X "},
                           {"20240103", "1200", "065", "c ", "y "},
                           {"20240104", "1200", "065", "ALL DATA ", "Y"},
                           {"20240102", "1200", "065", "Ab ", "z "},
                           {"20240106", "1200", "066", "", "x"}});
        auto ids = [&table](const std::string& filter, const char* column) {
            CResultSearch search(table.db.ResultTable);
            const std::string once = FirstOfEachIdFilter(table.db.ResultTable, filter, column);
            search.SetFilter(filter.empty() ? once : "(" + filter + ") AND " + once);
            search.SetOrder(kResultListOrder);
            std::vector<RowKey> keys;
            std::vector<ResultRow> rows;
            search.ReadKeys(keys);
            search.ReadRows(keys, 0, keys.size(), rows);
            Texts out;
            for (const ResultRow& r : rows)
                out.push_back(column == std::string("[PID]") ? r.key.PID : r.key.OPID);
            return out;
        };
        QCOMPARE(ids("", "[PID]"), (Texts{"", "AB", "ALL DATA ", "c "}));
        QCOMPARE(ids("", "[OPID]"), (Texts{"x", "Y", "z "}));
        QCOMPARE(ids("DATE between '20240101' and '20240103'", "[PID]"), (Texts{"c ", "Ab "}));
        QCOMPARE(ids("DATE > '20240200'", "[PID]"), Texts{});
    }

    void idsShownWithoutPaddingAndNarrowCellsGiveTheirText() {
        CListCtrlExt list(1001);
        AddColumns(list);
        list.Model()->SetColumnShownTrimmed(4, true);
        AddRows(list, {{"1", "2024-01-02", "", "", "123   ", "", "Analyzer Tilted"}});
        const QModelIndex pid = list.Model()->index(0, 4);
        QCOMPARE(pid.data().toString(), QStringLiteral("123"));
        QCOMPARE(pid.data(Qt::AccessibleTextRole).toString(), QStringLiteral("123"));
        QCOMPARE(list.ItemText(0, 4), std::string("123   ")); // what the export writes
        QCOMPARE(list.CellToolTip(0, 6), QString());
        list.Header()->resizeSection(6, 40);
        QCOMPARE(list.CellToolTip(0, 6), QStringLiteral("Analyzer Tilted"));
    }

    void damagedLayoutNeverHidesEveryColumn_data() {
        QTest::addColumn<QByteArray>("widths");
        QTest::addColumn<QByteArray>("visible");
        QTest::addColumn<Ints_t>("shown");
        QTest::addColumn<Ints_t>("expectedWidths");
        const QByteArray widths = Ints({60, 150, 90, 120, 140, 140, 140});
        QTest::newRow("every column hidden: the flags are ignored")
            << widths << Ints({0, 0, 0, 0, 0, 0, 0}) << Ints_t{0, 1, 2, 3, 4, 5, 6}
            << Ints_t{60, 150, 90, 120, 140, 140, 140};
        QTest::newRow("No. hidden: shown all the same")
            << widths << Ints({0, 1, 1, 0, 1, 1, 1}) << Ints_t{0, 1, 2, 4, 5, 6}
            << Ints_t{60, 150, 90, 0, 140, 140, 140};
        QTest::newRow("all but No. hidden")
            << widths << Ints({1, 0, 0, 0, 0, 0, 0}) << Ints_t{0} << Ints_t{60, 0, 0, 0, 0, 0, 0};
        QTest::newRow("shown at width 0: the inserted width")
            << Ints({0, 0, 0, 0, 0, 0, 0}) << Ints({1, 1, 1, 1, 1, 1, 1})
            << Ints_t{0, 1, 2, 3, 4, 5, 6} << Ints_t{60, 150, 90, 120, 140, 140, 140};
    }
    void damagedLayoutNeverHidesEveryColumn() {
        QFETCH(QByteArray, widths);
        QFETCH(QByteArray, visible);
        QFETCH(Ints_t, shown);
        QFETCH(Ints_t, expectedWidths);
        auto s = Settings();
        s->beginGroup(QStringLiteral("1001"));
        s->setValue("ColumnCount", 7);
        s->setValue("ColumnOrder", Ints({0, 1, 2, 3, 4, 5, 6}));
        s->setValue("ColumnWidth", widths);
        s->setValue("ColumnVisible", visible);
        s->endGroup();
        CListCtrlExt list(1001);
        AddColumns(list);
        list.LoadColumnLayout(s.get());
        Ints_t gotShown, gotWidths;
        for (int c = 0; c < 7; ++c) {
            if (list.IsColumnVisible(c) && list.Header()->sectionSize(c) > 0)
                gotShown.push_back(c);
            gotWidths.push_back(list.Header()->sectionSize(c));
        }
        QCOMPARE(gotShown, shown);
        QCOMPARE(gotWidths, expectedWidths);
    }

    void headerFromTheKeyboard() {
        CListCtrlExt list(1001);
        AddColumns(list);
        SetResultColumnSortKeys(list, []() { return 0; });
        AddRows(list, {{"10"}, {"9"}, {"11"}});
        list.ShowColumn(1, false);
        list.resize(900, 200);
        list.show();
        QVERIFY(list.Header()->focusPolicy() & Qt::TabFocus);
        list.Header()->setFocus();
        QTest::keyClick(list.Header(), Qt::Key_Home);
        QCOMPARE(list.Header()->KeySection(), 0);
        QTest::keyClick(list.Header(), Qt::Key_Right); // over the hidden Date
        QCOMPARE(list.Header()->KeySection(), 2);
        QTest::keyClick(list.Header(), Qt::Key_Left);
        QTest::keyClick(list.Header(), Qt::Key_Return);
        QCOMPARE(list.SortColumn(), 0);
        QCOMPARE(Bindings(list), (Ints_t{1, 0, 2}));
        QTest::keyClick(list.Header(), Qt::Key_Space);
        QCOMPARE(Bindings(list), (Ints_t{2, 0, 1}));
        // The column chooser from the menu key and from Shift+F10, on the accessibility tree.
        for (auto [key, mods] :
             {std::pair{Qt::Key_Menu, Qt::KeyboardModifiers()},
              std::pair{Qt::Key_F10, Qt::KeyboardModifiers(Qt::ShiftModifier)}}) {
            QString name;
            int items = 0;
            list.Header()->RunMenu = [&](QMenu& menu, const QPoint&) -> QAction* {
                QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&menu);
                name = a ? a->text(QAccessible::Name) : QString();
                items = a ? a->childCount() : 0;
                return menu.actions().at(1); // Date
            };
            const bool before = list.IsColumnVisible(1);
            QTest::keyClick(list.Header(), key, mods);
            QCOMPARE(name, QStringLiteral("Columns"));
            QCOMPARE(items, 7);
            QCOMPARE(list.IsColumnVisible(1), !before);
        }
    }

    void comparisonKinds_data() {
        QTest::addColumn<std::string>("a");
        QTest::addColumn<std::string>("b");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("sign");
        QTest::newRow("integer: leading number")
            << std::string("12 kg") << std::string("9") << int(kCompareInteger) << 1;
        QTest::newRow("integer: no number counts 0")
            << std::string("abc") << std::string("0") << int(kCompareInteger) << 0;
        QTest::newRow("float") << std::string("6.5 %") << std::string("6.45") << int(kCompareFloat)
                               << 1;
        QTest::newRow("text is case-sensitive")
            << std::string("a") << std::string("B") << int(kCompareText) << 1;
        QTest::newRow("text ignoring case")
            << std::string("a") << std::string("B") << int(kCompareTextNoCase) << -1;
        QTest::newRow("integer-aware: both integers")
            << std::string("10") << std::string("9") << int(kCompareIntText) << 1;
        QTest::newRow("integer-aware: a leading zero is text")
            << std::string("010") << std::string("9") << int(kCompareIntText) << -1;
        QTest::newRow("integer-aware ignoring case: text")
            << std::string("abc") << std::string("ABD") << int(kCompareIntTextNoCase) << -1;
        QTest::newRow("date-time")
            << std::string("2024-01-02") << std::string("2023-12-31") << int(kCompareDateTime) << 1;
        QTest::newRow("none") << std::string("x") << std::string("y") << int(kCompareNone) << 0;
    }
    void comparisonKinds() {
        QFETCH(std::string, a);
        QFETCH(std::string, b);
        QFETCH(int, kind);
        QFETCH(int, sign);
        const int r = CompareCells(a, b, kind);
        QCOMPARE(r < 0 ? -1 : r > 0 ? 1 : 0, sign);
    }

    void dragBehindAHiddenColumnEndsBeforeIt() {
        CListCtrlExt list(1001);
        AddColumns(list);
        list.ShowColumn(2, false);
        QCOMPARE(Order(list), (Ints_t{0, 1, 3, 4, 5, 6, 2}));
        // The user drags "Result." to the very end, behind the hidden column.
        list.Header()->moveSection(list.Header()->visualIndex(3), 6);
        QCoreApplication::processEvents();
        QCOMPARE(Order(list), (Ints_t{0, 1, 4, 5, 6, 3, 2}));
    }

    void showingAColumnPlacesIt_data() {
        QTest::addColumn<Ints_t>("hide");
        QTest::addColumn<int>("show");
        QTest::addColumn<Ints_t>("expected");
        QTest::newRow("back at its own index") << Ints_t{4} << 4 << Ints_t{0, 1, 2, 3, 4, 5, 6};
        QTest::newRow("no further than the visible columns")
            << Ints_t{2, 5, 6} << 6 << Ints_t{0, 1, 3, 4, 6, 2, 5};
        QTest::newRow("already hidden: nothing happens")
            << Ints_t{} << 3 << Ints_t{0, 1, 2, 3, 4, 5, 6};
    }
    void showingAColumnPlacesIt() {
        QFETCH(Ints_t, hide);
        QFETCH(int, show);
        QFETCH(Ints_t, expected);
        CListCtrlExt list(1001);
        AddColumns(list);
        for (int c : hide)
            list.ShowColumn(c, false);
        list.ShowColumn(show, true);
        QCOMPARE(Order(list), expected);
    }

    void columnChooser() {
        CListCtrlExt list(1001);
        AddColumns(list);
        list.ShowColumn(4, false);
        std::unique_ptr<QMenu> menu(list.Header()->BuildColumnMenu(nullptr));
        QVERIFY(menu);
        const QList<QAction*> items = menu->actions();
        QCOMPARE(items.size(), 7);
        QCOMPARE(items[0]->text(), QStringLiteral("No."));
        QVERIFY(!items[0]->isEnabled());
        QVERIFY(items[0]->isChecked());
        QVERIFY(!items[4]->isChecked());
        QVERIFY(items[5]->isChecked() && items[5]->isEnabled());
        QCOMPARE(items[4]->data().toInt(), 5);
        list.ChooseColumn(4);
        QVERIFY(list.IsColumnVisible(4));
        list.ChooseColumn(0); // not hideable
        QVERIFY(list.IsColumnVisible(0));
        // Every column hideable: no chooser at all.
        list.SetColumnHideable(0, true);
        QVERIFY(!list.Header()->BuildColumnMenu(nullptr));
    }

    void autoFitTakesTheWidestCellOfAllRows() {
        CListCtrlExt list(1001);
        AddColumns(list);
        std::vector<std::vector<std::string>> rows(500,
                                                   {"1", "x", "", "", "a", "", "Analyzer Tilted"});
        rows[499][4] = "a much longer patient identifier";
        AddRows(list, rows);
        list.AutoFitColumn(4);
        const QFontMetrics fm(list.font());
        QCOMPARE(list.Header()->sectionSize(4),
                 fm.horizontalAdvance(QStringLiteral("a much longer patient identifier")) + 12);
        // The divider of a hidden column (at the end) fits the last visible column.
        list.ShowColumn(5, false);
        list.AutoFitColumn(5);
        QCOMPARE(list.Header()->sectionSize(5), 0);
        QCOMPARE(list.Header()->sectionSize(6),
                 fm.horizontalAdvance(QStringLiteral("Analyzer Tilted")) + 12);
    }

    // A long list fits a column to the rows in view and the longest texts of the column (from
    // one query for rows read on demand): the width measuring every row gives, with the long
    // texts far from the view.
    void autoFitOfALongListMeasuresTheLongestTexts_data() {
        QTest::addColumn<int>("column");
        for (int c = 0; c < kResultColumnCount; ++c)
            QTest::newRow(QByteArray::number(c)) << c;
    }
    void autoFitOfALongListMeasuresTheLongestTexts() {
        QFETCH(int, column);
        std::vector<StoredRow> rows;
        for (int i = 0; i < 600; ++i)
            rows.push_back({"20240101", "1200", "065", "P" + std::to_string(i * 7) + "   ",
                            std::to_string(i % 7), " "});
        rows[450].pid = "A Much Longer Patient ";
        rows[123].opid = "WWWW";
        rows[500].note = "Analyzer Tilted";
        rows[300].value = "150"; // "> 14 %": wider than "6.5 %", stored as long
        StoredTable table(rows);
        // Every row measured; the longest of the rows held; asked of the source at once and on
        // a thread.
        CListCtrlExt held(1001), heldLong(1002), paged(1003), threaded(1004);
        for (CListCtrlExt* list : {&held, &heldLong, &paged, &threaded}) {
            AddColumns(*list);
            list->Model()->SetColumnShownTrimmed(kColumnPid, true);
            list->resize(400, 120);
            list->SetAutoFitAllRowsUpTo(list == &held ? 2000 : 0);
        }
        std::shared_ptr<CResultListSource> source = table.Source();
        QVERIFY(source);
        AddSourceRows(held, *source);
        AddSourceRows(heldLong, *source);
        paged.SetRowSource(source);
        threaded.SetRowSource(table.Source());
        threaded.SetBackgroundSortAbove(0);
        for (CListCtrlExt* list : {&held, &heldLong, &paged, &threaded})
            list->AutoFitColumn(column);
        const int width = held.Header()->sectionSize(column);
        QVERIFY(width != kWidths[column]);
        QCOMPARE(threaded.Header()->sectionSize(column), kWidths[column]); // not read yet
        threaded.WaitForSort();
        for (CListCtrlExt* list : {&heldLong, &paged, &threaded})
            QCOMPARE(list->Header()->sectionSize(column), width);
        // A refill drops an auto-fit still running.
        threaded.Header()->resizeSection(column, 33);
        threaded.AutoFitColumn(column);
        threaded.SetRowSource(table.Source());
        threaded.WaitForSort();
        QCOMPARE(threaded.Header()->sectionSize(column), 33);
    }

    void leftAndRightNeverReachAHiddenColumn() {
        CListCtrlExt list(1001);
        AddColumns(list);
        list.SetCellNavigation(true);
        AddRows(list, {{"1", "a"}});
        list.ShowColumn(6, false);
        QTest::keyClick(&list, Qt::Key_Right);
        QCOMPARE(list.FocusColumn(), 0);
        QTest::keyClick(&list, Qt::Key_Left);
        QCOMPARE(list.FocusColumn(), 0);
        for (int i = 0; i < 10; ++i)
            QTest::keyClick(&list, Qt::Key_Right);
        QCOMPARE(list.FocusColumn(), 5);
        QTest::keyClick(&list, Qt::Key_Left);
        QCOMPARE(list.FocusColumn(), 4);
    }

    void typeAhead_data() {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("gapMs"); // between the keys
        QTest::addColumn<int>("startRow");
        QTest::addColumn<int>("row");
        QTest::newRow("one letter finds the next row starting with it") << "b" << 0 << 0 << 1;
        QTest::newRow("the same letter steps through its rows") << "bb" << 100 << 0 << 3;
        QTest::newRow("letters add up within two seconds") << "bo" << 100 << 0 << 3;
        QTest::newRow("two seconds later the text starts again") << "bo" << 2000 << 0 << 4;
        QTest::newRow("the search wraps to the first rows") << "a" << 0 << 2 << 0;
        QTest::newRow("case does not matter") << "B" << 0 << 0 << 1;
        QTest::newRow("no match keeps the selection") << "z" << 0 << 2 << 2;
    }
    void typeAhead() {
        QFETCH(QString, keys);
        QFETCH(int, gapMs);
        QFETCH(int, startRow);
        QFETCH(int, row);
        CListCtrlExt list(1001);
        AddColumns(list);
        list.SetCellNavigation(true);
        AddRows(list,
                {{"1", "alpha"}, {"2", "beta"}, {"3", "gamma"}, {"4", "Bob"}, {"5", "omega"}});
        qint64 now = 100000;
        list.SetClock([&now]() { return now; });
        list.SetFocusColumn(1);
        list.SelectRow(startRow);
        for (QChar c : keys) {
            QTest::keyClick(&list, c.toLatin1());
            now += gapMs;
        }
        QCOMPARE(list.SelectedRow(), row);
    }

    void typeAheadNeedsAFocusColumnAboveZero() {
        CListCtrlExt list(1001);
        AddColumns(list);
        list.SetCellNavigation(true);
        AddRows(list, {{"1", "a"}, {"2", "b"}});
        list.SelectRow(0);
        list.SetFocusColumn(0);
        QTest::keyClick(&list, '2');
        QCOMPARE(list.SelectedRow(), 0);
    }
};

int main(int argc, char** argv) {
    // The views save their layouts into the per-user settings: keep them away from the user's.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    TestListCtrl t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_listctrl.moc"
