// The all-data list against raw sqlite3 on the same main table, in one run:
//  1. the time until the first rows are shown (RefreshList and one repaint of the top of the
//     list), and the time until the last row is shown (scrolled to the bottom);
//  2. header clicks that sort by Date (both directions) and by Patient ID, against sqlite3
//     ordering the same rows by date and time (one prepared SELECT stepped through);
//  3. a 30-day search, against the same SELECT with that WHERE;
//  4. how long the window's thread goes without answering (the longest gap between the ticks of
//     a 1 ms timer) during a header sort by Date and during the export of every row to a file;
//     a divider double-click that fits Patient ID, measuring every row or the longest IDs;
//  5. the time of one repaint near the first and near the last row, and the peak resident size
//     (VmHWM) of the process, which only reads: the rows are stored by a child process first.
// Usage: bench_list [rows] [--out-of-order]   (default 100000; runs offscreen). With
// --out-of-order the rows are stored in a shuffled order, as corrections and restores leave them.

#include "controls/DateTimeCtrl.h"
#include "link/AcquisitionController.h"
#include "link/DownloadSession.h"
#include "platform/Prompt.h"
#include "query/ResultQuery.h"
#include "storage/Databases.h"
#include "storage/DbTable.h"
#include "views/AllDataListView.h"
#include "views/list/ListCtrlExt.h"

#include <QApplication>
#include <QFileInfo>
#include <QScrollBar>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <sqlite3.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "BenchSupport.h"

using namespace bench;

namespace {

// Peak resident size of this process, in kB.
long PeakResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

// Stores `rows` clinic rows with the index a download makes; out of order: in a scattered order,
// so neighbours in date are far apart in the file.
void StoreRows(CResultTable& t, int rows, bool outOfOrder) {
    StoreClinicRows(t, rows, outOfOrder);
}

double Best(int rounds, const std::function<double()>& once) {
    double best = 1e18;
    for (int r = 0; r < rounds; ++r)
        best = std::min(best, once());
    return best;
}

} // namespace

int main(int argc, char** argv) {
    int rows = 100000;
    bool outOfOrder = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--out-of-order") == 0)
            outOfOrder = true;
        else if (std::atoi(argv[i]) > 0)
            rows = std::atoi(argv[i]);
    }
    QTemporaryDir tmp;
    BenchEnvironment(tmp.filePath("config"));

    // The rows are stored by a child, so the peak size below is the list's alone.
    const pid_t child = fork();
    if (child == 0) {
        QuietPrompt prompt;
        CResultDatabases db(tmp.path(), &prompt);
        db.OpenDatabases();
        StoreRows(db.ResultTable, rows, outOfOrder);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);

    QApplication app(argc, argv);
    QuietPrompt prompt;
    CResultDatabases db(tmp.path(), &prompt);
    db.OpenDatabases();
    sqlite3* raw = OpenReadOnly(db.MainDbPath);

    AppSettings settings;
    IdleSession session;
    CHbA1cDeskAllDataListView view([](int) {}, session, prompt, db, settings);
    view.resize(1024, 768);
    view.show();
    app.processEvents();
    const long peakBefore = PeakResidentKb();

    constexpr int kRounds = 3;
    std::printf("%d rows in the main table%s (best of %d)\n", rows,
                outOfOrder ? ", stored out of order" : "", kRounds);
    int rawRows = 0;
    const double bestRaw =
        Best(kRounds, [&]() { return RawSelect(raw, "", kDefaultSort, &rawRows); });
    const double first = Best(kRounds, [&]() {
        const auto t0 = Clock::now();
        view.RefreshList();
        app.processEvents();
        view.List->viewport()->repaint();
        const double ms = Ms(t0, Clock::now());
        view.WaitForRows(); // not counted: the window answers meanwhile
        return ms;
    });
    const double last = Best(kRounds, [&]() {
        const auto t0 = Clock::now();
        view.RefreshList();
        view.WaitForRows();
        view.List->scrollToBottom();
        app.processEvents();
        view.List->viewport()->repaint();
        return Ms(t0, Clock::now());
    });
    std::printf("  raw sqlite3 prepared SELECT (ORDER BY) : %8.1f ms  (%d rows)\n", bestRaw,
                rawRows);
    std::printf("  first rows shown (RefreshList, repaint) : %8.1f ms  (%d rows listed)\n", first,
                view.List->ItemCount());
    std::printf("  every key and ID read, last row shown    : %8.1f ms\n", last);
    // What pressing All data costs, before the sorts, the export and the auto-fit baselines
    // below (the one that measures every row holds every text) add their own.
    const long peakListed = PeakResidentKb();

    // sqlite3 ordering the same rows by date and time, every column read.
    int sortedRows = 0;
    const double rawDate =
        Best(kRounds, [&]() { return RawSelect(raw, "", "[DATE] ASC, [TIME] ASC", &sortedRows); });
    std::printf("  raw sqlite3 SELECT ORDER BY date, time  : %8.1f ms  (%d rows)\n", rawDate,
                sortedRows);
    view.RefreshList();
    view.WaitForRows();
    app.processEvents();
    // A sort is shown when the model tells its views of the new order (at once, or when a
    // sort on a thread is applied).
    int layouts = 0;
    QObject::connect(view.List->Model(), &QAbstractItemModel::layoutChanged,
                     [&layouts]() { ++layouts; });
    auto sortShown = [&](int column) {
        const int before = layouts;
        view.List->SortByColumn(column, true);
        while (layouts == before)
            app.processEvents(QEventLoop::WaitForMoreEvents);
        view.List->viewport()->repaint();
    };
    for (const bool ascending : {true, false}) {
        const double t = Best(kRounds, [&]() {
            // The first click after ClearSort sorts ascending, the second descending.
            view.List->ClearSort();
            if (!ascending)
                sortShown(1);
            const auto t0 = Clock::now();
            sortShown(1);
            return Ms(t0, Clock::now());
        });
        std::printf("  header click, sort by Date (%s) : %8.1f ms  (%.2fx sqlite3, target <= 3x)\n",
                    ascending ? "ascending " : "descending", t, t / rawDate);
    }
    view.List->ClearSort();
    {
        const double t = Best(kRounds, [&]() {
            const auto t0 = Clock::now();
            sortShown(4);
            return Ms(t0, Clock::now());
        });
        std::printf("  header click, sort by Patient ID        : %8.1f ms  (%.2fx sqlite3)\n", t,
                    t / rawDate);
    }
    {
        Stall worst;
        for (int r = 0; r < kRounds; ++r) {
            // The list as the user sees it before the click (the last order's rows read).
            view.List->ClearSort();
            app.processEvents();
            view.List->viewport()->repaint();
            const int before = layouts;
            const Stall s = MeasureStall([&]() { view.List->SortByColumn(1, true); },
                                         [&]() { return layouts != before; });
            if (s.longest > worst.longest)
                worst = s;
        }
        std::printf("  sort by Date, window's thread blocked   : %8.1f ms  (worst of %d; %.1f ms "
                    "until shown)\n",
                    worst.longest, kRounds, worst.total);
    }
    {
        // The Export button, its question answered and the file chosen: every row in the order
        // shown, written to a file.
        QuietPrompt yes(true);
        CHbA1cDeskAllDataListView exporter([](int) {}, session, yes, db, settings);
        exporter.resize(1024, 768);
        exporter.RefreshList();
        exporter.WaitForRows();
        CsvDesktop desktop;
        const QString file = tmp.filePath("export.csv");
        desktop.chooseFile = [file](const QString&) { return file; };
        desktop.openFile = [](const QString&) { return true; };
        exporter.SetExportDesktop(desktop);
        const Stall s = MeasureStall([&]() { exporter.OnExport(); }, []() { return true; });
        std::printf("  export, window's thread blocked         : %8.1f ms  (%.1f ms in all, %lld "
                    "bytes)\n",
                    s.longest, s.total, static_cast<long long>(QFileInfo(file).size()));
    }

    // A double-click on the Patient ID divider: every row measured (as before), and the rows in
    // view with the rows of the longest IDs.
    view.RefreshList();
    view.WaitForRows();
    app.processEvents();
    for (const bool everyRow : {true, false}) {
        view.List->SetAutoFitAllRowsUpTo(everyRow ? std::numeric_limits<int>::max() : 2000);
        view.List->Header()->resizeSection(4, 50);
        const int narrow = view.List->Header()->sectionSize(4);
        const Stall s =
            MeasureStall([&]() { view.List->AutoFitColumn(4); },
                         [&]() { return view.List->Header()->sectionSize(4) != narrow; });
        std::printf("  auto-fit of Patient ID, %s: window's thread blocked %6.1f ms (%.1f ms "
                    "until fitted, width %d)\n",
                    everyRow ? "every row     " : "longest in SQL", s.longest, s.total,
                    view.List->Header()->sectionSize(4));
    }

    // 30 days back from the newest result.
    view.RefreshList();
    view.WaitForRows();
    const QDate newest = QDate::fromString(QString::fromStdString(view.NewestDate()), "yyyyMMdd");
    const std::string where =
        "DATE between '" + DateKey(newest.addDays(-30)) + "' and '" + DateKey(newest) + "'";
    int searchRows = 0;
    const double bestRawSearch =
        Best(kRounds, [&]() { return RawSelect(raw, where, kDefaultSort, &searchRows); });
    const double bestSearch = Best(kRounds, [&]() {
        view.StartDate->SetDate(newest.addDays(-30));
        view.EndDate->SetDate(newest);
        const auto t0 = Clock::now();
        view.OnSearch();
        app.processEvents();
        view.List->viewport()->repaint();
        const double ms = Ms(t0, Clock::now());
        view.WaitForRows();
        return ms;
    });
    std::printf("  raw sqlite3 SELECT with the 30-day WHERE: %8.1f ms  (%d rows)\n", bestRawSearch,
                searchRows);
    std::printf("  30-day search, first rows shown         : %8.1f ms  (%.2fx sqlite3; %d rows)\n",
                bestSearch, bestSearch / bestRawSearch, view.List->ItemCount());

    // Scrolling: one repaint at the top and one at the bottom of the full list.
    view.RefreshList();
    view.WaitForRows();
    app.processEvents();
    auto repaintAt = [&](int value) {
        view.List->verticalScrollBar()->setValue(value);
        app.processEvents();
        double best = 1e18;
        for (int i = 0; i < 20; ++i) {
            const auto t0 = Clock::now();
            view.List->viewport()->repaint();
            best = std::min(best, Ms(t0, Clock::now()));
        }
        return best;
    };
    const double top = repaintAt(0);
    const double bottom = repaintAt(view.List->verticalScrollBar()->maximum());
    std::printf("  one repaint near the first row          : %8.2f ms\n", top);
    std::printf("  one repaint near the last row           : %8.2f ms\n", bottom);
    const long peak = PeakResidentKb();
    std::printf(
        "  memory: peak resident (VmHWM) %ld kB once the list was shown to its last row, %ld kB "
        "before it was filled, %ld kB at the end\n",
        peakListed, peakBefore, peak);
    sqlite3_close(raw);
    return 0;
}
