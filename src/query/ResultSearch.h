#pragma once
// A search of its own over the result table: a WHERE text and an ORDER BY text that belong to
// the caller (a view, a command), run on the table's connection with statements of its own. The
// table's filter, sort, row list and bound record are not touched, so several views can each
// keep their own search over one table.
//
// Reading is in two steps: the keys (ROWIDs) of the matching rows in order, from one statement,
// so the set is the one of one moment, also while a download stores; then the rows by key, a
// run at a time, each run in its own short read under the table's lock. Nobody holds a read
// transaction open while the rows are shown or written out.

#include "query/ResultQuery.h"

#include <functional>
#include <string>
#include <vector>

using RowKey = long long;

// The order of the result index: the chart's order (date, time, value) with its ties settled by
// the other indexed columns and the key, so that every row has one place a seek can find.
inline constexpr const char* kIndexOrder = "[DATE], [TIME], [HbA1c_VALUE], [PID], [OPID], ROWID";

// A row's place in that order: its indexed columns (NULL read as "") and its key.
struct IndexPlace {
    std::string DATE, TIME, HbA1c_VALUE, PID, OPID;
    RowKey rowid = 0;
};

class CResultSearch {
public:
    explicit CResultSearch(CResultTable& table) : table_(table) {}

    void SetFilter(std::string where) { filter_ = std::move(where); }
    void SetOrder(std::string orderBy) { order_ = std::move(orderBy); }
    const std::string& Filter() const { return filter_; }
    const std::string& Order() const { return order_; }
    CResultTable& Table() const { return table_; }

    // The keys of the matching rows in order. False when the table is not open or the
    // statement fails (keys then empty).
    bool ReadKeys(std::vector<RowKey>& keys) const;
    // How many rows match; -1 when the table is not open or the statement fails.
    int Count() const;
    // The rows keys[first .. first+count) in that order; a row that is no longer stored is left
    // out. False when the table is not open or a statement fails.
    bool ReadRows(const std::vector<RowKey>& keys, size_t first, size_t count,
                  std::vector<ResultRow>& out) const;
    // The first matching row in order: its key from one statement with LIMIT 1 (with an index
    // on the order's columns a look-up, whatever the table holds), then the row by key, in one
    // read transaction. found is false when nothing matches. False when the table is not open
    // or a statement fails.
    bool ReadFirstRow(ResultRow& row, bool& found) const;
    // Every matching row in order, read a run of `run` rows at a time; `each` returns false to
    // stop. Only one run is held at a time. False when reading failed.
    bool ForEachRow(const std::function<bool(const ResultRow&)>& each, size_t run = 256) const;

    // Matching rows in kIndexOrder (the search's own order aside), read from the index alone:
    // the `count` rows after `from` (before it, nearest first, when backward), the first `skip`
    // of them passed over; from the first (last) matching row when `from` is null. A seek and
    // skip + count steps, however many rows the table holds, as long as the matching rows near
    // `from` are not rare (a patient's among all: the steps then pass over the others). False
    // when the table is not open or the statement fails (out then empty).
    bool ReadPlaces(const IndexPlace* from, bool backward, size_t skip, size_t count,
                    std::vector<IndexPlace>& out) const;

private:
    std::string Where() const;
    std::string OrderBy() const;

    CResultTable& table_;
    std::string filter_;
    std::string order_;
};

// The command line's search (see ListSearch) set on `search`: its filter, and the list's
// newest-first order. The reference date of a period or of a default range comes from the first
// row of that order, read by one look-up (not from every row). False on a refused range, with
// the message in *message; the search is then left as it was.
bool SetListSearch(CResultSearch& search, const ListSearch& options, const AppSettings& settings,
                   const QDate& today, std::string* message);
