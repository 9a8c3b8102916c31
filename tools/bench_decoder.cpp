// Storing a 9,999-record block into a main table that already holds 100,000 rows, 10% of the
// block being duplicates of stored rows, against a raw sqlite3 baseline that inserts the same
// new rows into a copy of that table in one transaction with one prepared statement.
// Last, the same 9,999 new records stored into an empty main table and into one of `rows` rows
// (stored out of date order with --out-of-order): a large table should not make storing dearer.
// Usage: bench_decoder [rows] [--out-of-order]   (rows: default 100000)

#include "BenchSupport.h"
#include "DecoderStubs.h"
#include "lab/LabOutbox.h"
#include "storage/Databases.h"
#include "storage/DownloadDecoder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sqlite3.h>
#include <string>

using namespace bench;

namespace {

// Record i: distinct for every i.
std::string MakeRecord(int i) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02d%02d%02d%02d%02d%03d", 10 + i % 15, 1 + (i / 15) % 12,
                  1 + (i / 180) % 28, (i / 5040) % 24, i % 60, 40 + i % 100);
    char ids[48];
    std::snprintf(ids, sizeof ids, "P%07d      O%03d          ", i, i % 7);
    return std::string(buf) + ids + "\r\n";
}

void Exec(sqlite3* db, const char* sql) {
    sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

} // namespace

namespace {

// Stores a block of `block` new records into a fresh main table holding `rows` clinic rows;
// returns the milliseconds of ProcessDownloadBlock, *storedOut the rows it stored.
double StoreBlockInto(int rows, bool outOfOrder, int block, int* storedOut) {
    QTemporaryDir dir;
    QuietNotifier quiet;
    CResultDatabases db(dir.path());
    db.OpenDatabases();
    if (rows > 0)
        StoreClinicRows(db.ResultTable, rows, outOfOrder);
    DecoderFolders folders{dir.path(), QDir(dir.path()).filePath("DATA")};
    std::string text;
    for (int i = 0; i < block; ++i)
        text += MakeRecord(5000000 + i);
    DownloadBlock b;
    b.BlockText = text;
    b.BlockRecordCount = block;
    const auto t0 = Clock::now();
    *storedOut = ProcessDownloadBlock(b, db, folders, quiet);
    return Ms(t0, Clock::now());
}

void LargeTableSection(const BenchArgs& args) {
    constexpr int kBlock = 9999;
    int storedEmpty = 0, storedLarge = 0;
    // Alternating, two of each; the faster of each counts.
    double empty = 1e30, large = 1e30;
    for (int pass = 0; pass < 2; ++pass) {
        empty = std::min(empty, StoreBlockInto(0, false, kBlock, &storedEmpty));
        large = std::min(large, StoreBlockInto(args.rows, args.outOfOrder, kBlock, &storedLarge));
    }
    std::printf("block of %d new records into an empty table and into %d rows%s\n", kBlock,
                args.rows, args.outOfOrder ? " stored out of date order" : "");
    std::printf("  into the empty table (stored %d)      : %8.1f ms\n", storedEmpty, empty);
    std::printf("  into the large table (stored %d)      : %8.1f ms  (%.2fx, target <= 1.5x)\n",
                storedLarge, large, large / empty);
}

} // namespace

int main(int argc, char** argv) {
    const BenchArgs args = ParseBenchArgs(argc, argv);
    QTemporaryDir dir;
    constexpr int kStored = 100000;
    constexpr int kBlock = 9999;
    constexpr int kDuplicates = kBlock / 10;

    // The main table with 100,000 rows; records 0..99,999 are "stored" ones.
    std::string stored;
    for (int i = 0; i < kStored; ++i)
        stored += MakeRecord(i);
    std::string block;
    for (int i = 0; i < kDuplicates; ++i)
        block += MakeRecord(i * 97 % kStored); // already stored
    for (int i = 0; i < kBlock - kDuplicates; ++i)
        block += MakeRecord(kStored + i); // new

    QuietNotifier quiet;
    CResultDatabases db(dir.path());
    db.OpenDatabases();
    DecoderFolders folders{dir.path(), QDir(dir.path()).filePath("DATA")};
    DownloadBlock fill;
    fill.BlockText = stored;
    fill.BlockRecordCount = kStored;
    auto f0 = Clock::now();
    ProcessDownloadBlock(fill, db, folders, quiet);
    std::printf("setup: %d rows stored through the decoder in %.0f ms\n", kStored,
                Ms(f0, Clock::now()));

    // Baseline table: a copy of the stored rows, with the same index, in the same file.
    sqlite3* raw = nullptr;
    const QByteArray mainPath = QFile::encodeName(db.MainDbPath);
    sqlite3_open_v2(mainPath.constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    Exec(raw, "CREATE TABLE RawTlb AS SELECT * FROM HospitalTlb");
    Exec(raw, "CREATE INDEX RawTlb_ResultKey ON RawTlb ([DATE],[TIME],[HbA1c_VALUE],[PID],[OPID])");

    // The new rows the baseline inserts, decoded beforehand (decoding is not the baseline's).
    std::vector<DecodedRecord> fresh;
    for (int i = 0; i < kBlock - kDuplicates; ++i) {
        const std::string rec = MakeRecord(kStored + i);
        fresh.push_back(DecodeRecord(rec.data(), false, 13, 13));
    }

    auto r0 = Clock::now();
    Exec(raw, "BEGIN IMMEDIATE");
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(raw, "INSERT INTO RawTlb VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)", -1, &st,
                       nullptr);
    for (const DecodedRecord& r : fresh) {
        int p = 1;
        for (const std::string* t : {&r.DATE, &r.TIME, &r.HbA1c_VALUE, &r.PID, &r.OPID, &r.EQ_TYPE})
            sqlite3_bind_text(st, p++, t->c_str(), -1, nullptr);
        sqlite3_bind_text(st, p++, "", 0, nullptr);
        sqlite3_bind_text(st, p++, "19000101", -1, nullptr);
        for (int v : {0, 0, r.DATE_YEAR, r.DATE_MONTH, r.DATE_DAY, r.TIME_HOUR, r.TIME_MIN})
            sqlite3_bind_int(st, p++, v);
        sqlite3_bind_text(st, p, "", 0, nullptr);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    Exec(raw, "COMMIT");
    const double rawMs = Ms(r0, Clock::now());
    sqlite3_close(raw);

    DownloadBlock b;
    b.BlockText = block;
    b.BlockRecordCount = kBlock;
    auto d0 = Clock::now();
    const int storedNow = ProcessDownloadBlock(b, db, folders, quiet);
    const double decoderMs = Ms(d0, Clock::now());

    std::printf("block of %d records, %d duplicates, into a table of %d rows\n", kBlock,
                kDuplicates, kStored);
    std::printf("  raw sqlite3 insert of the %d new rows : %8.1f ms\n", int(fresh.size()), rawMs);
    std::printf("  ProcessDownloadBlock (stored %d)      : %8.1f ms  (%.2fx baseline, target "
                "<= 3x)\n",
                storedNow, decoderMs, decoderMs / rawMs);
    std::printf("  main table now %d rows, download table %d rows\n", db.ResultTable.RowCount(),
                db.DownloadTable.RowCount());

    // The lab link: two more blocks of new records into the same table, one with the link off
    // and one with each result queued for the lab system in the store's transaction.
    LabConfig lab;
    lab.enabled = true;
    lab.host = "127.0.0.1";
    lab.port = 2575;
    CLabJournal journal(lab, 1);
    // Alternating, three blocks each; the faster of each kind counts.
    double ms[2] = {1e30, 1e30};
    int storedWith[2] = {kBlock, kBlock};
    for (int pass = 0; pass < 6; ++pass) {
        std::string next;
        for (int i = 0; i < kBlock; ++i)
            next += MakeRecord(kStored + kBlock * (pass + 1) + i);
        DownloadBlock nb;
        nb.BlockText = next;
        nb.BlockRecordCount = kBlock;
        const int kind = pass % 2;
        db.ResultTable.SetJournal(kind == 1 ? &journal : nullptr);
        auto t0 = Clock::now();
        const int n = ProcessDownloadBlock(nb, db, folders, quiet);
        ms[kind] = std::min(ms[kind], Ms(t0, Clock::now()));
        if (n != kBlock)
            storedWith[kind] = n;
    }
    db.ResultTable.SetJournal(nullptr);
    std::printf("lab link, %d new records a block, fastest of three each:\n", kBlock);
    std::printf("  store, link off                       : %8.1f ms\n", ms[0]);
    std::printf("  store, each result queued (ORU^R01)   : %8.1f ms  (+%.1f%%, target <= +10%%)\n",
                ms[1], (ms[1] / ms[0] - 1.0) * 100.0);
    LargeTableSection(args);
    return storedNow == kBlock - kDuplicates && storedWith[0] == kBlock && storedWith[1] == kBlock
               ? 0
               : 1;
}
