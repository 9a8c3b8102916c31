#pragma once
// The rows of a result list read on demand: the keys of a search's rows in the list's order (8
// bytes a row), the rows read a page at a time when they are shown, and a header sort run by the
// search in SQL with the list's comparison rules. A row's No. is its place in the order read
// (from 1), and it moves with the row when the list is sorted.

#include "query/ResultSearch.h"
#include "settings/Settings.h"
#include "storage/Databases.h"
#include "views/list/ListModel.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

// The order both result lists read their rows in: newest first, rows alike in date, time and
// result in the order they were stored (as the lists always showed them; now the same each time).
inline constexpr const char* kResultListOrder = kDefaultSort;

// The ORDER BY of a header sort of a result list by the column (ResultColumn), giving the order
// the column's sort key gives the shown texts; the ties then keep the list's order. Empty for
// No., which sorts by the place read. timeFormat: the one the times are shown in.
std::string ResultColumnOrder(int column, bool ascending, int timeFormat);

// A filter that keeps one row of each ID of the column (PID or OPID, the same without regard to
// case and trailing blanks): the first in the list's order among the rows of `filter`.
std::string FirstOfEachIdFilter(const CResultTable& table, const std::string& filter,
                                const char* column);

class CResultListSource : public IListRowSource {
public:
    // The search's filter and the list's order are copied; the cells are written with these
    // formats.
    CResultListSource(const CResultSearch& search, const AppSettings& settings, ListKind kind);

    // Reads the keys of the rows. False when they could not be read (no rows then).
    bool Load();
    // The keys of the first of rowCount rows, the others to come: those show empty and the rows
    // do not sort until every key is given (again through SetKeys).
    void SetKeys(std::vector<RowKey> keys, int rowCount);
    bool Complete() const { return keys_.size() == static_cast<size_t>(rowCount_); }
    const CResultSearch& Search() const { return search_; }

    int RowCount() const override { return rowCount_; }
    bool ReadPage(int first, int count, std::vector<CListRowRecord>& out) const override;
    bool Sort(int column, bool ascending, std::vector<int>& newRowOf) override;
    bool CanSort() const override { return Complete(); }
    std::shared_ptr<IListRowSource> Copy() const override;
    bool TakeOrder(const IListRowSource& sorted, std::vector<int>& newRowOf) override;
    // The rows with the most characters in the column's stored text, from one query (the date,
    // time and result texts are alike in length: any rows of them); for No. the highest numbers.
    bool ReadLongestRows(int column, int count, std::vector<CListRowRecord>& out) const override;

    // The place read (from 0) of a shown row; -1 outside the rows.
    int ReadIndex(int row) const;
    // The stored row at a place read; false when it is gone or cannot be read.
    bool ReadRowAt(int readIndex, ResultRow& out) const;
    // The key of the row at a place read as the list last read it for showing (so that an edit
    // finds the row the user saw, or learns that it changed); read now when not shown lately.
    bool ShownKeyAt(int readIndex, ListRowKey& out) const;

private:
    // Shows the rows in `shown` order (shown row -> place read) and fills newRowOf.
    void Reorder(std::vector<int> shown, std::vector<int>& newRowOf);

    CResultSearch search_;
    AppSettings settings_;
    ListKind kind_;
    std::vector<RowKey> keys_; // in the order read
    int rowCount_ = 0;
    std::vector<int> shown_; // shown row -> place read; empty while in the order read
    mutable std::map<int, ListRowKey> shownKeys_; // of the pages read lately, by place read
};
