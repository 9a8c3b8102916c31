// The graph view against raw sqlite3 on the same main table, in one run:
//  1. activation (RefreshGraph) until the chart has been painted, against the least raw sqlite3
//     must do for it (the count, and the first ten points in chart order by the index) and
//     against one prepared SELECT of every row in chart order; then the time until the patient
//     list, filled in slices meanwhile, is complete;
//  2. one scroll step (the chart reads the points near the view and repaints), at the first,
//     the middle and the last point, against a raw seek of ten points near the end, and the
//     number of points the chart then holds;
//  3. a 30-day search, against the same SELECT with that WHERE;
//  4. one patient chosen under period All (its results counted by a walk through the index):
//     how long the window's thread is blocked, with the count at once and on a thread.
// Usage: bench_graph [rows] [--out-of-order]   (default 100000 rows stored in date order;
// --out-of-order stores them scattered; runs offscreen)

#include "controls/DateTimeCtrl.h"
#include "link/DownloadSession.h"
#include "platform/Prompt.h"
#include "query/ResultQuery.h"
#include "storage/Databases.h"
#include "views/GraphView.h"

#include <QApplication>
#include <QChartView>
#include <QComboBox>
#include <QScatterSeries>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <limits>
#include <sqlite3.h>
#include <string>

#include "BenchSupport.h"

using namespace bench;

namespace {

// One statement stepped through; the text of its first column of the last row.
std::string RawStep(sqlite3* db, const std::string& sql, int* rows) {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    std::string last;
    int n = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        const unsigned char* t = sqlite3_column_text(st, 0);
        last = t ? reinterpret_cast<const char*>(t) : "";
        ++n;
    }
    sqlite3_finalize(st);
    if (rows)
        *rows = n;
    return last;
}

// What the chart needs at opening, in raw sqlite3: the count and the first ten points.
double RawOpening(sqlite3* db) {
    const auto t0 = Clock::now();
    RawStep(db, "SELECT COUNT(*) FROM [HospitalTlb]", nullptr);
    RawStep(
        db,
        std::string("SELECT [DATE], [TIME], [HbA1c_VALUE], [PID] FROM [HospitalTlb] ORDER BY ") +
            kIndexOrder + " LIMIT 10",
        nullptr);
    return Ms(t0, Clock::now());
}

// Ten points after a place near the end, by a seek in the index.
double RawSeekNearTheEnd(sqlite3* db) {
    const std::string place = RawStep(
        db,
        "SELECT quote([DATE]) || ',' || quote([TIME]) || ',' || quote([HbA1c_VALUE]) || ',' || "
        "quote([PID]) || ',' || quote([OPID]) || ',' || ROWID FROM [HospitalTlb] ORDER BY "
        "[DATE] DESC, [TIME] DESC, [HbA1c_VALUE] DESC, [PID] DESC, [OPID] DESC, ROWID DESC "
        "LIMIT 1 OFFSET 20",
        nullptr);
    const auto t0 = Clock::now();
    int rows = 0;
    RawStep(db,
            "SELECT [DATE], [TIME], [HbA1c_VALUE], [PID] FROM [HospitalTlb] WHERE ([DATE], "
            "[TIME], [HbA1c_VALUE], [PID], [OPID], ROWID) > (" +
                place + ") ORDER BY " + kIndexOrder + " LIMIT 10",
            &rows);
    return Ms(t0, Clock::now());
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir tmp;
    BenchEnvironment(tmp.filePath("config"));
    QApplication app(argc, argv);
    const BenchArgs args = ParseBenchArgs(argc, argv);
    const int kRows = args.rows;

    QuietPrompt prompt;
    CResultDatabases db(tmp.path(), &prompt);
    db.OpenDatabases();
    StoreClinicRows(db.ResultTable, kRows, args.outOfOrder);
    sqlite3* raw = OpenReadOnly(db.MainDbPath);

    AppSettings settings;
    IdleSession session;
    CHbA1cDeskGraphDataView view([](int) {}, session, prompt, db, settings);
    view.resize(1024, 768);
    view.show();
    app.processEvents();

    constexpr int kRounds = 3;
    std::printf("%d rows in the main table%s (best of %d)\n", kRows,
                args.outOfOrder ? ", stored out of date order" : "", kRounds);
    double bestRaw = 1e18, bestShow = 1e18, bestRawOpening = 1e18, bestComplete = 1e18;
    int rawRows = 0;
    for (int round = 0; round < kRounds; ++round) {
        bestRaw = std::min(bestRaw, RawSelect(raw, "", kChartSort, &rawRows));
        bestRawOpening = std::min(bestRawOpening, RawOpening(raw));
        // The list's newest-first order in force, as after the all-data list.
        RequeryDefault(db.ResultTable);
        const auto t0 = Clock::now();
        view.OnActivate();
        app.processEvents();
        view.ChartView->viewport()->repaint();
        bestShow = std::min(bestShow, Ms(t0, Clock::now()));
        while (!view.PatientListComplete())
            app.processEvents();
        bestComplete = std::min(bestComplete, Ms(t0, Clock::now()));
    }
    std::printf("  raw sqlite3 prepared SELECT (ORDER BY)   : %8.1f ms  (%d rows)\n", bestRaw,
                rawRows);
    std::printf("  raw sqlite3 count + first ten points     : %8.2f ms\n", bestRawOpening);
    std::printf("  activation until the chart is painted    : %8.1f ms  (%d points)\n", bestShow,
                view.PointCount());
    std::printf("  ... until the patient list is complete   : %8.1f ms  (%d entries, in slices)\n",
                bestComplete, view.PidList->count());

    // One scroll step: the chart takes the points near the view, then repaints.
    auto stepAt = [&](int first) {
        view.ScrollTo(first);
        app.processEvents();
        view.ChartView->viewport()->repaint();
        double best = 1e18;
        for (int i = 0; i < 20; ++i) {
            const int to = i % 2 ? first : first + 1;
            const auto t0 = Clock::now();
            view.ScrollTo(to);
            app.processEvents();
            view.ChartView->viewport()->repaint();
            best = std::min(best, Ms(t0, Clock::now()));
        }
        return best;
    };
    const int last = std::max(0, view.PointCount() - kPointsInView - 1);
    const double atFirst = stepAt(0);
    const double atMiddle = stepAt(last / 2);
    const double atLast = stepAt(last);
    std::printf("  one scroll step and repaint, first point : %8.2f ms\n", atFirst);
    std::printf("  one scroll step and repaint, middle      : %8.2f ms\n", atMiddle);
    std::printf("  one scroll step and repaint, last point  : %8.2f ms  (frame: 16.7 ms)\n",
                atLast);
    double rawSeek = 1e18;
    for (int i = 0; i < 20; ++i)
        rawSeek = std::min(rawSeek, RawSeekNearTheEnd(raw));
    std::printf("  raw sqlite3 seek of ten points, near end : %8.2f ms\n", rawSeek);
    std::printf("  points in the chart's series while scrolling: %d of %d\n",
                static_cast<int>(view.Series()->count()), view.PointCount());

    // 30 days back from the newest result.
    view.OnActivate();
    const QDate newest =
        QDate::fromString(QString::fromStdString(view.ReferenceDate()), "yyyyMMdd");
    const std::string where =
        "DATE between '" + DateKey(newest.addDays(-30)) + "' and '" + DateKey(newest) + "'";
    double bestRawSearch = 1e18, bestSearch = 1e18;
    int searchRows = 0;
    for (int round = 0; round < kRounds; ++round) {
        bestRawSearch = std::min(bestRawSearch, RawSelect(raw, where, kChartSort, &searchRows));
        view.StartDate->SetDate(newest.addDays(-30));
        view.EndDate->SetDate(newest);
        const auto t0 = Clock::now();
        view.OnSearch();
        app.processEvents();
        view.ChartView->viewport()->repaint();
        bestSearch = std::min(bestSearch, Ms(t0, Clock::now()));
    }
    std::printf("  raw sqlite3 SELECT with the 30-day WHERE : %8.1f ms  (%d rows)\n", bestRawSearch,
                searchRows);
    std::printf("  30-day search until painted (OnSearch)   : %8.1f ms  (%.2fx baseline; %d "
                "points)\n",
                bestSearch, bestSearch / bestRawSearch, view.PointCount());

    // One patient under period All: every index entry is looked at to count the patient's
    // results, at once (as before) or on a thread.
    for (const bool onThread : {false, true}) {
        view.SetBackgroundCountAbove(onThread ? 20000 : std::numeric_limits<int>::max());
        Stall worst;
        for (int round = 0; round < kRounds; ++round) {
            view.RefreshGraph();
            const Stall s = MeasureStall(
                [&]() {
                    view.PidList->setEditText(QStringLiteral("PAT00007"));
                    view.OnPatientChosen();
                },
                [&]() { return !view.CountRunning(); });
            if (s.longest > worst.longest)
                worst = s;
        }
        std::printf("  patient, period All, %s: window's thread blocked %8.1f ms  (worst of "
                    "%d; %.1f ms until drawn, %d points)\n",
                    onThread ? "on a thread" : "at once    ", worst.longest, kRounds, worst.total,
                    view.PointCount());
    }
    sqlite3_close(raw);
    return 0;
}
