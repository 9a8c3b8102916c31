#include "views/list/ResultListSource.h"

#include "views/list/ResultColumns.h"

#include <algorithm>
#include <utility>

namespace {

// Each term in the direction of the sort.
std::string Terms(std::initializer_list<std::string> terms, bool ascending) {
    std::string out;
    for (const std::string& t : terms) {
        if (!out.empty())
            out += ", ";
        out += t + (ascending ? " ASC" : " DESC");
    }
    return out;
}

// The list's ID sort key in SQL: the ID without surrounding white space; all-digit IDs first by
// their number (fewer significant digits is smaller, then the digits), then the others by their
// lower-case text, blank IDs last.
std::string IdOrder(const char* column, bool ascending) {
    const std::string t = std::string("trim(ifnull(") + column + ",''),char(32,9,10,11,12,13))";
    const std::string notDigits = t + " GLOB '*[^0-9]*'";
    return Terms(
        {"CASE WHEN " + t + "='' THEN 2 WHEN " + notDigits + " THEN 1 ELSE 0 END",
         "CASE WHEN " + t + "<>'' AND NOT " + notDigits + " THEN length(ltrim(" + t +
             ",'0')) ELSE 0 END",
         "CASE WHEN " + notDigits + " THEN lower(" + t + ") ELSE ltrim(" + t + ",'0') END"},
        ascending);
}

} // namespace

std::string ResultColumnOrder(int column, bool ascending, int timeFormat) {
    // The minutes of the day the shown time gives: the stored hour and minute read as numbers;
    // on the 12-hour clock an hour past 23 shows as its hour of the day.
    const std::string hour = "CAST(substr(ifnull([TIME],''),1,2) AS INTEGER)";
    const std::string minutes = "(" + (timeFormat == 0 ? "(" + hour + "%24)" : hour) +
                                "*60+CAST(substr(ifnull([TIME],''),3,2) AS INTEGER))";
    switch (column) {
    case kColumnDate:
        // The shown date comes from the stored key (digits), so the key orders it.
        return Terms({"[DATE]", minutes}, ascending);
    case kColumnTime:
        return Terms({minutes}, ascending);
    case kColumnResult: {
        // Every result at or below 4 % shows "< 4 %" and sorts below all others, every result
        // at or above 14 % shows "> 14 %" above them; the ones between by value.
        const std::string p = "(CAST(ifnull([HbA1c_VALUE],'') AS REAL)*0.1)";
        return Terms({"CASE WHEN " + p + ">=14 THEN 2 WHEN " + p + "<=4 THEN 0 ELSE 1 END",
                      "CASE WHEN " + p + ">=14 OR " + p + "<=4 THEN 0 ELSE " + p + " END"},
                     ascending);
    }
    case kColumnPid:
        return IdOrder("[PID]", ascending);
    case kColumnOpid:
        return IdOrder("[OPID]", ascending);
    case kColumnNote:
        return Terms({"lower(ifnull([EQ_TYPE],''))"}, ascending);
    default:
        return {};
    }
}

std::string FirstOfEachIdFilter(const CResultTable& table, const std::string& filter,
                                const char* column) {
    const std::string where = filter.empty() ? std::string() : " WHERE " + filter;
    const std::string id = std::string("lower(rtrim(ifnull(") + column + ",''),' '))";
    const std::string date = "ifnull([DATE],'')";
    // The first row of an ID is on the newest date of that ID: only the rows of that date are
    // numbered, not every row (one grouping pass instead of a sort of the whole table).
    const std::string newest = "(" + id + ", " + date + ") IN (SELECT " + id + ", max(" + date +
                               ") FROM " + table.QuotedName() + where + " GROUP BY 1)";
    return "ROWID IN (SELECT r FROM (SELECT ROWID AS r, row_number() OVER (PARTITION BY " + id +
           " ORDER BY " + kResultListOrder + ") AS n FROM " + table.QuotedName() + " WHERE " +
           (filter.empty() ? newest : "(" + filter + ") AND " + newest) + ") WHERE n=1)";
}

CResultListSource::CResultListSource(const CResultSearch& search, const AppSettings& settings,
                                     ListKind kind)
    : search_(search), settings_(settings), kind_(kind) {
    search_.SetOrder(kResultListOrder);
}

bool CResultListSource::Load() {
    shown_.clear();
    const bool ok = search_.ReadKeys(keys_);
    rowCount_ = static_cast<int>(keys_.size());
    return ok;
}

void CResultListSource::SetKeys(std::vector<RowKey> keys, int rowCount) {
    shown_.clear();
    shownKeys_.clear();
    keys_ = std::move(keys);
    rowCount_ = std::max(rowCount, static_cast<int>(keys_.size()));
}

int CResultListSource::ReadIndex(int row) const {
    if (row < 0 || row >= rowCount_)
        return -1;
    return shown_.empty() ? row : shown_[static_cast<size_t>(row)];
}

bool CResultListSource::ReadPage(int first, int count, std::vector<CListRowRecord>& out) const {
    out.clear();
    std::vector<RowKey> keys;
    std::vector<int> places;
    for (int r = first; r < first + count; ++r) {
        const int at = ReadIndex(r);
        if (at < 0 || static_cast<size_t>(at) >= keys_.size())
            break; // the rest show empty until their keys are read
        places.push_back(at);
        keys.push_back(keys_[static_cast<size_t>(at)]);
    }
    std::vector<ResultRow> rows;
    const bool ok = search_.ReadRows(keys, 0, keys.size(), rows);
    // A row stored no longer is left out of `rows`: its place stays, empty.
    out.resize(static_cast<size_t>(std::max(0, std::min(count, rowCount_ - first))));
    for (size_t i = keys.size(); i < out.size(); ++i)
        out[i].itemData = ReadIndex(first + static_cast<int>(i));
    // About as many keys as the list keeps pages of rows.
    if (shownKeys_.size() > 2 * CListModel::kPagesKept * CListModel::kPageRows)
        shownKeys_.clear();
    size_t next = 0;
    for (size_t i = 0; i < keys.size(); ++i) {
        out[i].itemData = places[i];
        if (next < rows.size() && rows[next].key.rowid == keys[i]) {
            const ListCells cells = ResultCells(rows[next], places[i] + 1, settings_, kind_);
            out[i].cells.assign(cells.begin(), cells.end());
            shownKeys_[places[i]] = std::move(rows[next++].key);
        }
    }
    return ok;
}

bool CResultListSource::ReadRowAt(int readIndex, ResultRow& out) const {
    if (readIndex < 0 || static_cast<size_t>(readIndex) >= keys_.size())
        return false;
    std::vector<ResultRow> rows;
    if (!search_.ReadRows(keys_, static_cast<size_t>(readIndex), 1, rows) || rows.empty())
        return false;
    out = std::move(rows.front());
    return true;
}

bool CResultListSource::ShownKeyAt(int readIndex, ListRowKey& out) const {
    const auto found = shownKeys_.find(readIndex);
    if (found != shownKeys_.end()) {
        out = found->second;
        return true;
    }
    ResultRow row;
    if (!ReadRowAt(readIndex, row))
        return false;
    out = std::move(row.key);
    return true;
}

bool CResultListSource::Sort(int column, bool ascending, std::vector<int>& newRowOf) {
    if (!Complete())
        return false;
    const size_t n = keys_.size();
    std::vector<int> shown(n);
    if (column == kColumnNumber) {
        // No. is the place read: ascending is the order read, descending its reverse.
        for (size_t i = 0; i < n; ++i)
            shown[i] = static_cast<int>(ascending ? i : n - 1 - i);
    } else {
        const std::string order = ResultColumnOrder(column, ascending, settings_.time);
        if (order.empty())
            return false;
        CResultSearch sorted(search_);
        sorted.SetOrder(order + ", " + kResultListOrder);
        std::vector<RowKey> keys;
        if (!sorted.ReadKeys(keys) || keys.size() != n)
            return false; // the rows changed meanwhile: the next refill shows them
        // The place read of each key, found by the key.
        std::vector<std::pair<RowKey, int>> byKey(n);
        for (size_t i = 0; i < n; ++i)
            byKey[i] = {keys_[i], static_cast<int>(i)};
        std::sort(byKey.begin(), byKey.end());
        for (size_t i = 0; i < n; ++i) {
            const auto hit =
                std::lower_bound(byKey.begin(), byKey.end(), std::make_pair(keys[i], 0));
            if (hit == byKey.end() || hit->first != keys[i])
                return false;
            shown[i] = hit->second;
        }
    }
    Reorder(std::move(shown), newRowOf);
    return true;
}

void CResultListSource::Reorder(std::vector<int> shown, std::vector<int>& newRowOf) {
    const size_t n = keys_.size();
    // The old row of each place read, then where it goes.
    std::vector<int> newRowOfPlace(n);
    for (size_t i = 0; i < n; ++i)
        newRowOfPlace[static_cast<size_t>(shown[i])] = static_cast<int>(i);
    newRowOf.resize(n);
    for (size_t old = 0; old < n; ++old)
        newRowOf[old] = newRowOfPlace[static_cast<size_t>(ReadIndex(static_cast<int>(old)))];
    shown_ = std::move(shown);
}

std::shared_ptr<IListRowSource> CResultListSource::Copy() const {
    auto copy = std::make_shared<CResultListSource>(*this);
    copy->shownKeys_.clear();
    return copy;
}

bool CResultListSource::TakeOrder(const IListRowSource& sorted, std::vector<int>& newRowOf) {
    const auto* other = dynamic_cast<const CResultListSource*>(&sorted);
    if (!other || !Complete() || other->keys_ != keys_)
        return false;
    std::vector<int> shown = other->shown_;
    if (shown.empty()) { // the copy is in the order read
        shown.resize(keys_.size());
        for (size_t i = 0; i < shown.size(); ++i)
            shown[i] = static_cast<int>(i);
    }
    Reorder(std::move(shown), newRowOf);
    return true;
}

bool CResultListSource::ReadLongestRows(int column, int count,
                                        std::vector<CListRowRecord>& out) const {
    out.clear();
    if (count <= 0 || column < 0 || column >= kResultColumnCount)
        return false;
    if (column == kColumnNumber) {
        // The highest numbers have the most digits; no row needs reading.
        for (int place = rowCount_ - 1; place >= 0 && place >= rowCount_ - count; --place) {
            CListRowRecord r;
            r.cells.assign(kResultColumnCount, std::string());
            r.cells[kColumnNumber] = std::to_string(place + 1);
            r.itemData = place;
            out.push_back(std::move(r));
        }
        return true;
    }
    constexpr int kFewValues = 4096; // times of a day, results of the analyzer's range
    static const char* const kStored[kResultColumnCount] = {nullptr,
                                                            "[DATE]",
                                                            "[TIME]",
                                                            "[HbA1c_VALUE]",
                                                            "rtrim(ifnull([PID],''),' ')",
                                                            "rtrim(ifnull([OPID],''),' ')",
                                                            "[EQ_TYPE]"};
    const std::string& filter = search_.Filter();
    const std::string from =
        search_.Table().QuotedName() + (filter.empty() ? std::string() : " WHERE " + filter);
    CResultSearch longest(search_);
    if (column == kColumnTime || column == kColumnResult) {
        // Every stored value the same length, shown in texts of different widths ("> 14 %",
        // "5.4 %", 12-hour times): one row of each value, of which there are few.
        longest.SetFilter("ROWID IN (SELECT min(ROWID) FROM " + from + " GROUP BY " +
                          kStored[column] + " LIMIT " + std::to_string(kFewValues) + ")");
    } else {
        longest.SetFilter("ROWID IN (SELECT ROWID FROM " + from + " ORDER BY length(ifnull(" +
                          kStored[column] + ",'')) DESC LIMIT " + std::to_string(count) + ")");
    }
    longest.SetOrder("ROWID");
    std::vector<RowKey> keys;
    std::vector<ResultRow> rows;
    if (!longest.ReadKeys(keys) || !longest.ReadRows(keys, 0, keys.size(), rows))
        return false;
    for (const ResultRow& row : rows) {
        // The No. is not measured here: any number does.
        const ListCells cells = ResultCells(row, 0, settings_, kind_);
        out.push_back({std::vector<std::string>(cells.begin(), cells.end()), 0});
    }
    return true;
}
