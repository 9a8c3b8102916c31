#pragma once
// The link to the laboratory system and its file "lab_info.ini" in the base folder, section
// [LAB], in the private-profile format of the other profile files. No file means the link is
// off. A value that cannot be used is refused with a message naming its key, and the link
// then counts as off, so nothing is queued for a receiver that cannot be reached as written.

#include <QString>
#include <string>

struct LabConfig {
    bool enabled = false;
    std::string host;
    int port = 0;
    bool tls = false;
    std::string caFile; // PEM; empty: the system's certificates
    std::string sendingApplication = "TREVANIX";
    std::string sendingFacility;
    std::string receivingApplication;
    std::string receivingFacility;
    std::string idAuthority; // assigning authority of the patient IDs
    int ackTimeout = 30;     // seconds
};

inline constexpr const char* kLabFile = "lab_info.ini";
inline constexpr const char* kLabSection = "LAB";

QString LabConfigPath(const QString& baseFolder);
// Reads the file. False, with the message in `error`, when a value cannot be used; `config`
// then holds what could be read, with the link off.
bool LoadLabConfig(const QString& baseFolder, LabConfig& config, std::string* error = nullptr);
// Checks a configuration as the dialog has it: empty when it can be used, else the message.
std::string CheckLabConfig(const LabConfig& config);
// Writes every key. False when the file cannot be written.
bool SaveLabConfig(const QString& baseFolder, const LabConfig& config);
