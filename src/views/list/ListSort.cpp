#include "views/list/ListSort.h"

#include <QDateTime>
#include <QString>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

int Sign(long long v) {
    return v < 0 ? -1 : v > 0 ? 1 : 0;
}

// A text that reads as a non-zero integer and is exactly its "%ld" writing.
bool ExactInteger(const std::string& s, long* out) {
    const long v = std::atol(s.c_str());
    if (v == 0)
        return false;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%ld", v);
    if (s != buf)
        return false;
    *out = v;
    return true;
}

QDateTime ParseDateTime(const std::string& s) {
    const QString t = QString::fromLocal8Bit(s.c_str()).trimmed();
    for (const char* f : {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm", "yyyy-MM-dd", "MM-dd-yyyy",
                          "hh:mm AP", "HH:mm"}) {
        const QDateTime d = QDateTime::fromString(t, QString::fromLatin1(f));
        if (d.isValid())
            return d;
    }
    return QDateTime::fromString(t, Qt::ISODate);
}

} // namespace

bool operator<(const ListSortKey& a, const ListSortKey& b) {
    if (a.group != b.group)
        return a.group < b.group;
    if (a.number != b.number)
        return a.number < b.number;
    return a.text < b.text;
}

namespace {

std::string Trimmed(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The runs of digits in a text, as numbers (at most `max`).
std::vector<long> DigitRuns(const std::string& s, size_t max) {
    std::vector<long> out;
    for (size_t i = 0; i < s.size() && out.size() < max;) {
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) {
            ++i;
            continue;
        }
        long v = 0;
        size_t digits = 0;
        for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i)
            if (++digits <= 9)
                v = v * 10 + (s[i] - '0');
        out.push_back(v);
    }
    return out;
}

// Minutes of the day of "14:05" or "02:05 PM"; -1 when unreadable.
int MinutesOfDay(const std::string& time) {
    const std::vector<long> hm = DigitRuns(time, 2);
    if (hm.size() < 2)
        return -1;
    long h = hm[0];
    const std::string t = Lower(time);
    if (t.find("pm") != std::string::npos && h < 12)
        h += 12;
    else if (t.find("am") != std::string::npos && h == 12)
        h = 0;
    return static_cast<int>(h * 60 + hm[1]);
}

} // namespace

ListSortKey NumberSortKey(const std::string& text) {
    const std::string t = Trimmed(text);
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (t.empty() || end == t.c_str())
        return {1, 0, Lower(t)};
    return {0, v, {}};
}

ListSortKey DateTimeSortKey(const std::string& date, const std::string& time, int dateFormat) {
    const std::vector<long> p = DigitRuns(date, 3);
    if (p.size() < 3)
        return {1, 0, Lower(Trimmed(date))};
    long y = p[0], m = p[1], d = p[2];
    if (dateFormat == 1) {
        m = p[0];
        d = p[1];
        y = p[2];
    } else if (dateFormat == 2) {
        d = p[0];
        m = p[1];
        y = p[2];
    }
    const int minutes = std::max(MinutesOfDay(time), 0);
    return {0, (static_cast<double>(y) * 100 + m) * 100 * 10000 + d * 10000.0 + minutes, {}};
}

ListSortKey TimeSortKey(const std::string& time) {
    const int minutes = MinutesOfDay(time);
    if (minutes < 0)
        return {1, 0, Lower(Trimmed(time))};
    return {0, static_cast<double>(minutes), {}};
}

ListSortKey ResultSortKey(const std::string& text) {
    const std::string t = Trimmed(text);
    if (!t.empty() && (t[0] == '<' || t[0] == '>'))
        return {t[0] == '<' ? 0 : 2, std::atof(t.c_str() + 1), {}};
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (t.empty() || end == t.c_str())
        return {3, 0, Lower(t)};
    return {1, v, {}};
}

ListSortKey IdSortKey(const std::string& text) {
    const std::string t = Trimmed(text);
    if (t.empty())
        return {2, 0, {}};
    const bool digits = std::all_of(
        t.begin(), t.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
    if (!digits)
        return {1, 0, Lower(t)};
    // Any length: fewer significant digits is smaller, then the digits as text.
    const size_t first = std::min(t.find_first_not_of('0'), t.size());
    return {0, static_cast<double>(t.size() - first), t.substr(first)};
}

ListSortKey TextSortKey(const std::string& text) {
    return {0, 0, Lower(text)};
}

int CompareCells(const std::string& a, const std::string& b, int kind) {
    switch (kind) {
    case kCompareNone:
        return 0;
    case kCompareInteger:
        return Sign(static_cast<long long>(std::atol(a.c_str())) - std::atol(b.c_str()));
    case kCompareFloat: {
        const double d = std::atof(a.c_str()) - std::atof(b.c_str());
        return d < 0 ? -1 : d > 0 ? 1 : 0;
    }
    case kCompareIntText:
    case kCompareIntTextNoCase: {
        long x = 0, y = 0;
        if (ExactInteger(a, &x) && ExactInteger(b, &y))
            return Sign(static_cast<long long>(x) - y);
        return kind == kCompareIntText ? Sign(std::strcmp(a.c_str(), b.c_str()))
                                       : Sign(strcasecmp(a.c_str(), b.c_str()));
    }
    case kCompareTextNoCase:
        return Sign(strcasecmp(a.c_str(), b.c_str()));
    case kCompareDateTime: {
        const QDateTime x = ParseDateTime(a), y = ParseDateTime(b);
        return x < y ? -1 : y < x ? 1 : 0;
    }
    default:
        return Sign(std::strcmp(a.c_str(), b.c_str()));
    }
}
