#pragma once
// What the benchmarks of the views share: a clock, a prompt that only prints, a download
// session that never runs, and the clinic-like rows they store.

#include "link/DownloadSession.h"
#include "platform/Prompt.h"
#include "storage/Databases.h"
#include "storage/ResultTable.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QString>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <numeric>
#include <sqlite3.h>
#include <string>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// Prints what it is told; answers every question with `answer`.
class QuietPrompt : public IPrompt {
public:
    explicit QuietPrompt(bool answer = false) : answer_(answer) {}
    void Inform(const std::string& text, const std::string&) override {
        std::printf("  message: %s\n", text.c_str());
    }
    bool Ask(const std::string&, const std::string&) override { return answer_; }

private:
    bool answer_;
};

// No download runs while a view is measured.
class IdleSession : public IDownloadSession {
public:
    const AcquisitionState& State() const override { return state_; }
    void StartManual() override {}
    void StartAutomatic() override {}
    void SwitchToManual() override {}
    bool IsIdle() const override { return true; }
    const SessionOutcome& LastOutcome() const override { return outcome_; }
    void SetOutcomeListener(std::function<void(const SessionOutcome&)>) override {}
    SessionPrompt PendingPrompt() const override { return SessionPrompt::None; }
    void AcknowledgePrompt(SessionPrompt) override {}

private:
    AcquisitionState state_;
    SessionOutcome outcome_;
};

// The results span ten years from 2016-01-01, so a 30-day search finds about 1/120 of them.
inline constexpr int kBenchDays = 3650;
inline QDate BenchFirstDay() {
    return QDate(2016, 1, 1);
}
inline QDate BenchNewestDay() {
    return BenchFirstDay().addDays(kBenchDays - 1);
}

// Result i of n: dates rise with i over the ten years, 2,000 patients and 20 operators.
inline void FillClinicRecord(HbA1cRecord& r, int i, int n) {
    const QDate d =
        BenchFirstDay().addDays(static_cast<int>(static_cast<long long>(i) * kBenchDays / n));
    char date[16], time[8], value[8], pid[16], opid[16];
    std::snprintf(date, sizeof date, "%04d%02d%02d", d.year(), d.month(), d.day());
    std::snprintf(time, sizeof time, "%02d%02d", (i / 7) % 24, (i / 3) % 60);
    std::snprintf(value, sizeof value, "%03d", 40 + (i * 37) % 101);
    std::snprintf(pid, sizeof pid, "PAT%05d ",
                  static_cast<int>((static_cast<long long>(i) * 7919) % 2000));
    std::snprintf(opid, sizeof opid, "OP%02d ", i % 20);
    r.DATE = date;
    r.TIME = time;
    r.HbA1c_VALUE = value;
    r.PID = pid;
    r.OPID = opid;
    r.EQ_TYPE = i % 50 == 0 ? "Analyzer Tilted" : " ";
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

// What the view benchmarks take on their command line: [rows] [--out-of-order] and, for
// bench_list, --cli (only the command line's section).
struct BenchArgs {
    int rows = 100000;
    bool outOfOrder = false;
    bool cliOnly = false;
};
inline BenchArgs ParseBenchArgs(int argc, char** argv) {
    BenchArgs a;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--out-of-order")
            a.outOfOrder = true;
        else if (arg == "--cli")
            a.cliOnly = true;
        else if (std::atoi(argv[i]) > 0)
            a.rows = std::atoi(argv[i]);
    }
    return a;
}

// Before the application object: offscreen unless a platform is chosen, and the per-user
// settings (list layouts) in a folder of the run's own.
inline void BenchEnvironment(const QString& configFolder) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configFolder));
}

// `rows` clinic-like results stored in one transaction with the index a download makes, then
// the list's order. Out of order: stored in a scattered order (as years of corrections and
// restores leave them), so neighbouring dates are far apart in the file.
inline void StoreClinicRows(CResultTable& t, int rows, bool outOfOrder = false) {
    auto lock = t.Lock();
    CDbTransaction tx(t);
    // A step coprime with the row count visits every result once.
    long long step = 1;
    if (outOfOrder)
        for (step = 1000003; std::gcd(step, static_cast<long long>(rows)) != 1; step += 2) {
        }
    for (int i = 0; i < rows; ++i) {
        t.AddNew();
        FillClinicRecord(t.Record, static_cast<int>((i * step) % rows), rows);
        t.Update();
    }
    t.EnsureDuplicateIndex();
    tx.Commit();
    RequeryDefault(t);
}

// A second, read-only connection to the main file for the raw SELECT.
inline sqlite3* OpenReadOnly(const QString& path) {
    sqlite3* raw = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    return raw;
}

// One prepared SELECT of the result table stepped through, every column read as the table
// layer reads it: the time a list or chart cannot beat.
inline double RawSelect(sqlite3* db, const std::string& where, const char* sort, int* rows) {
    const auto t0 = Clock::now();
    const std::string sql = "SELECT * FROM [HospitalTlb]" +
                            (where.empty() ? "" : " WHERE " + where) + " ORDER BY " + sort;
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

// The longest time the window's thread did not answer, in ms: from `start` (which may run an
// event loop of its own) until `done` says the work is shown, the gaps between the ticks of a
// 1 ms timer, and how long it all took.
struct Stall {
    double longest = 0;
    double total = 0;
};
inline Stall MeasureStall(const std::function<void()>& start, const std::function<bool()>& done) {
    Stall out;
    const auto t0 = Clock::now();
    auto last = t0;
    auto note = [&]() {
        const auto now = Clock::now();
        out.longest = std::max(out.longest, Ms(last, now));
        last = now;
    };
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, note);
    tick.start();
    start();
    note();
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        note();
    }
    tick.stop();
    out.total = Ms(t0, Clock::now());
    return out;
}

} // namespace bench
