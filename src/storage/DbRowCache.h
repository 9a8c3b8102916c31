#pragma once
// Navigation reads rows ahead in list order: one statement fetches the next rows of the list by
// ROWID, so that a listing pays SQLite's per-statement file locking once per batch instead of
// once per row. A cached row is used only while the connection has written nothing since and
// for a moment after it was read, so navigation still shows what is in the file, as reading one
// row at a time would.

#include "DbColumns.h"

#include <chrono>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

class CRowReadAhead {
public:
    CRowReadAhead() = default;
    ~CRowReadAhead() { Forget(); }
    CRowReadAhead(const CRowReadAhead&) = delete;
    CRowReadAhead& operator=(const CRowReadAhead&) = delete;

    // Reads the rows of the list from position n (1-based) on. False when the read failed.
    bool Fill(sqlite3* db, const std::string& quotedTable, const std::vector<ColumnDesc>& columns,
              const std::vector<int>& rowIds, int rowCount, int n);
    // The cached row with this ROWID into the bound values; false when it is not cached or the
    // cache is stale.
    bool Load(sqlite3* db, int rowid, std::vector<ColumnDesc>& columns) const;
    // Nothing cached any more (a requery).
    void Invalidate() { filled_ = 0; }
    // Also the statement goes (the table's name changed, or it closes).
    void Forget();

private:
    sqlite3_stmt* statement_ = nullptr;
    std::vector<int> rowIds_;           // by slot
    std::vector<DbCachedValue> values_; // slot * column count + declared column
    int filled_ = 0;
    int changesAtFill_ = -1;
    std::chrono::steady_clock::time_point filledAt_;
};
