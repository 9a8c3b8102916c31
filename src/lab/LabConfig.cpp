#include "LabConfig.h"

#include "platform/ProfileFile.h"

#include <QDir>
#include <QFileInfo>
#include <cctype>

namespace {

// A whole number within [low, high], or false.
bool ParseInt(const std::string& text, int low, int high, int& out) {
    if (text.empty() || text.size() > 9)
        return false;
    for (const char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    const int v = std::stoi(text);
    if (v < low || v > high)
        return false;
    out = v;
    return true;
}

bool ParseFlag(const std::string& text, bool& out) {
    if (text != "0" && text != "1")
        return false;
    out = text == "1";
    return true;
}

std::string Bad(const char* key, const std::string& value, const char* expected) {
    return std::string("The lab link settings (") + kLabFile + ") hold \"" + value + "\" for " +
           key + ", which is not " + expected +
           ".\r\nResults are not sent to the lab system until it is corrected.";
}

// Characters that would break the message's header fields.
bool PlainField(const std::string& v) {
    for (const char c : v)
        if (c == '|' || c == '^' || c == '~' || c == '\\' || c == '&' ||
            static_cast<unsigned char>(c) < 0x20)
            return false;
    return true;
}

} // namespace

QString LabConfigPath(const QString& baseFolder) {
    return QDir(baseFolder).filePath(QString::fromLatin1(kLabFile));
}

std::string CheckLabConfig(const LabConfig& c) {
    const std::pair<const char*, const std::string*> fields[] = {
        {"sending_application", &c.sendingApplication},
        {"sending_facility", &c.sendingFacility},
        {"receiving_application", &c.receivingApplication},
        {"receiving_facility", &c.receivingFacility},
        {"id_authority", &c.idAuthority},
    };
    for (const auto& [key, value] : fields)
        if (!PlainField(*value))
            return Bad(key, *value, "a plain name (no | ^ ~ \\ & or control characters)");
    if (!c.enabled)
        return {};
    if (c.host.empty() || !PlainField(c.host) || c.host.find(' ') != std::string::npos)
        return Bad("host", c.host, "a host name or address");
    if (c.port < 1 || c.port > 65535)
        return Bad("port", std::to_string(c.port), "a port number from 1 to 65535");
    if (c.ackTimeout < 1 || c.ackTimeout > 3600)
        return Bad("ack_timeout", std::to_string(c.ackTimeout),
                   "a number of seconds from 1 to 3600");
    if (c.tls && !c.caFile.empty() && !QFileInfo::exists(QString::fromLocal8Bit(c.caFile.c_str())))
        return Bad("ca_file", c.caFile, "an existing certificate file");
    return {};
}

bool LoadLabConfig(const QString& baseFolder, LabConfig& config, std::string* error) {
    config = LabConfig();
    ProfileFile f(LabConfigPath(baseFolder));
    if (!f.Exists())
        return true;
    if (!f.Load()) {
        if (error)
            *error = std::string("The lab link settings (") + kLabFile + ") cannot be read.";
        return false;
    }
    const auto read = [&f](const char* key) { return f.Read(kLabSection, key, "\x01"); };
    const auto given = [](const std::string& v) { return v != "\x01"; };
    std::string problem;
    const auto flag = [&](const char* key, bool& out) {
        const std::string v = read(key);
        if (given(v) && !v.empty() && !ParseFlag(v, out) && problem.empty())
            problem = Bad(key, v, "0 or 1");
    };
    const auto number = [&](const char* key, int low, int high, int& out, const char* what) {
        const std::string v = read(key);
        if (given(v) && !v.empty() && !ParseInt(v, low, high, out) && problem.empty())
            problem = Bad(key, v, what);
    };
    const auto text = [&](const char* key, std::string& out) {
        const std::string v = read(key);
        if (given(v))
            out = v;
    };
    bool enabled = false;
    flag("enabled", enabled);
    flag("tls", config.tls);
    number("port", 1, 65535, config.port, "a port number from 1 to 65535");
    number("ack_timeout", 1, 3600, config.ackTimeout, "a number of seconds from 1 to 3600");
    text("host", config.host);
    text("ca_file", config.caFile);
    text("sending_application", config.sendingApplication);
    text("sending_facility", config.sendingFacility);
    text("receiving_application", config.receivingApplication);
    text("receiving_facility", config.receivingFacility);
    text("id_authority", config.idAuthority);
    config.enabled = enabled;
    if (problem.empty())
        problem = CheckLabConfig(config);
    if (problem.empty())
        return true;
    config.enabled = false;
    if (error)
        *error = problem;
    return false;
}

bool SaveLabConfig(const QString& baseFolder, const LabConfig& c) {
    ProfileFile f(LabConfigPath(baseFolder));
    if (!f.Load())
        return false;
    f.Write(kLabSection, "enabled", c.enabled ? "1" : "0");
    f.Write(kLabSection, "host", c.host);
    f.Write(kLabSection, "port", c.port > 0 ? std::to_string(c.port) : std::string());
    f.Write(kLabSection, "tls", c.tls ? "1" : "0");
    f.Write(kLabSection, "ca_file", c.caFile);
    f.Write(kLabSection, "sending_application", c.sendingApplication);
    f.Write(kLabSection, "sending_facility", c.sendingFacility);
    f.Write(kLabSection, "receiving_application", c.receivingApplication);
    f.Write(kLabSection, "receiving_facility", c.receivingFacility);
    f.Write(kLabSection, "id_authority", c.idAuthority);
    f.Write(kLabSection, "ack_timeout", std::to_string(c.ackTimeout));
    return f.Save();
}
