// Storage speed against raw sqlite3 on the same file, in one run:
//  1. 10,000 rows inserted through AddNew/Update in one transaction, against one prepared
//     INSERT reused in one transaction;
//  2. Requery and navigation of every row of a 100,000-row table (reading every bound value),
//     against one prepared SELECT * stepped through.
// Usage: bench_storage [folder]   (default: a temporary folder)

#include "storage/ResultTable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <sqlite3.h>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

void FillRecord(HbA1cRecord& r, int i) {
    char date[16];
    std::snprintf(date, sizeof date, "20%02d%02d%02d", 10 + i % 15, 1 + i % 12, 1 + i % 28);
    char time[8];
    std::snprintf(time, sizeof time, "%02d%02d", i % 24, i % 60);
    char value[8];
    std::snprintf(value, sizeof value, "%03d", 40 + i % 100);
    char pid[16];
    std::snprintf(pid, sizeof pid, "P%07d", i);
    r.DATE = date;
    r.TIME = time;
    r.HbA1c_VALUE = value;
    r.PID = pid;
    r.OPID = "OP01";
    r.EQ_TYPE = " ";
    r.p_NAME = "";
    r.p_DOB = "";
    r.P_AGE = 0;
    r.P_DIAGNOSE = 0;
    r.DATE_YEAR = 2010 + i % 15;
    r.DATE_MONTH = 1 + i % 12;
    r.DATE_DAY = 1 + i % 28;
    r.TIME_HOUR = i % 24;
    r.TIME_MIN = i % 60;
    r.P_MEMO = "";
}

void Exec(sqlite3* db, const char* sql) {
    sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

double RawInsert(sqlite3* db, const char* table, int rows) {
    HbA1cRecord r;
    const std::string sql =
        std::string("INSERT INTO [") + table + "] VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";
    const auto t0 = Clock::now();
    Exec(db, "BEGIN IMMEDIATE");
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    for (int i = 0; i < rows; ++i) {
        FillRecord(r, i);
        const CTextBuf* texts[] = {&r.DATE, &r.TIME,    &r.HbA1c_VALUE, &r.PID,
                                   &r.OPID, &r.EQ_TYPE, &r.p_NAME,      &r.p_DOB};
        int p = 1;
        for (const CTextBuf* t : texts)
            sqlite3_bind_text(st, p++, t->c_str(), t->Size() - 1, nullptr);
        for (int v : {r.P_AGE, r.P_DIAGNOSE, r.DATE_YEAR, r.DATE_MONTH, r.DATE_DAY, r.TIME_HOUR,
                      r.TIME_MIN})
            sqlite3_bind_int(st, p++, v);
        sqlite3_bind_text(st, p, r.P_MEMO.c_str(), r.P_MEMO.Size() - 1, nullptr);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    Exec(db, "COMMIT");
    return Ms(t0, Clock::now());
}

double LayerInsert(CResultTable& t, int rows) {
    const auto t0 = Clock::now();
    auto lock = t.Lock();
    CDbTransaction tx(t);
    for (int i = 0; i < rows; ++i) {
        t.AddNew();
        FillRecord(t.Record, i);
        t.Update();
    }
    tx.Commit();
    return Ms(t0, Clock::now());
}

double RawScan(sqlite3* db, const char* table, long long* checksum) {
    const auto t0 = Clock::now();
    sqlite3_stmt* st = nullptr;
    const std::string sql = std::string("SELECT * FROM [") + table + "]";
    sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    HbA1cRecord r;
    long long sum = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        CTextBuf* texts[] = {&r.DATE, &r.TIME,    &r.HbA1c_VALUE, &r.PID,
                             &r.OPID, &r.EQ_TYPE, &r.p_NAME,      &r.p_DOB};
        int c = 0;
        for (CTextBuf* t : texts)
            t->Assign(reinterpret_cast<const char*>(sqlite3_column_text(st, c++)));
        int* ints[] = {&r.P_AGE,    &r.P_DIAGNOSE, &r.DATE_YEAR, &r.DATE_MONTH,
                       &r.DATE_DAY, &r.TIME_HOUR,  &r.TIME_MIN};
        for (int* v : ints)
            *v = sqlite3_column_int(st, c++);
        r.P_MEMO.Assign(reinterpret_cast<const char*>(sqlite3_column_text(st, c)));
        sum += r.DATE_YEAR + r.HbA1c_VALUE.Size();
    }
    sqlite3_finalize(st);
    *checksum = sum;
    return Ms(t0, Clock::now());
}

double LayerScan(CResultTable& t, long long* checksum) {
    const auto t0 = Clock::now();
    long long sum = 0;
    t.SetFilter("");
    t.SetSort("");
    t.Requery();
    while (!t.IsEOF()) {
        sum += t.Record.DATE_YEAR + t.Record.HbA1c_VALUE.Size();
        t.MoveNext();
    }
    *checksum = sum;
    return Ms(t0, Clock::now());
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir tmp;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : tmp.path();
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath("bench.sqlite");
    QFile::remove(path);
    const QByteArray native = QFile::encodeName(path);

    CResultTable table;
    table.SetTableName("LayerTlb");
    table.OpenOrCreate(native.constData());
    CResultTable rawTable; // only to create the baseline's table with the same schema
    rawTable.SetTableName("RawTlb");
    rawTable.OpenOrCreate(native.constData());
    rawTable.Close();

    sqlite3* raw = nullptr;
    sqlite3_open_v2(native.constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);

    constexpr int kInsertRows = 10000;
    constexpr int kRounds = 3;
    std::printf("insert %d rows in one transaction (best of %d)\n", kInsertRows, kRounds);
    double bestRaw = 1e18, bestLayer = 1e18;
    for (int round = 0; round < kRounds; ++round) {
        Exec(raw, "DELETE FROM RawTlb");
        table.SetFilter("");
        table.DeleteWhere();
        table.Requery();
        bestRaw = std::min(bestRaw, RawInsert(raw, "RawTlb", kInsertRows));
        bestLayer = std::min(bestLayer, LayerInsert(table, kInsertRows));
    }
    std::printf("  raw sqlite3 prepared INSERT : %8.1f ms\n", bestRaw);
    std::printf("  AddNew/Update               : %8.1f ms  (%.2fx baseline, target <= 2x)\n",
                bestLayer, bestLayer / bestRaw);

    constexpr int kScanRows = 100000;
    Exec(raw, "DELETE FROM RawTlb");
    RawInsert(raw, "RawTlb", kScanRows);
    Exec(raw, "DELETE FROM LayerTlb");
    Exec(raw, "INSERT INTO LayerTlb SELECT * FROM RawTlb");
    std::printf("requery and read every row of %d (best of %d)\n", kScanRows, kRounds);
    double bestRawScan = 1e18, bestLayerScan = 1e18;
    long long sumRaw = 0, sumLayer = 0;
    for (int round = 0; round < kRounds; ++round) {
        bestRawScan = std::min(bestRawScan, RawScan(raw, "RawTlb", &sumRaw));
        bestLayerScan = std::min(bestLayerScan, LayerScan(table, &sumLayer));
    }
    std::printf("  raw sqlite3 SELECT * stepped: %8.1f ms\n", bestRawScan);
    std::printf("  Requery + MoveNext to EOF   : %8.1f ms  (%.2fx baseline, target <= 5x)\n",
                bestLayerScan, bestLayerScan / bestRawScan);
    std::printf("  rows read: layer %d, checksums %s\n", table.RowCount(),
                sumRaw == sumLayer ? "equal" : "DIFFER");

    sqlite3_close(raw);
    table.Close();
    QFile::remove(path);
    return sumRaw == sumLayer ? 0 : 1;
}
