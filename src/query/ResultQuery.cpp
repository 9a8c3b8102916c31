#include "ResultQuery.h"

#include "ResultSearch.h"
#include "settings/DisplayFormats.h"
#include "storage/Databases.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

ListCells ResultCells(const ResultRow& row, int number, const AppSettings& s, ListKind kind) {
    const ListRowKey& k = row.key;
    return {std::to_string(number),
            FormatRecordDate(k.DATE.c_str(), k.TIME.c_str(), s.Date, DateTimeStyle::List),
            FormatRecordTime(k.DATE.c_str(), k.TIME.c_str(), s.time, DateTimeStyle::List),
            kind == ListKind::AllData ? FormatResultListText(k.HbA1c_VALUE.c_str(), s.unit)
                                      : FormatResultText(k.HbA1c_VALUE.c_str(), s.unit),
            k.PID,
            k.OPID,
            row.EQ_TYPE};
}

QDate DateFromKey(const std::string& key) {
    auto piece = [&key](size_t at, size_t len) {
        return at < key.size() ? std::atoi(key.substr(at, len).c_str()) : 0;
    };
    return QDate(piece(0, 4), piece(4, 2), piece(6, 2));
}

std::string TrimmedId(std::string id) {
    while (!id.empty() && id.back() == ' ')
        id.pop_back();
    return id;
}

std::string DateKey(const QDate& date) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d%02d%02d", date.year(), date.month(), date.day());
    return buf;
}

RangeCheck CheckSearchRange(const QDateTime& start, const QDateTime& end, int* days) {
    if (end < start)
        return RangeCheck::EndBeforeStart;
    // Whole days, the fraction dropped.
    const qint64 d = start.secsTo(end) / 86400;
    if (days)
        *days = static_cast<int>(d);
    return d > kMaxSearchDays ? RangeCheck::TooLong : RangeCheck::Ok;
}

const char* RangeMessage(RangeCheck check) {
    switch (check) {
    case RangeCheck::EndBeforeStart:
        return kWrongRangeText;
    case RangeCheck::TooLong:
        return kTooLongRangeText;
    case RangeCheck::Ok:
        break;
    }
    return "";
}

std::string QuoteId(const std::string& id) {
    return QuoteText(TrimmedId(id));
}

std::string SearchFilter(const std::string& fromKey, const std::string& toKey,
                         const std::string& pid, const std::string& opid) {
    // The dates are digits we wrote ourselves; the IDs come from the user and are quoted.
    std::string f = "DATE between '" + fromKey + "' and '" + toKey + "'";
    if (!pid.empty())
        f += " and rtrim([PID],' ')=" + QuoteId(pid);
    if (!opid.empty())
        f += " and rtrim([OPID],' ')=" + QuoteId(opid);
    return f;
}

std::string RangeFilter(const QDateTime& start, const QDateTime& end, const std::string& pid,
                        const std::string& opid) {
    int days = 0;
    CheckSearchRange(start, end, &days);
    const QDate to = end.date();
    return SearchFilter(DateKey(to.addDays(-days)), DateKey(to), pid, opid);
}

DatePieces CutListDate(const std::string& shown, int dateFormat) {
    auto cut = [&shown](size_t at, size_t len) {
        return at < shown.size() ? shown.substr(at, len) : std::string();
    };
    switch (dateFormat) {
    case 1:
        return {cut(6, 4), cut(0, 2), cut(3, 2)};
    case 2:
        return {cut(6, 4), cut(3, 2), cut(0, 2)};
    default:
        return {cut(0, 4), cut(5, 2), cut(8, 2)};
    }
}

std::string PeriodFilter(int weeks, const std::string& firstRowDate, int dateFormat,
                         const QDate& today) {
    DatePieces p;
    QDate reference = today;
    if (!firstRowDate.empty()) {
        p = CutListDate(firstRowDate, dateFormat);
        reference =
            QDate(std::atoi(p.year.c_str()), std::atoi(p.month.c_str()), std::atoi(p.day.c_str()));
    }
    const QDate from = reference.addDays(-7 * weeks);
    const std::string fromKey = from.isValid() ? DateKey(from) : std::string();
    return "DATE between '" + fromKey + "' and '" + p.year + p.month + p.day + "'";
}

void CIdList::Clear() {
    items_.assign(1, kAllDataEntry);
    seen_.clear();
    seen_.insert("all data");
}

void CIdList::Add(const std::string& id) {
    std::string lower = id;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (seen_.insert(lower).second)
        items_.push_back(id);
}

bool ReadResultRows(CResultTable& t, bool keepFilter, std::vector<ResultRow>& out) {
    out.clear();
    auto lock = t.Lock();
    if (!t.IsOpen())
        return false;
    t.MoveFirst();
    if (!keepFilter)
        RequeryDefault(t);
    const int n = t.RowCount();
    out.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n && !t.IsEOF(); ++i) {
        const HbA1cRecord& r = t.Record;
        ResultRow row;
        row.key.DATE = r.DATE.c_str();
        row.key.TIME = r.TIME.c_str();
        row.key.HbA1c_VALUE = r.HbA1c_VALUE.c_str();
        row.key.PID = r.PID.c_str();
        row.key.OPID = r.OPID.c_str();
        row.key.p_NAME = r.p_NAME.c_str();
        row.key.p_DOB = r.p_DOB.c_str();
        row.key.P_DIAGNOSE = r.P_DIAGNOSE;
        row.key.P_MEMO = r.P_MEMO.c_str();
        row.key.rowid = t.RowIdAt(t.Position());
        row.EQ_TYPE = r.EQ_TYPE.c_str();
        out.push_back(std::move(row));
        t.MoveNext();
    }
    return true;
}

void ApplyFilter(CResultTable& t, const std::string& filter) {
    auto lock = t.Lock();
    t.SetFilter(filter.c_str());
    t.Requery();
}

bool RunListSearch(CResultTable& t, const ListSearch& s, const AppSettings& settings,
                   const QDate& today, std::vector<ResultRow>& rows, std::string* message) {
    rows.clear();
    if (!t.IsOpen())
        return true;
    CResultSearch search(t);
    if (!SetListSearch(search, s, settings, today, message))
        return false;
    search.ForEachRow([&rows](const ResultRow& row) {
        rows.push_back(row);
        return true;
    });
    return true;
}

std::string PidCondition(const std::string& pid) {
    return pid.empty() ? std::string() : "rtrim([PID],' ')=" + QuoteId(pid);
}

std::string ChartPeriodFilter(int weeks, const QDate& reference, const std::string& pid) {
    std::string f = "DATE between '" + DateKey(reference.addDays(-7 * weeks)) + "' and '" +
                    DateKey(reference) + "'";
    if (!pid.empty())
        f += " and " + PidCondition(pid);
    return f;
}
