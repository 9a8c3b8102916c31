#pragma once
// The user settings and their file "set_info.ini" in the base folder: one section
// "SETTING VALUE", twelve keys written in a fixed order. A key missing from an existing file
// reads as -1 ("-1" for texts); a missing file is created with the defaults.

#include <QString>
#include <string>

struct AppSettings {
    int unit = 0;      // 0 percent, any other value mmol/mol
    int Date = 0;      // 0 year-month-day, 1 month/day/year, 2 day/month/year
    int time = 1;      // 0 12-hour, 1 24-hour
    float high = 2.4f; // limits in percent: stored and edited only
    float low = 2.4f;
    int PID_Digit = 13; // stored IDs keep the first PID_Digit + 1 characters
    int OPID_Digit = 13;
    int lang = 0;
    std::string Name;
    std::string Hospital;
    std::string Email;
    std::string Command; // the dialog's "Note :"
};

inline constexpr const char* kSettingsFile = "set_info.ini";
inline constexpr const char* kSettingsSection = "SETTING VALUE";

QString SettingsPath(const QString& baseFolder);
// Fills the settings from the file; creates the file with the defaults when it cannot be read.
void LoadSettings(AppSettings& settings, const QString& baseFolder);
// Writes all twelve keys. False when the file cannot be written.
bool SaveSettings(const AppSettings& settings, const QString& baseFolder);
