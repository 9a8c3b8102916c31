#pragma once
// Every text that shows a stored result, date or time, and every chart value, is made here.
// Stored results are three digits in tenths of a percent ("065" is 6.5 %); dates are YYYYMMDD
// and times HHMM texts.

#include "Settings.h"

#include <string>

enum class DateTimeStyle {
    List,   // download view, all-data list: separate date and time texts
    Dialog, // record dialogs: "2024-01-31 14:05" in one field
    Chart,  // graph view: from the stored characters, always 24-hour
};

// The result as a single-precision percentage, as every rule below compares it.
float StoredResultPercent(const char* stored);

std::string FormatResultText(const char* stored, int unit);
// The all-data list's variant: "> 130 " and "< 20 " before " mmol/mol".
std::string FormatResultListText(const char* stored, int unit);
float ChartResultValue(const char* stored, int unit);

// Percent to mmol/mol (x * 10.929 - 23.5) and back ((x + 23.5) * 0.09149968).
float PercentToMmol(float percent);
float MmolToPercent(float mmol);
// mmol/mol rounded half up, as shown.
int PercentToMmolShown(float percent);

// A Date outside 0-2 reads as 0, a time outside 0-1 as 24-hour.
std::string FormatRecordDate(const char* date, const char* time, int dateFormat,
                             DateTimeStyle style);
std::string FormatRecordTime(const char* date, const char* time, int timeFormat,
                             DateTimeStyle style);
// Dialog style: date and time in one field.
std::string FormatRecordDateTime(const char* date, const char* time, const AppSettings& s);
// Chart style: "2024-01-31 14:05", "01/31/2024 14:05" or "31/01/2024 14:05".
std::string FormatChartLabel(const char* date, const char* time, int dateFormat);

std::string ChartDateAxisTitle(int dateFormat);
std::string ChartResultAxisTitle(int unit);
// Display format of the date pickers: the Windows picker string, and the same for Qt.
std::string DatePickerFormat(int dateFormat);
std::string DatePickerQtFormat(int dateFormat);

// The settings dialog, as plain data: what its controls show and how saving reads them back.
struct SettingsDialogState {
    bool unitPercent = true; // radio "%"
    bool unitMmol = false;   // radio "mmol/mol"
    bool date[3] = {true, false, false};
    bool time12 = false; // "12 Hours"
    bool time24 = true;  // "24 Hours"
    int pidDigitIndex = 13;
    int opidDigitIndex = 13;
    std::string highText; // limit edits, shown in the unit of the settings at opening
    std::string lowText;
    bool limitsInMmol = false; // the unit the limit edits were filled in
    std::string unitLabel;     // "%" or "mmol/mol"
    std::string name, hospital, email, note;
};

SettingsDialogState SettingsDialogOpen(const AppSettings& s);
// Steps 1-6 of saving: the settings from the controls. The caller then saves, reloads and asks
// the main frame to re-fill the shown view.
void SettingsDialogApply(SettingsDialogState& state, AppSettings& s);
