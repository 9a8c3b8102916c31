#include "Settings.h"

#include "platform/ProfileFile.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>

QString SettingsPath(const QString& baseFolder) {
    return QDir(baseFolder).filePath(QString::fromLatin1(kSettingsFile));
}

void LoadSettings(AppSettings& settings, const QString& baseFolder) {
    const QString path = SettingsPath(baseFolder);
    if (!QFileInfo(path).isReadable()) {
        settings = AppSettings();
        SaveSettings(settings, baseFolder);
        return;
    }
    ProfileFile file(path);
    file.Load();
    auto text = [&file](const char* key) { return file.Read(kSettingsSection, key, "-1"); };
    auto number = [&text](const char* key) { return std::atoi(text(key).c_str()); };
    auto real = [&text](const char* key) {
        return static_cast<float>(std::atof(text(key).c_str()));
    };
    settings.unit = number("unit");
    settings.Date = number("Date");
    settings.time = number("time");
    settings.high = real("high");
    settings.low = real("low");
    settings.PID_Digit = number("PID_Digit");
    if (settings.PID_Digit == -1)
        settings.PID_Digit = 13;
    settings.OPID_Digit = number("OPID_Digit");
    if (settings.OPID_Digit == -1)
        settings.OPID_Digit = 13;
    settings.lang = number("lang");
    settings.Name = text("Name");
    settings.Hospital = text("Hospital");
    settings.Email = text("Email");
    settings.Command = text("Command");
}

bool SaveSettings(const AppSettings& settings, const QString& baseFolder) {
    ProfileFile file(SettingsPath(baseFolder));
    if (!file.Load())
        return false;
    auto limit = [](float v) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%2.1f", static_cast<double>(v));
        return std::string(buf);
    };
    file.Write(kSettingsSection, "unit", std::to_string(settings.unit));
    file.Write(kSettingsSection, "Date", std::to_string(settings.Date));
    file.Write(kSettingsSection, "time", std::to_string(settings.time));
    file.Write(kSettingsSection, "high", limit(settings.high));
    file.Write(kSettingsSection, "low", limit(settings.low));
    file.Write(kSettingsSection, "PID_Digit", std::to_string(settings.PID_Digit));
    file.Write(kSettingsSection, "OPID_Digit", std::to_string(settings.OPID_Digit));
    file.Write(kSettingsSection, "lang", std::to_string(settings.lang));
    file.Write(kSettingsSection, "Name", settings.Name);
    file.Write(kSettingsSection, "Hospital", settings.Hospital);
    file.Write(kSettingsSection, "Email", settings.Email);
    file.Write(kSettingsSection, "Command", settings.Command);
    return file.Save();
}
