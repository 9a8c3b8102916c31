#include "DbRowCache.h"

#include <sqlite3.h>

#include <algorithm>

namespace {

constexpr int kReadAhead = 64;
constexpr auto kCacheFresh = std::chrono::milliseconds(250);

} // namespace

void CRowReadAhead::Forget() {
    sqlite3_finalize(statement_);
    statement_ = nullptr;
    filled_ = 0;
}

bool CRowReadAhead::Fill(sqlite3* db, const std::string& quotedTable,
                         const std::vector<ColumnDesc>& columns, const std::vector<int>& rowIds,
                         int rowCount, int n) {
    filled_ = 0;
    if (!statement_) {
        // SELECT * FROM [table] WHERE ROWID IN (...), with the ROWID in front.
        std::string sql = "SELECT ROWID, * FROM " + quotedTable + " WHERE ROWID IN (?";
        for (int i = 1; i < kReadAhead; ++i)
            sql += ",?";
        sql += ")";
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement_, nullptr) != SQLITE_OK) {
            sqlite3_finalize(statement_);
            statement_ = nullptr;
            return false;
        }
    }
    const int first = n - 1;
    const int last = std::min(rowCount, first + kReadAhead);
    for (int i = 0; i < kReadAhead; ++i) {
        const int index = first + i < last ? first + i : first;
        sqlite3_bind_int(statement_, i + 1, rowIds[static_cast<size_t>(index)]);
    }
    const size_t count = columns.size();
    rowIds_.resize(kReadAhead);
    values_.resize(kReadAhead * count);
    int slot = 0;
    while (slot < kReadAhead && sqlite3_step(statement_) == SQLITE_ROW) {
        rowIds_[static_cast<size_t>(slot)] = sqlite3_column_int(statement_, 0);
        for (size_t c = 0; c < count; ++c) {
            // ROWID comes first, so the table's columns are one further on.
            const int col = columns[c].resultColumn < 0 ? -1 : columns[c].resultColumn + 1;
            ReadColumnValue(statement_, col, columns[c].type,
                            values_[static_cast<size_t>(slot) * count + c]);
        }
        ++slot;
    }
    sqlite3_reset(statement_);
    filled_ = slot;
    changesAtFill_ = sqlite3_total_changes(db);
    filledAt_ = std::chrono::steady_clock::now();
    return true;
}

bool CRowReadAhead::Load(sqlite3* db, int rowid, std::vector<ColumnDesc>& columns) const {
    if (filled_ == 0 || changesAtFill_ != sqlite3_total_changes(db) ||
        std::chrono::steady_clock::now() - filledAt_ > kCacheFresh)
        return false;
    int slot = 0;
    while (slot < filled_ && rowIds_[static_cast<size_t>(slot)] != rowid)
        ++slot;
    if (slot == filled_)
        return false;
    const size_t count = columns.size();
    for (size_t c = 0; c < count; ++c)
        if (columns[c].value)
            ApplyColumnValue(columns[c], values_[static_cast<size_t>(slot) * count + c]);
    return true;
}
