// The graph view as the user works it: the plotted values and labels, the period list and the
// search with its messages, the empty chart, the bands, scrolling, the tooltip and saving.

#include "ViewFixture.h"
#include "controls/DateTimeCtrl.h"
#include "settings/DisplayFormats.h"
#include "views/GraphView.h"

#include <QApplication>
#include <QAreaSeries>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QLineSeries>
#include <QScatterSeries>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QValueAxis>
#include <QtTest>
#include <sqlite3.h>

namespace {

using Texts = std::vector<std::string>;
using Values = std::vector<float>;

struct Fixture : ViewFixture<CHbA1cDeskGraphDataView> {
    explicit Fixture(const std::vector<StoredRow>& rows = {}) : ViewFixture(rows) {
        view->resize(1024, 768);
    }
    Values PlottedValues() const {
        Values out;
        for (const ChartPoint& p : view->Points())
            out.push_back(p.value);
        return out;
    }
    Texts Pids() const {
        Texts out;
        for (const ChartPoint& p : view->Points())
            out.push_back(p.row.PID);
        return out;
    }
    Texts Dates() const {
        Texts out;
        for (const ChartPoint& p : view->Points())
            out.push_back(p.row.DATE);
        return out;
    }
    void Search(const QDate& from, const QDate& to, const QString& pid = "ALL Data") {
        view->StartDate->SetDate(from);
        view->EndDate->SetDate(to);
        view->PidList->setEditText(pid);
        view->OnSearch();
    }
};

const std::vector<StoredRow> kRows = {
    {"20240315", "1405", "065", "123456 ", "OP1 "}, {"20240301", "0900", "150", "abc ", "op1 "},
    {"20240229", "0800", "035", "ABC ", "OP2 "},    {"20240110", "1200", "070", "O'Neil ", "OP1 "},
    {"20240312", "1000", "057", "O'Neil ", "OP3 "}, {"20230310", "1000", "064", "123456 ", "OP3 "}};

// Pixels of the point colour in an image of the chart.
int PointPixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += std::abs(c.red() - 20) < 12 && std::abs(c.green() - 110) < 12 &&
                 std::abs(c.blue() - 140) < 12;
        }
    return n;
}

std::vector<std::vector<double>> SeriesYs(QAreaSeries* band) {
    std::vector<std::vector<double>> out;
    for (QLineSeries* s : {band->lowerSeries(), band->upperSeries()}) {
        std::vector<double> ys;
        for (const QPointF& p : s->points())
            ys.push_back(p.y());
        out.push_back(ys);
    }
    return out;
}

// The chart's points as the view read them before it read by windows: every row of its search
// in its order, at once.
std::vector<ChartPoint> WholeRead(const CResultSearch& search, int unit) {
    std::vector<ChartPoint> out;
    search.ForEachRow([&](const ResultRow& r) {
        const ListRowKey& k = r.key;
        out.push_back({ChartRow{k.DATE, k.TIME, k.HbA1c_VALUE, k.PID},
                       ChartResultValue(k.HbA1c_VALUE.c_str(), unit)});
        return true;
    });
    return out;
}

// What the chart shows of a run of points: x and y of each, the labels and the tooltips' PIDs.
struct Shown {
    std::vector<QPointF> xy;
    QStringList labels, pids;
    bool operator==(const Shown& o) const {
        return xy == o.xy && labels == o.labels && pids == o.pids;
    }
};

Shown ShownOf(const std::vector<ChartPoint>& points, int first, int lo, int hi) {
    Shown s;
    for (int i = lo; i < hi; ++i)
        s.xy.push_back(QPointF(i, points[size_t(i)].value));
    for (int i = first; i < std::min(hi, first + kPointsInView); ++i) {
        const ChartRow& r = points[size_t(i)].row;
        s.labels << QString::fromLatin1(
            FormatChartLabel(r.DATE.c_str(), r.TIME.c_str(), 0).c_str());
        s.pids << QStringLiteral("PID: ") + QString::fromLatin1(r.PID.c_str()).trimmed();
    }
    return s;
}

Shown ShownBy(const CHbA1cDeskGraphDataView& view) {
    Shown s;
    for (const QPointF& p : view.Series()->points())
        s.xy.push_back(p);
    for (const QString& l : view.DateAxis()->categoriesLabels())
        if (l != QStringLiteral(" "))
            s.labels << QString(l).remove(QChar(0x200B));
    const int n = std::min(view.PointCount(), view.FirstVisible() + kPointsInView);
    for (int i = view.FirstVisible(); i < n; ++i)
        s.pids << view.PointToolTip(size_t(i)).section('\n', 2);
    return s;
}

char* toString(const Shown& s) {
    QStringList parts;
    for (const QPointF& p : s.xy)
        parts << QStringLiteral("(%1,%2)").arg(p.x()).arg(p.y());
    return qstrdup(
        qPrintable(parts.join(' ') + " | " + s.labels.join(", ") + " | " + s.pids.join(", ")));
}

// Work of the statements on a connection, in slices of ten virtual machine instructions: a
// seek and ten steps take a few dozen, a walk over thousands of index entries thousands.
int gWork = 0;
int CountWork(void*) {
    ++gWork;
    return 0;
}

// Rows out of date order: each date has results of several patients, some in the same minute
// with the same value (the chart's order leaves those to the PID, then to the stored row), some
// stored twice over.
std::vector<StoredRow> EqualKeyRows() {
    std::vector<StoredRow> rows;
    for (int i = 0; i < 40; ++i) {
        const int day = (i * 7) % 13;
        const std::string date = DateKey(QDate(2024, 2, 20).addDays(day));
        const std::string pid = "P" + std::to_string((i * 5) % 4) + (i % 2 ? " " : "  ");
        rows.push_back({date, i % 3 ? "0900" : "1015", "0" + std::to_string(50 + i % 2), pid,
                        "OP" + std::to_string(i % 2) + " "});
    }
    return rows;
}

// A result every fifth day over two years, stored newest first.
std::vector<StoredRow> TwoYears() {
    std::vector<StoredRow> rows;
    for (int i = 146; i >= 0; --i)
        rows.push_back({DateKey(QDate(2023, 1, 1).addDays(5 * i)), "1200",
                        "0" + std::to_string(40 + i % 50), i % 4 ? "A " : "B ", "OP "});
    return rows;
}

} // namespace

Q_DECLARE_METATYPE(std::vector<StoredRow>)

class TestGraphView : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void plottedValuesOldestFirst_data() {
        QTest::addColumn<int>("unit");
        QTest::addColumn<Values>("values");
        QTest::addColumn<QString>("axisTitle");
        QTest::addColumn<double>("axisMax");
        QTest::newRow("percent") << 0 << Values{6.4f, 7.0f, 4.0f, 14.0f, 5.7f, 6.5f}
                                 << "HbA1c Result(%)" << 15.0;
        QTest::newRow("mmol/mol") << 1 << Values{46, 53, 20, 130, 39, 48}
                                  << "HbA1c Result(mmol/mol)" << 150.0;
    }
    void plottedValuesOldestFirst() {
        QFETCH(int, unit);
        QFETCH(Values, values);
        QFETCH(QString, axisTitle);
        QFETCH(double, axisMax);
        Fixture f(kRows);
        f.settings.unit = unit;
        f.view->OnPeriodChanged(1);
        QVERIFY(f.view->SearchActive());
        f.view->RefreshGraph();
        QVERIFY(!f.view->SearchActive());
        const Values plotted = f.PlottedValues();
        QCOMPARE(plotted.size(), values.size());
        for (size_t i = 0; i < values.size(); ++i)
            QVERIFY2(qFuzzyCompare(plotted[i], values[i]), qPrintable(QString::number(plotted[i])));
        QCOMPARE(f.view->ArgumentText(0), std::string("2023-03-10 10:00"));
        QCOMPARE(f.view->ArgumentText(5), std::string("2024-03-15 14:05"));
        QCOMPARE(f.view->Chart()->title(), QStringLiteral("Trevanix HbA1c Chart"));
        QCOMPARE(f.view->Series()->name(), QStringLiteral("HbA1C"));
        QCOMPARE(f.view->ResultAxis()->titleText(), axisTitle);
        QCOMPARE(f.view->ResultAxis()->max(), axisMax);
        QCOMPARE(f.view->DateAxis()->titleText(), QStringLiteral("Date/Time (Year-Month-Day)"));
        QCOMPARE(f.view->DateAxis()->labelsAngle(), 315);
        // IDs once each, case aside; the pickers end at the newest result.
        QCOMPARE(f.view->PidList->count(), 4);
        QCOMPARE(f.view->EndDate->GetDate(), QDate(2024, 3, 15));
        QCOMPARE(f.view->StartDate->GetDate(), QDate(2024, 3, 8));
        QVERIFY(f.view->EmptyChartText().isEmpty());
    }

    void search_data() {
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<QString>("pid");
        QTest::addColumn<QString>("message");
        QTest::addColumn<Texts>("dates");
        const QString all = QStringLiteral("ALL Data");
        QTest::newRow("one day (d = 0)")
            << QDate(2024, 3, 1) << QDate(2024, 3, 1) << all << QString() << Texts{"20240301"};
        QTest::newRow("1 Jan to 2 Jan of the next year")
            << QDate(2023, 1, 1) << QDate(2024, 1, 2) << all << QString() << Texts{"20230310"};
        QTest::newRow("367 days refused") << QDate(2023, 1, 1) << QDate(2024, 1, 3) << all
                                          << QString::fromLatin1(kTooLongRangeText) << Texts{};
        QTest::newRow("end before start refused")
            << QDate(2024, 3, 2) << QDate(2024, 3, 1) << all << QString::fromLatin1(kWrongRangeText)
            << Texts{};
        QTest::newRow("a quote in the PID")
            << QDate(2024, 1, 1) << QDate(2024, 3, 31) << QStringLiteral("O'Neil") << QString()
            << Texts{"20240110", "20240312"};
        QTest::newRow("PID, case and blank aside")
            << QDate(2024, 1, 1) << QDate(2024, 3, 31) << QStringLiteral("abc") << QString()
            << Texts{"20240301"};
    }
    void search() {
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(QString, pid);
        QFETCH(QString, message);
        QFETCH(Texts, dates);
        Fixture f(kRows);
        f.view->RefreshGraph();
        f.Search(from, to, pid);
        if (!message.isEmpty()) {
            QCOMPARE(f.prompt.messages.size(), size_t(1));
            QCOMPARE(QString::fromStdString(f.prompt.messages[0].text), message);
            QCOMPARE(f.prompt.messages[0].title, std::string("Trevanix"));
            QCOMPARE(f.view->Points().size(), kRows.size()); // unchanged
            QVERIFY(!f.view->SearchActive());
            return;
        }
        QVERIFY(f.prompt.messages.empty());
        QCOMPARE(f.Dates(), dates);
        QVERIFY(f.view->SearchActive());
        QVERIFY(f.view->KeepFilter());
    }

    void noMatchShowsAnEmptyChart_data() {
        QTest::addColumn<bool>("bySearch");
        QTest::newRow("search") << true;
        QTest::newRow("period") << false;
    }
    void noMatchShowsAnEmptyChart() {
        QFETCH(bool, bySearch);
        Fixture f(kRows);
        f.view->RefreshGraph();
        if (bySearch) {
            f.Search(QDate(2022, 1, 1), QDate(2022, 2, 1));
        } else {
            // A patient with results, then one without any.
            f.view->PidList->setEditText(QStringLiteral("O'Neil"));
            f.view->OnPeriodChanged(0);
            QCOMPARE(f.view->Points().size(), size_t(2));
            f.view->PidList->setEditText(QStringLiteral("nobody"));
            f.view->OnPeriodChanged(1);
        }
        QVERIFY(f.view->Points().empty());
        QCOMPARE(f.view->Series()->count(), 0);
        QCOMPARE(f.view->EmptyChartText(), QString::fromLatin1(kNoMatchText));
        QVERIFY(f.view->SearchActive());
        // Back to all: the points and no message.
        f.view->PidList->setEditText(QStringLiteral("ALL Data"));
        f.view->OnPeriodChanged(0);
        QCOMPARE(f.view->Points().size(), kRows.size());
        QVERIFY(f.view->EmptyChartText().isEmpty());
        QVERIFY(!f.view->SearchActive());
    }

    void periodCountsBackFromTheNewestResult_data() {
        QTest::addColumn<int>("weeks");
        QTest::addColumn<QString>("pid");
        QTest::addColumn<Texts>("dates");
        const QString all = QStringLiteral("ALL Data");
        QTest::newRow("1 week") << 1 << all << Texts{"20240312", "20240315"};
        QTest::newRow("3 weeks") << 3 << all
                                 << Texts{"20240229", "20240301", "20240312", "20240315"};
        QTest::newRow("10 weeks, one patient")
            << 10 << QStringLiteral("O'Neil ") << Texts{"20240110", "20240312"};
    }
    void periodCountsBackFromTheNewestResult() {
        QFETCH(int, weeks);
        QFETCH(QString, pid);
        QFETCH(Texts, dates);
        Fixture f(kRows);
        f.view->RefreshGraph();
        QCOMPARE(f.view->ReferenceDate(), std::string("20240315"));
        f.view->PidList->setCurrentText(pid);
        f.view->Period->setCurrentIndex(weeks);
        f.view->OnPeriodChanged(weeks);
        QCOMPARE(f.Dates(), dates);
        QVERIFY(f.view->SearchActive());
        // The patient list keeps its entries and the choice under a filter.
        QCOMPARE(f.view->PidList->count(), 4);
        QCOMPARE(f.view->PidList->currentText(), pid);
    }

    void emptyTableShowsTodayAndAWeekBack() {
        Fixture f;
        f.view->RefreshGraph();
        QVERIFY(f.view->Points().empty());
        QCOMPARE(f.view->EndDate->GetDate(), QDate(2024, 6, 8));
        QCOMPARE(f.view->StartDate->GetDate(), QDate(2024, 6, 1));
        QCOMPARE(f.view->EmptyChartText(), QString::fromLatin1(kNoResultsText));
    }

    void dateFormatChangeShowsAtTheNextRefresh() {
        Fixture f(kRows);
        f.view->RefreshGraph();
        f.settings.Date = 2;
        QCOMPARE(f.view->ArgumentText(5), std::string("2024-03-15 14:05"));
        f.view->Refresh(); // kCmdRefreshView
        QCOMPARE(f.view->ArgumentText(5), std::string("15/03/2024 14:05"));
        QCOMPARE(f.view->DateAxis()->titleText(), QStringLiteral("Date/Time (Day/Month/Year)"));
        QVERIFY(
            f.view->DateAxis()->categoriesLabels().contains(QStringLiteral("10/03/2023 10:00")));
        f.settings.Date = 1;
        f.view->Refresh();
        QCOMPARE(f.view->ArgumentText(5), std::string("03/15/2024 14:05"));
    }

    // The chart reads the points of a window by a seek from the points it holds (or from the
    // first or last); what it shows at the start, the middle and the end is what reading every
    // row at once showed, as is the patient list it fills in slices.
    void windowsShowWhatTheWholeReadShowed_data() {
        QTest::addColumn<std::vector<StoredRow>>("rows");
        QTest::addColumn<bool>("index");
        QTest::addColumn<QString>("action"); // refresh, search, period, patient
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<QString>("pid");
        QTest::addColumn<int>("count");
        const QDate none;
        const QString all = QStringLiteral("ALL Data");
        const std::vector<StoredRow> two = TwoYears();
        QTest::newRow("equal keys")
            << EqualKeyRows() << true << "refresh" << none << none << all << 40;
        QTest::newRow("equal keys, patient")
            << EqualKeyRows() << true << "patient" << none << none << "P1" << 10;
        QTest::newRow("one row") << std::vector<StoredRow>{{"20240315", "1405", "065", "X ", "O "}}
                                 << true << "refresh" << none << none << all << 1;
        QTest::newRow("empty table")
            << std::vector<StoredRow>{} << true << "refresh" << none << none << all << 0;
        QTest::newRow("no index, out of order")
            << two << false << "refresh" << none << none << all << 147;
        QTest::newRow("a search") << two << true << "search" << QDate(2023, 6, 1)
                                  << QDate(2023, 9, 30) << all << 24;
        QTest::newRow("a search of one patient")
            << two << true << "search" << QDate(2023, 6, 1) << QDate(2023, 12, 31) << "B" << 11;
        // 366 days: both ends are in; the next result either side is not.
        QTest::newRow("366 days") << two << true << "search" << QDate(2023, 1, 6)
                                  << QDate(2024, 1, 7) << all << 74;
        QTest::newRow("a period of 12 weeks")
            << two << true << "period" << none << none << all << 17;
        QTest::newRow("nothing matches")
            << two << true << "search" << QDate(2022, 1, 1) << QDate(2022, 6, 1) << all << 0;
    }
    void windowsShowWhatTheWholeReadShowed() {
        QFETCH(std::vector<StoredRow>, rows);
        QFETCH(bool, index);
        QFETCH(QString, action);
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(QString, pid);
        QFETCH(int, count);
        Fixture f(rows);
        if (index)
            QVERIFY(f.db.ResultTable.EnsureDuplicateIndex());
        f.view->SetPatientSliceRows(3);
        f.view->RefreshGraph();
        if (action == "search") {
            f.Search(from, to, pid);
        } else if (action != "refresh") {
            f.view->PidList->setEditText(pid);
            f.view->OnPeriodChanged(action == "period" ? 12 : 0);
        }
        QVERIFY(f.prompt.messages.empty());
        const std::vector<ChartPoint> whole = WholeRead(f.view->ChartSearch(), 0);
        QCOMPARE(int(whole.size()), count);
        QCOMPARE(f.view->PointCount(), count);
        const int last = std::max(0, count - kPointsInView);
        QCOMPARE(f.view->ScrollBar->maximum(), last);
        // There and back, by jumps and by steps.
        for (int first : {0, last / 2, last, last - 1, last / 2 + 1, 1, 0, last}) {
            first = std::clamp(first, 0, last);
            f.view->ScrollTo(first);
            QCOMPARE(f.view->FirstVisible(), first);
            const int lo = std::max(0, first - 1);
            const int hi = std::min(count, first + kPointsInView + 1);
            QCOMPARE(ShownBy(*f.view), ShownOf(whole, first, lo, hi));
        }
        if (count > 0) {
            QCOMPARE(
                f.view->ArgumentText(size_t(count - 1)),
                FormatChartLabel(whole.back().row.DATE.c_str(), whole.back().row.TIME.c_str(), 0));
            QCOMPARE(f.view->ReferenceDate(), whole.back().row.DATE);
        }
        // The patient list, once the slices have run: the IDs in the order they first show.
        for (int i = 0; i < 1000 && !f.view->PatientListComplete(); ++i)
            QCoreApplication::processEvents();
        QVERIFY(f.view->PatientListComplete());
        if (action == "refresh") {
            QStringList ids{QStringLiteral("ALL Data")};
            for (const ChartPoint& p : whole) {
                const QString id = QString::fromLatin1(p.row.PID.c_str()).trimmed();
                if (!ids.contains(id, Qt::CaseInsensitive))
                    ids << id;
            }
            QStringList items;
            for (int i = 0; i < f.view->PidList->count(); ++i)
                items << f.view->PidList->itemText(i);
            QCOMPARE(items, ids);
            QCOMPARE(f.view->PidList->currentIndex(), 0);
        }
    }

    // A scroll step is a seek in the index and a few steps, not a walk from the start or the
    // end: its work does not grow with the number of results, also where a date range of the
    // filter would let the planner start from the range.
    void aStepLooksOnlyAtThePointsItReads_data() {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("filter");
        for (int rows : {120, 3000}) {
            const QString n = QString::number(rows);
            QTest::newRow(qPrintable(n + " results")) << rows << QString();
            QTest::newRow(qPrintable(n + " results, a date range"))
                << rows << "DATE between '20200101' and '20301231'";
            QTest::newRow(qPrintable(n + " results, a patient")) << rows << "rtrim([PID],' ')='P'";
        }
    }
    void aStepLooksOnlyAtThePointsItReads() {
        QFETCH(int, rows);
        QFETCH(QString, filter);
        std::vector<StoredRow> stored;
        for (int i = 0; i < rows; ++i)
            stored.push_back({DateKey(QDate(2020, 1, 1).addDays((i * 7) % (rows / 4))),
                              i % 2 ? "0800" : "0900", "060", "P ", "OP "});
        Fixture f;
        {
            auto lock = f.db.ResultTable.Lock();
            CDbTransaction tx(f.db.ResultTable);
            QVERIFY(StoreRows(f.db.ResultTable, stored));
            QVERIFY(f.db.ResultTable.EnsureDuplicateIndex());
            QVERIFY(tx.Commit());
        }
        CResultSearch search(f.db.ResultTable);
        search.SetFilter(filter.toStdString());
        std::vector<IndexPlace> nearEnd, nearStart, out;
        QVERIFY(search.ReadPlaces(nullptr, true, 20, 1, nearEnd));
        QVERIFY(search.ReadPlaces(nullptr, false, 20, 1, nearStart));
        struct Step {
            const IndexPlace* from;
            bool backward;
            size_t skip;
        };
        sqlite3_progress_handler(f.db.ResultTable.Database(), 10, CountWork, nullptr);
        for (const Step& step :
             {Step{&nearEnd.front(), false, 0}, Step{&nearEnd.front(), false, 8},
              Step{&nearStart.front(), true, 0}, Step{&nearStart.front(), true, 8}}) {
            gWork = 0;
            QVERIFY(search.ReadPlaces(step.from, step.backward, step.skip, 10, out));
            QCOMPARE(out.size(), size_t(10));
            QVERIFY2(gWork < 200, qPrintable(QString::number(gWork)));
        }
        // The view's steps seek from the points it holds, in the middle as at the end.
        f.view->RefreshGraph();
        for (int first : {rows / 2, rows - kPointsInView}) {
            f.view->ScrollTo(first);
            for (int by : {1, -1, kPointsInView, -kPointsInView}) {
                gWork = 0;
                f.view->ScrollBy(by);
                QVERIFY2(gWork < 200, qPrintable(QString::number(gWork)));
            }
        }
        sqlite3_progress_handler(f.db.ResultTable.Database(), 0, nullptr, nullptr);
    }

    void bandThresholdsPerUnit_data() {
        QTest::addColumn<int>("unit");
        QTest::addColumn<float>("value");
        QTest::addColumn<int>("category");
        QTest::newRow("5.6 %") << 0 << 5.6f << int(HbA1cCategory::Normal);
        QTest::newRow("5.7 %") << 0 << 5.7f << int(HbA1cCategory::Prediabetes);
        QTest::newRow("6.4 %") << 0 << 6.4f << int(HbA1cCategory::Prediabetes);
        QTest::newRow("6.5 %") << 0 << 6.5f << int(HbA1cCategory::Diabetes);
        // 5.7 % converts to 38.8 mmol/mol, yet 38 is below and 39 within the middle band.
        QTest::newRow("38 mmol/mol") << 1 << 38.0f << int(HbA1cCategory::Normal);
        QTest::newRow("39 mmol/mol") << 1 << 39.0f << int(HbA1cCategory::Prediabetes);
        QTest::newRow("47 mmol/mol") << 1 << 47.0f << int(HbA1cCategory::Prediabetes);
        QTest::newRow("48 mmol/mol") << 1 << 48.0f << int(HbA1cCategory::Diabetes);
    }
    void bandThresholdsPerUnit() {
        QFETCH(int, unit);
        QFETCH(float, value);
        QFETCH(int, category);
        QCOMPARE(int(CategoryOf(value, unit)), category);
    }

    void chartShadesTheBandsOfTheUnit_data() {
        QTest::addColumn<int>("unit");
        QTest::addColumn<std::vector<double>>("edges");
        QTest::addColumn<QString>("upperName");
        QTest::newRow("percent") << 0 << std::vector<double>{0, 5.7, 6.5, 15}
                                 << QStringLiteral("6.5 % and above");
        QTest::newRow("mmol/mol") << 1 << std::vector<double>{0, 39, 48, 150}
                                  << QStringLiteral("48 mmol/mol and above");
    }
    void chartShadesTheBandsOfTheUnit() {
        QFETCH(int, unit);
        QFETCH(std::vector<double>, edges);
        QFETCH(QString, upperName);
        Fixture f(kRows);
        f.settings.unit = unit;
        f.view->RefreshGraph();
        const HbA1cCategory cats[3] = {HbA1cCategory::Normal, HbA1cCategory::Prediabetes,
                                       HbA1cCategory::Diabetes};
        for (int b = 0; b < 3; ++b) {
            const auto ys = SeriesYs(f.view->Band(cats[b]));
            for (double y : ys[0])
                QCOMPARE(float(y), float(edges[b]));
            for (double y : ys[1])
                QCOMPARE(float(y), float(edges[b + 1]));
        }
        QCOMPARE(f.view->Band(HbA1cCategory::Diabetes)->name(), upperName);
    }

    void scrollingHandsTheChartOnlyThePointsNearTheView() {
        std::vector<StoredRow> rows;
        for (int i = 0; i < 100; ++i) {
            const QDate d = QDate(2024, 1, 1).addDays(i);
            rows.push_back({DateKey(d), "0800", "060", "P" + std::to_string(i % 3) + " ", "OP "});
        }
        Fixture f(rows);
        f.view->show();
        f.view->RefreshGraph();
        QCOMPARE(f.view->Points().size(), size_t(100));
        QCOMPARE(f.view->Series()->count(), kPointsInView + 1);
        QCOMPARE(f.view->ScrollBar->maximum(), 92);
        f.view->ScrollBar->setValue(50);
        QCOMPARE(f.view->FirstVisible(), 50);
        QCOMPARE(f.view->Series()->count(), kPointsInView + 2);
        QCOMPARE(f.view->Series()->at(0).x(), 49.0);
        QCOMPARE(f.view->DateAxis()->min(), 49.5);
        QVERIFY(f.view->DateAxis()->categoriesLabels().contains(
            QString::fromStdString(f.view->ArgumentText(57))));
        QCOMPARE(f.view->DateAxis()->categoriesLabels().size(), kPointsInView);
        QTest::keyClick(f.view->ChartView, Qt::Key_End);
        QCOMPARE(f.view->FirstVisible(), 92);
        QCOMPARE(f.view->ScrollBar->value(), 92);
        QTest::keyClick(f.view->ChartView, Qt::Key_PageUp);
        QCOMPARE(f.view->FirstVisible(), 84);
        QTest::keyClick(f.view->ChartView, Qt::Key_Left);
        QCOMPARE(f.view->FirstVisible(), 83);
        QWheelEvent wheel(QPointF(100, 100), QPointF(100, 100), QPoint(), QPoint(0, -240),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(f.view->ChartView->viewport(), &wheel);
        QCOMPARE(f.view->FirstVisible(), 85);
        QTest::keyClick(f.view->ChartView, Qt::Key_Home);
        QCOMPARE(f.view->FirstVisible(), 0);
        QCOMPARE(f.view->Series()->count(), kPointsInView + 1);
    }

    void sameMinuteResultsKeepTheirOwnLabels() {
        Fixture f(
            {{"20240315", "1405", "065", "A ", "OP "}, {"20240315", "1405", "070", "B ", "OP "}});
        f.view->RefreshGraph();
        QCOMPARE(f.view->Points().size(), size_t(2));
        QCOMPARE(f.view->DateAxis()->count(), 2);
    }

    void grabbedChartShowsThePoints() {
        Fixture f(kRows);
        f.view->show();
        f.view->RefreshGraph();
        QVERIFY(QTest::qWaitForWindowExposed(f.view.get()));
        const int withPoints = PointPixels(f.view->ChartView->grab().toImage());
        f.Search(QDate(2022, 1, 1), QDate(2022, 2, 1));
        QApplication::processEvents();
        const int empty = PointPixels(f.view->ChartView->grab().toImage());
        // Six markers of 11 pixels; the empty chart has none (the legend's marker aside).
        QVERIFY2(withPoints > empty + 6 * 40,
                 qPrintable(QStringLiteral("%1 vs %2").arg(withPoints).arg(empty)));
    }

    void toolTipTellsDateTimeValueAndPid_data() {
        QTest::addColumn<int>("unit");
        QTest::addColumn<int>("time");
        QTest::addColumn<QString>("tip");
        QTest::newRow("percent, 24 hours") << 0 << 1 << "2024-03-15 14:05\n6.5 %\nPID: 123456";
        QTest::newRow("mmol/mol, 12 hours")
            << 1 << 0 << "2024-03-15 02:05 PM\n48 mmol/mol\nPID: 123456";
    }
    void toolTipTellsDateTimeValueAndPid() {
        QFETCH(int, unit);
        QFETCH(int, time);
        QFETCH(QString, tip);
        Fixture f(kRows);
        f.settings.unit = unit;
        f.settings.time = time;
        f.view->RefreshGraph();
        QCOMPARE(f.view->PointToolTip(5), tip);
    }

    void saveChart_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("magic");
        QTest::newRow("PNG") << "chart.png" << QByteArray("\x89PNG");
        QTest::newRow("PDF") << "chart.PDF" << QByteArray("%PDF");
    }
    void saveChart() {
        QFETCH(QString, name);
        QFETCH(QByteArray, magic);
        Fixture f(kRows);
        f.view->show();
        f.view->RefreshGraph();
        const QString path = f.home.filePath(name);
        f.view->SetSaveFileChooser([path]() { return path; });
        f.view->SaveButton->click();
        QVERIFY(f.prompt.messages.empty());
        const QByteArray bytes = ReadAll(path);
        QVERIFY(bytes.startsWith(magic));
        if (magic.startsWith("\x89"))
            QCOMPARE(QImage::fromData(bytes).size(), f.view->ChartView->size());
        // A folder that does not exist: the user is told, nothing is written.
        const QString bad = f.home.filePath("missing/" + name);
        f.view->SetSaveFileChooser([bad]() { return bad; });
        f.view->SaveButton->click();
        QCOMPARE(f.prompt.messages.size(), size_t(1));
        QVERIFY(!QFile::exists(bad));
    }

    void savedChartNamesThePatientAndThePeriod_data() {
        QTest::addColumn<int>("dateFormat");
        QTest::addColumn<QString>("pid"); // empty: every patient
        QTest::addColumn<int>("weeks");   // the period list; -1: a search 2024-01-01..03-15
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("fileName");
        const QString t = QString::fromLatin1(kChartTitle);
        QTest::newRow("every patient") << 0 << QString() << 0 << t << "HbA1c chart.png";
        QTest::newRow("a patient, every result: first to last")
            << 0 << "123456" << 0 << t + " - Patient 123456, 2023-03-10 to 2024-03-15"
            << "HbA1c chart patient 123456 2023-03-10 to 2024-03-15.png";
        QTest::newRow("a patient in a period")
            << 0 << "123456" << 2 << t + " - Patient 123456, 2024-03-01 to 2024-03-15"
            << "HbA1c chart patient 123456 2024-03-01 to 2024-03-15.png";
        QTest::newRow("a patient searched, month first")
            << 1 << "O'Neil" << -1 << t + " - Patient O'Neil, 01/01/2024 to 03/15/2024"
            << "HbA1c chart patient O_Neil 2024-01-01 to 2024-03-15.png";
    }
    void savedChartNamesThePatientAndThePeriod() {
        QFETCH(int, dateFormat);
        QFETCH(QString, pid);
        QFETCH(int, weeks);
        QFETCH(QString, title);
        QFETCH(QString, fileName);
        Fixture f(kRows);
        f.settings.Date = dateFormat;
        f.view->RefreshGraph();
        if (weeks < 0) {
            f.Search(QDate(2024, 1, 1), QDate(2024, 3, 15), pid);
        } else {
            f.view->Period->setCurrentIndex(weeks);
            f.view->PidList->setEditText(pid.isEmpty() ? QStringLiteral("ALL Data") : pid);
            f.view->OnPatientChosen();
        }
        QCOMPARE(f.view->Chart()->title(), title);
        QCOMPARE(f.view->ChartTitle(), title);
        // The message pane says what is shown, with the patient.
        if (!pid.isEmpty()) {
            const size_t n = f.view->Points().size();
            const QString count =
                QStringLiteral("%1 %2: ").arg(n).arg(n == 1 ? "result" : "results");
            QVERIFY2(f.said.contains(QStringLiteral("PID ") + pid) && f.said.startsWith(count),
                     qPrintable(f.said));
        }
        QCOMPARE(f.view->DefaultChartFileName(), fileName);
        // Back to every result: the plain title.
        f.view->RefreshGraph();
        QCOMPARE(f.view->Chart()->title(), QString::fromLatin1(kChartTitle));
    }

    // A patient's results under period All are counted by a walk through the whole index: in
    // a long table on a thread. Until the count is read the chart shows what it showed; then
    // what the count at once shows. A store while the patient is shown is counted the same way;
    // a fill meanwhile drops a count still running.
    void patientCountedOnAThread_data() {
        QTest::addColumn<QString>("pid");
        QTest::newRow("two results") << "123456";
        QTest::newRow("typed in another case") << "o'neil";
        QTest::newRow("no result") << "nobody";
    }
    void patientCountedOnAThread() {
        QFETCH(QString, pid);
        Fixture atOnce(kRows), later(kRows);
        later.view->SetBackgroundCountAbove(0);
        auto choose = [&pid](Fixture& f) {
            f.view->Period->setCurrentIndex(0);
            f.view->PidList->setEditText(pid);
            f.view->OnPatientChosen();
        };
        auto same = [&]() {
            QCOMPARE(later.view->PointCount(), atOnce.view->PointCount());
            QCOMPARE(later.Dates(), atOnce.Dates());
            QCOMPARE(later.Pids(), atOnce.Pids());
            QCOMPARE(later.PlottedValues(), atOnce.PlottedValues());
            QCOMPARE(later.view->Chart()->title(), atOnce.view->Chart()->title());
            QCOMPARE(later.view->EmptyChartText(), atOnce.view->EmptyChartText());
            QCOMPARE(later.view->SearchActive(), atOnce.view->SearchActive());
            QCOMPARE(later.view->StartDate->GetDate(), atOnce.view->StartDate->GetDate());
            QCOMPARE(later.said, atOnce.said);
        };
        auto patients = [](Fixture& f) {
            for (int i = 0; i < 100 && !f.view->PatientListComplete(); ++i)
                QCoreApplication::processEvents();
            return f.Items(f.view->PidList);
        };
        for (Fixture* f : {&atOnce, &later}) {
            f->view->SetPatientSliceRows(1); // the patient list still filling when chosen
            f->view->RefreshGraph();
        }
        const Texts every = later.Dates();
        choose(later);
        QVERIFY(later.view->CountRunning());
        QVERIFY(!later.view->PatientListComplete());
        QCOMPARE(later.Dates(), every);
        QCOMPARE(later.view->Chart()->title(), QString::fromLatin1(kChartTitle));
        QVERIFY(!later.view->SearchActive());
        later.view->WaitForCount();
        QVERIFY(!later.view->CountRunning());
        choose(atOnce);
        same();
        QCOMPARE(patients(later), patients(atOnce));

        for (Fixture* f : {&atOnce, &later}) {
            QVERIFY(StoreRows(f->db.ResultTable, {{"20240401", "0700", "061", "123456 ", "OP9 "}}));
            f->db.Changed.Notify(ResultsChange::Stored, 1);
        }
        QVERIFY(later.view->CountRunning());
        later.view->WaitForCount();
        same();

        choose(later);
        QVERIFY(later.view->CountRunning());
        later.view->RefreshGraph();
        later.view->WaitForCount();
        atOnce.view->RefreshGraph();
        same();
        QCOMPARE(later.view->PointCount(), int(kRows.size()) + 1);

        // A store while the count for a patient just chosen runs: the chart shows that patient
        // when counted, not what it showed before the choice.
        for (Fixture* f : {&atOnce, &later}) {
            f->view->PidList->setEditText(QStringLiteral("ALL Data"));
            f->view->OnPatientChosen();
        }
        QVERIFY(!later.view->CountRunning());
        choose(later);
        QVERIFY(later.view->CountRunning());
        // The same end as a store before the choice.
        for (Fixture* f : {&atOnce, &later}) {
            QVERIFY(StoreRows(f->db.ResultTable, {{"20240402", "0800", "062", "123456 ", "OP9 "}}));
            f->db.Changed.Notify(ResultsChange::Stored, 1);
        }
        choose(atOnce);
        later.view->WaitForCount();
        same();
    }

    void patientListShowsIdsWithoutPadding_data() {
        QTest::addColumn<int>("sliceRows");
        QTest::addColumn<int>("weeks"); // a period chosen before the slices are done (0: none)
        QTest::newRow("at once") << 5000 << 0;
        QTest::newRow("in slices") << 1 << 0;
        QTest::newRow("in slices, a period chosen meanwhile") << 1 << 1;
        QTest::newRow("in slices, a patient chosen meanwhile") << 2 << -1;
    }
    void patientListShowsIdsWithoutPadding() {
        QFETCH(int, sliceRows);
        QFETCH(int, weeks);
        Fixture f(kRows);
        f.view->SetPatientSliceRows(size_t(sliceRows));
        f.view->RefreshGraph();
        if (weeks != 0) {
            f.view->PidList->setEditText(weeks < 0 ? QStringLiteral("O'Neil") : "ALL Data");
            f.view->OnPeriodChanged(std::max(0, weeks));
        }
        for (int i = 0; i < 100 && !f.view->PatientListComplete(); ++i)
            QCoreApplication::processEvents();
        QStringList items;
        for (int i = 0; i < f.view->PidList->count(); ++i)
            items << f.view->PidList->itemText(i);
        // Oldest first, once each (case aside), without the blanks they are stored with.
        QCOMPARE(items, (QStringList{"ALL Data", "123456", "O'Neil", "ABC"}));
    }

    void everyControlHasAnAccessibleName() {
        Fixture f;
        QCOMPARE(f.view->PidList->accessibleName(), QStringLiteral("Patient ID filter"));
        QCOMPARE(f.view->StartDate->accessibleName(), QStringLiteral("From date"));
        QCOMPARE(f.view->EndDate->accessibleName(), QStringLiteral("To date"));
        for (QWidget* w : f.view->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QAbstractScrollArea*>(w) ||
                qobject_cast<QScrollBar*>(w))
                QVERIFY2(!w->accessibleName().isEmpty(), w->metaObject()->className());
        }
        QCOMPARE(f.view->Period->itemText(0), QStringLiteral("All"));
        QCOMPARE(f.view->Period->itemText(12), QStringLiteral("12 weeks"));
    }
};

int main(int argc, char** argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    TestGraphView t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_graphview.moc"
