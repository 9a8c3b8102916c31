// The graph view against raw sqlite3 on the same 100,000-row main table, in one run:
//  1. activation (RefreshGraph) until the chart has been painted, against one prepared SELECT
//     of the same rows in chart order (oldest first) stepped through, every column read;
//  2. one scroll step (the chart takes the points near the view and repaints), at the first,
//     the middle and the last point, and the number of points the chart then holds;
//  3. a 30-day search, against the same SELECT with that WHERE.
// Usage: bench_graph [rows] [--out-of-order]   (default 100000 rows stored in date order;
// --out-of-order stores them scattered; runs offscreen)

#include "controls/DateTimeCtrl.h"
#include "link/DownloadSession.h"
#include "platform/Prompt.h"
#include "storage/Databases.h"
#include "storage/ResultQuery.h"
#include "views/GraphView.h"

#include <QApplication>
#include <QChartView>
#include <QScatterSeries>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sqlite3.h>
#include <string>

#include "BenchSupport.h"

using namespace bench;

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
    double bestRaw = 1e18, bestShow = 1e18;
    int rawRows = 0;
    for (int round = 0; round < kRounds; ++round) {
        bestRaw = std::min(bestRaw, RawSelect(raw, "", kChartSort, &rawRows));
        // The list's newest-first order in force, as after the all-data list.
        RequeryDefault(db.ResultTable);
        const auto t0 = Clock::now();
        view.OnActivate();
        app.processEvents();
        view.ChartView->viewport()->repaint();
        bestShow = std::min(bestShow, Ms(t0, Clock::now()));
    }
    std::printf("  raw sqlite3 prepared SELECT (ORDER BY)   : %8.1f ms  (%d rows)\n", bestRaw,
                rawRows);
    std::printf("  activation until the chart is painted    : %8.1f ms  (%.2fx baseline, target "
                "<= 10x; %zu points)\n",
                bestShow, bestShow / bestRaw, view.Points().size());

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
    const int last = std::max(0, static_cast<int>(view.Points().size()) - kPointsInView - 1);
    const double atFirst = stepAt(0);
    const double atMiddle = stepAt(last / 2);
    const double atLast = stepAt(last);
    std::printf("  one scroll step and repaint, first point : %8.2f ms\n", atFirst);
    std::printf("  one scroll step and repaint, middle      : %8.2f ms\n", atMiddle);
    std::printf("  one scroll step and repaint, last point  : %8.2f ms  (frame: 16.7 ms)\n",
                atLast);
    std::printf("  points in the chart's series while scrolling: %d of %zu\n",
                static_cast<int>(view.Series()->count()), view.Points().size());

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
    std::printf("  30-day search until painted (OnSearch)   : %8.1f ms  (%.2fx baseline; %zu "
                "points)\n",
                bestSearch, bestSearch / bestRawSearch, view.Points().size());
    sqlite3_close(raw);
    return 0;
}
