// The graph view against raw sqlite3 on the same 100,000-row main table, in one run:
//  1. activation (RefreshGraph) until the chart has been painted, against one prepared SELECT
//     of the same rows in chart order (oldest first) stepped through, every column read;
//  2. one scroll step (the chart takes the points near the view and repaints), at the first,
//     the middle and the last point, and the number of points the chart then holds;
//  3. a 30-day search, against the same SELECT with that WHERE.
// Usage: bench_graph [rows]   (default 100000; runs offscreen)

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

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

class QuietPrompt : public IPrompt {
public:
    void Inform(const std::string& text, const std::string&) override {
        std::printf("  message: %s\n", text.c_str());
    }
    bool Ask(const std::string&, const std::string&) override { return false; }
};

class IdleSession : public IDownloadSession {
public:
    const AcquisitionState& State() const override { return state_; }
    void StartManual() override {}
    void StartAutomatic() override {}
    void SwitchToManual() override {}
    bool IsIdle() const override { return true; }

private:
    AcquisitionState state_;
};

void FillRecord(HbA1cRecord& r, int i) {
    // About three years of results from 2,000 patients and 20 operators.
    const QDate d = QDate(2022, 1, 1).addDays(i % 1095);
    char date[16], time[8], value[8], pid[16], opid[16];
    std::snprintf(date, sizeof date, "%04d%02d%02d", d.year(), d.month(), d.day());
    std::snprintf(time, sizeof time, "%02d%02d", (i / 7) % 24, (i / 3) % 60);
    std::snprintf(value, sizeof value, "%03d", 40 + (i * 37) % 101);
    std::snprintf(pid, sizeof pid, "PAT%05d ", (i * 7919) % 2000);
    std::snprintf(opid, sizeof opid, "OP%02d ", i % 20);
    r.DATE = date;
    r.TIME = time;
    r.HbA1c_VALUE = value;
    r.PID = pid;
    r.OPID = opid;
    r.EQ_TYPE = " ";
    r.p_NAME = "";
    r.p_DOB = "19000101";
    r.P_AGE = 0;
    r.P_DIAGNOSE = 0;
    r.DATE_YEAR = d.year();
    r.DATE_MONTH = d.month();
    r.DATE_DAY = d.day();
    r.TIME_HOUR = (i / 7) % 24;
    r.TIME_MIN = (i / 3) % 60;
    r.P_MEMO = "";
}

// One prepared SELECT stepped through, every column read as the table layer reads it.
double RawSelect(sqlite3* db, const std::string& where, int* rows) {
    const auto t0 = Clock::now();
    const std::string sql = "SELECT * FROM [HospitalTlb]" +
                            (where.empty() ? "" : " WHERE " + where) + " ORDER BY " + kChartSort;
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    int n = 0;
    std::string texts[9];
    long long sum = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < 16; ++c) {
            if (sqlite3_column_type(st, c) == SQLITE_INTEGER) {
                sum += sqlite3_column_int(st, c);
            } else {
                const unsigned char* t = sqlite3_column_text(st, c);
                texts[c % 9].assign(t ? reinterpret_cast<const char*>(t) : "");
            }
        }
        ++n;
    }
    sqlite3_finalize(st);
    *rows = n + static_cast<int>(sum & 0);
    return Ms(t0, Clock::now());
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QTemporaryDir tmp;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(tmp.filePath("config")));
    QApplication app(argc, argv);
    const int kRows = argc > 1 ? std::atoi(argv[1]) : 100000;

    QuietPrompt prompt;
    CResultDatabases db(tmp.path(), &prompt);
    db.OpenDatabases();
    {
        CResultTable& t = db.ResultTable;
        auto lock = t.Lock();
        CDbTransaction tx(t);
        for (int i = 0; i < kRows; ++i) {
            t.AddNew();
            FillRecord(t.Record, i);
            t.Update();
        }
        tx.Commit();
        RequeryDefault(t);
    }
    sqlite3* raw = nullptr;
    sqlite3_open_v2(QFile::encodeName(db.MainDbPath).constData(), &raw, SQLITE_OPEN_READONLY,
                    nullptr);

    AppSettings settings;
    IdleSession session;
    CHbA1cDeskGraphDataView view([](int) {}, session, prompt, db, settings);
    view.resize(1024, 768);
    view.show();
    app.processEvents();

    constexpr int kRounds = 3;
    std::printf("%d rows in the main table (best of %d)\n", kRows, kRounds);
    double bestRaw = 1e18, bestShow = 1e18;
    int rawRows = 0;
    for (int round = 0; round < kRounds; ++round) {
        bestRaw = std::min(bestRaw, RawSelect(raw, "", &rawRows));
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
        bestRawSearch = std::min(bestRawSearch, RawSelect(raw, where, &searchRows));
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
