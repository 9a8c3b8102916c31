#include "DisplayFormats.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Printf(const char* fmt, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

std::string TwoDigits(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

struct Fields {
    int year, month, day, hour, minute;
};

// DATE and TIME joined and cut by position, each part through atoi.
Fields Split(const char* date, const char* time) {
    const std::string all = std::string(date ? date : "") + (time ? time : "");
    auto part = [&all](size_t at, size_t len) {
        return at < all.size() ? std::atoi(all.substr(at, len).c_str()) : 0;
    };
    return {part(0, 4), part(4, 2), part(6, 2), part(8, 2), part(10, 2)};
}

// The stored characters of the chart style; a missing character shows as a blank.
char At(const char* text, size_t i) {
    const std::string s = text ? text : "";
    return i < s.size() ? s[i] : ' ';
}

int ValidDate(int dateFormat) {
    return dateFormat >= 0 && dateFormat <= 2 ? dateFormat : 0;
}

} // namespace

float StoredResultPercent(const char* stored) {
    return static_cast<float>(std::atof(stored ? stored : "") * 0.1);
}

int PercentToMmolShown(float percent) {
    return static_cast<int>(static_cast<double>(percent) * 10.929 - 23.5 + 0.5);
}

float PercentToMmol(float percent) {
    return static_cast<float>(static_cast<double>(percent) * 10.929 - 23.5);
}

float MmolToPercent(float mmol) {
    return (mmol + 23.5f) * 0.09149968f;
}

static std::string ResultText(const char* stored, int unit, const char* high, const char* low) {
    const float v = StoredResultPercent(stored);
    if (unit == 0) {
        if (v >= 14.0f)
            return std::string("> 14") + " %";
        if (v <= 4.0f)
            return std::string("< 4") + " %";
        return Printf("%2.1f", static_cast<double>(v)) + " %";
    }
    if (v >= 14.0f)
        return std::string(high) + " mmol/mol";
    if (v <= 4.0f)
        return std::string(low) + " mmol/mol";
    return std::to_string(PercentToMmolShown(v)) + " mmol/mol";
}

std::string FormatResultText(const char* stored, int unit) {
    return ResultText(stored, unit, "> 130", "< 20");
}

std::string FormatResultListText(const char* stored, int unit) {
    return ResultText(stored, unit, "> 130 ", "< 20 ");
}

float ChartResultValue(const char* stored, int unit) {
    const float v = StoredResultPercent(stored);
    if (unit == 0)
        return v >= 14.0f ? 14.0f : v <= 4.0f ? 4.0f : v;
    if (v >= 14.0f)
        return 130.0f;
    if (v <= 4.0f)
        return 20.0f;
    return static_cast<float>(PercentToMmolShown(v));
}

std::string FormatRecordDate(const char* date, const char* time, int dateFormat,
                             DateTimeStyle style) {
    const int fmt = ValidDate(dateFormat);
    if (style == DateTimeStyle::Chart) {
        std::string out;
        if (fmt == 0) {
            for (size_t i : {0, 1, 2, 3})
                out += At(date, i);
            out += '-';
            out += At(date, 4);
            out += At(date, 5);
            out += '-';
            out += At(date, 6);
            out += At(date, 7);
            return out;
        }
        const size_t first = fmt == 1 ? 4 : 6; // month first, or day first
        const size_t second = fmt == 1 ? 6 : 4;
        out += At(date, first);
        out += At(date, first + 1);
        out += '/';
        out += At(date, second);
        out += At(date, second + 1);
        out += '/';
        for (size_t i : {0, 1, 2, 3})
            out += At(date, i);
        return out;
    }
    const Fields f = Split(date, time);
    char year[16];
    std::snprintf(year, sizeof year, "%04d", f.year);
    const std::string m = TwoDigits(f.month), d = TwoDigits(f.day);
    std::string out = fmt == 0   ? std::string(year) + "-" + m + "-" + d
                      : fmt == 1 ? m + "-" + d + "-" + year
                                 : d + "-" + m + "-" + year;
    if (style == DateTimeStyle::Dialog)
        out += ' ';
    return out;
}

std::string FormatRecordTime(const char* date, const char* time, int timeFormat,
                             DateTimeStyle style) {
    if (style == DateTimeStyle::Chart) {
        std::string out;
        out += At(time, 0);
        out += At(time, 1);
        out += ':';
        out += At(time, 2);
        out += At(time, 3);
        return out;
    }
    const Fields f = Split(date, time);
    if (timeFormat == 0) {
        const int h12 = f.hour % 12 == 0 ? 12 : f.hour % 12;
        return TwoDigits(h12) + ":" + TwoDigits(f.minute) + (f.hour % 24 >= 12 ? " PM" : " AM");
    }
    return TwoDigits(f.hour) + ":" + TwoDigits(f.minute);
}

std::string FormatRecordDateTime(const char* date, const char* time, const AppSettings& s) {
    return FormatRecordDate(date, time, s.Date, DateTimeStyle::Dialog) +
           FormatRecordTime(date, time, s.time, DateTimeStyle::Dialog);
}

std::string FormatChartLabel(const char* date, const char* time, int dateFormat) {
    return FormatRecordDate(date, time, dateFormat, DateTimeStyle::Chart) + " " +
           FormatRecordTime(date, time, 1, DateTimeStyle::Chart);
}

std::string ChartDateAxisTitle(int dateFormat) {
    switch (ValidDate(dateFormat)) {
    case 1:
        return "Date/Time (Month/Day/Year)";
    case 2:
        return "Date/Time (Day/Month/Year)";
    default:
        return "Date/Time (Year-Month-Day)";
    }
}

std::string ChartResultAxisTitle(int unit) {
    return unit == 0 ? "HbA1c Result(%)" : "HbA1c Result(mmol/mol)";
}

std::string DatePickerFormat(int dateFormat) {
    switch (ValidDate(dateFormat)) {
    case 1:
        return "MM'/'dd'/'yyy";
    case 2:
        return "dd'/'MM'/'yyy";
    default:
        return "yyy'-'MM'-'dd";
    }
}

std::string DatePickerQtFormat(int dateFormat) {
    switch (ValidDate(dateFormat)) {
    case 1:
        return "MM/dd/yyyy";
    case 2:
        return "dd/MM/yyyy";
    default:
        return "yyyy-MM-dd";
    }
}

SettingsDialogState SettingsDialogOpen(const AppSettings& s) {
    SettingsDialogState st;
    st.unitPercent = s.unit == 0;
    st.unitMmol = s.unit != 0;
    for (int i = 0; i < 3; ++i)
        st.date[i] = s.Date == i;
    st.time12 = s.time == 0;
    st.time24 = s.time != 0;
    st.pidDigitIndex = s.PID_Digit;
    st.opidDigitIndex = s.OPID_Digit;
    st.unitLabel = s.unit == 0 ? "%" : "mmol/mol";
    // Limits are kept in percent and shown in the unit in use.
    st.limitsInMmol = s.unit == 1;
    const float high = st.limitsInMmol ? PercentToMmol(s.high) : s.high;
    const float low = st.limitsInMmol ? PercentToMmol(s.low) : s.low;
    st.highText = Printf("%2.1f", static_cast<double>(high));
    st.lowText = Printf("%2.1f", static_cast<double>(low));
    st.name = s.Name;
    st.hospital = s.Hospital;
    st.email = s.Email;
    st.note = s.Command;
    return st;
}

void SettingsDialogApply(SettingsDialogState& st, AppSettings& s) {
    s.unit = st.unitPercent && !st.unitMmol ? 0 : 1;
    st.unitLabel = s.unit == 0 ? "%" : "mmol/mol";
    if (st.date[0] && !st.date[1] && !st.date[2])
        s.Date = 0;
    else if (st.date[1] && !st.date[0] && !st.date[2])
        s.Date = 1;
    else
        s.Date = 2;
    s.time = st.time12 && !st.time24 ? 0 : 1;
    s.PID_Digit = st.pidDigitIndex;
    s.OPID_Digit = st.opidDigitIndex;
    // The edits hold the limits in the unit they were shown in; the file keeps percent. (The
    // old rule converted by the newly chosen unit, which shifted the limits whenever the unit
    // changed.)
    auto toPercent = [&st](const std::string& text) {
        float v = static_cast<float>(std::atof(text.c_str()));
        if (st.limitsInMmol)
            v = MmolToPercent(v);
        return static_cast<float>(std::atof(Printf("%2.1f", static_cast<double>(v)).c_str()));
    };
    s.high = toPercent(st.highText);
    s.low = toPercent(st.lowText);
    s.Name = st.name;
    s.Email = st.email;
    s.Hospital = st.hospital;
    s.Command = st.note;
}
