// Storing a 9,999-record block into a main table that already holds 100,000 rows, 10% of the
// block being duplicates of stored rows, against a raw sqlite3 baseline that inserts the same
// new rows into a copy of that table in one transaction with one prepared statement.
// Last, the same 9,999 new records stored into an empty main table and into one of `rows` rows
// (stored out of date order with --out-of-order), dated after the stored results and scattered
// between them, each beside sqlite3 alone doing the same.
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

// Binds a new row's 16 columns as a download stores it and steps the insert.
void InsertNewRow(sqlite3_stmt* st, const DecodedRecord& r) {
    int p = 1;
    for (const std::string* v : {&r.DATE, &r.TIME, &r.HbA1c_VALUE, &r.PID, &r.OPID, &r.EQ_TYPE})
        sqlite3_bind_text(st, p++, v->c_str(), -1, nullptr);
    sqlite3_bind_text(st, p++, "", 0, nullptr);
    sqlite3_bind_text(st, p++, "19000101", -1, nullptr);
    for (int v : {0, 0, r.DATE_YEAR, r.DATE_MONTH, r.DATE_DAY, r.TIME_HOUR, r.TIME_MIN})
        sqlite3_bind_int(st, p++, v);
    sqlite3_bind_text(st, p, "", 0, nullptr);
    sqlite3_step(st);
    sqlite3_reset(st);
}

// Record i of a block of new results dated after every stored one (2026), as an analyzer's
// results are when they are new to the clinic's table.
std::string MakeRecentRecord(int i) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "26%02d%02d%02d%02d%03dN%07d      O%03d          \r\n",
                  1 + (i / 840) % 12, 1 + (i / 30) % 28, (i / 60) % 24, i % 60, 40 + i % 100, i,
                  i % 7);
    return buf;
}

// The block's text: new records dated after the stored ones, or scattered over 2010-2024 (so
// that most fall between stored dates, as a restored or merged collection's would).
std::string NewBlock(int block, bool scattered) {
    std::string text;
    for (int i = 0; i < block; ++i)
        text += scattered ? MakeRecord(5000000 + i) : MakeRecentRecord(i);
    return text;
}

// The same new rows as a download stores them (duplicate look-up, both tables), by sqlite3
// alone: one prepared statement each, in one transaction. The floor of what a store can cost.
double RawStore(CResultTable& t, const std::string& text, int block) {
    sqlite3* db = t.Database();
    const auto t0 = Clock::now();
    Exec(db, "ATTACH ':memory:' AS rawdown");
    Exec(db, "CREATE TABLE rawdown.D AS SELECT * FROM main.HospitalTlb WHERE 0");
    Exec(db, "BEGIN IMMEDIATE");
    sqlite3_stmt* find = nullptr;
    sqlite3_stmt* put[2] = {nullptr, nullptr};
    sqlite3_prepare_v2(db,
                       "SELECT 1 FROM main.HospitalTlb WHERE [DATE]=? AND [TIME]=? AND "
                       "[HbA1c_VALUE]=? AND [PID]=? AND [OPID]=? LIMIT 1",
                       -1, &find, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO main.HospitalTlb VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                       -1, &put[0], nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO rawdown.D VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)", -1,
                       &put[1], nullptr);
    for (int i = 0; i < block; ++i) {
        const DecodedRecord r =
            DecodeRecord(text.data() + static_cast<size_t>(i) * kReplyRecordLength, false, 13, 13);
        int p = 1;
        for (const std::string* v : {&r.DATE, &r.TIME, &r.HbA1c_VALUE, &r.PID, &r.OPID})
            sqlite3_bind_text(find, p++, v->c_str(), -1, nullptr);
        const bool held = sqlite3_step(find) == SQLITE_ROW;
        sqlite3_reset(find);
        if (held)
            continue;
        for (sqlite3_stmt* st : put)
            InsertNewRow(st, r);
    }
    for (sqlite3_stmt* st : {find, put[0], put[1]})
        sqlite3_finalize(st);
    Exec(db, "COMMIT");
    const double ms = Ms(t0, Clock::now());
    Exec(db, "DETACH rawdown");
    return ms;
}

// Stores a block of `block` new records into a fresh main table holding `rows` clinic rows,
// through ProcessDownloadBlock or (raw) through sqlite3 alone; returns the milliseconds, and
// *storedOut the rows the program stored.
double StoreBlockInto(int rows, bool outOfOrder, int block, bool scattered, bool raw,
                      int* storedOut) {
    QTemporaryDir dir;
    QuietNotifier quiet;
    CResultDatabases db(dir.path());
    db.OpenDatabases();
    if (rows > 0)
        StoreClinicRows(db.ResultTable, rows, outOfOrder);
    else
        db.ResultTable.EnsureDuplicateIndex(); // as after the first download
    DecoderFolders folders{dir.path(), QDir(dir.path()).filePath("DATA")};
    const std::string text = NewBlock(block, scattered);
    if (raw)
        return RawStore(db.ResultTable, text, block);
    DownloadBlock b;
    b.BlockText = text;
    b.BlockRecordCount = block;
    const auto t0 = Clock::now();
    *storedOut = ProcessDownloadBlock(b, db, folders, quiet);
    return Ms(t0, Clock::now());
}

// The same 9,999 new records into an empty table and into one of args.rows, the program and
// sqlite3 alone side by side; the faster of two runs of each counts. True when every block
// was stored whole.
bool LargeTableSection(const BenchArgs& args) {
    constexpr int kBlock = 9999;
    bool whole = true;
    std::printf("block of %d new records into an empty table and into %d rows%s, faster of two\n",
                kBlock, args.rows, args.outOfOrder ? " stored out of date order" : "");
    for (bool scattered : {false, true}) {
        double ms[2][2] = {{1e30, 1e30}, {1e30, 1e30}}; // [program, sqlite3][empty, large]
        for (int pass = 0; pass < 2; ++pass)
            for (int large = 0; large < 2; ++large)
                for (int raw = 0; raw < 2; ++raw) {
                    int stored = kBlock;
                    const double t = StoreBlockInto(large ? args.rows : 0, args.outOfOrder, kBlock,
                                                    scattered, raw == 1, &stored);
                    ms[raw][large] = std::min(ms[raw][large], t);
                    whole = whole && stored == kBlock;
                }
        std::printf("  %s:\n", scattered ? "dated between the stored results (2010-2024)"
                                         : "dated after the stored results, as new results are");
        std::printf("    program: empty %8.1f ms, large %8.1f ms  (%.2fx, target <= 1.5x)\n",
                    ms[0][0], ms[0][1], ms[0][1] / ms[0][0]);
        std::printf("    sqlite3: empty %8.1f ms, large %8.1f ms  (%.2fx)\n", ms[1][0], ms[1][1],
                    ms[1][1] / ms[1][0]);
    }
    return whole;
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
    for (const DecodedRecord& r : fresh)
        InsertNewRow(st, r);
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
    std::printf("  main table now %d rows, download table %d rows\n", db.ResultTable.CountRows(),
                db.DownloadTable.CountRows());

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
    const bool largeWhole = LargeTableSection(args);
    return largeWhole && storedNow == kBlock - kDuplicates && storedWith[0] == kBlock &&
                   storedWith[1] == kBlock
               ? 0
               : 1;
}
