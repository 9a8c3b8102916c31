#include "Hl7Message.h"

#include "query/ResultQuery.h"
#include "settings/DisplayFormats.h"

#include <QRandomGenerator>
#include <QString>
#include <cstdio>
#include <vector>

namespace {

constexpr const char* kLoincPercent = "4548-4^Hemoglobin A1c/Hemoglobin.total in Blood^LN";
constexpr const char* kLoincIfcc =
    "59261-8^Hemoglobin A1c/Hemoglobin.total in Blood by IFCC protocol^LN";

// Stored bytes as UTF-8: valid UTF-8 stays, any other byte is its Latin-1 character.
std::string AsUtf8(const std::string& bytes) {
    const QByteArray raw = QByteArray::fromStdString(bytes);
    const QString text = QString::fromUtf8(raw);
    if (text.toUtf8() == raw && !text.contains(QChar::ReplacementCharacter))
        return bytes;
    return QString::fromLatin1(raw).toUtf8().toStdString();
}

// YYYYMMDDHHMM of a stored date and time; what is not digits is left out.
std::string MeasurementTime(const LabResult& r) {
    std::string out;
    for (const char c : r.DATE.substr(0, 8) + r.TIME.substr(0, 4))
        if (c >= '0' && c <= '9')
            out += c;
    return out.size() == 12 ? out : std::string();
}

bool PlainDigits(const std::string& s, size_t n) {
    if (s.size() != n)
        return false;
    for (const char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

} // namespace

std::string Hl7Escape(const std::string& raw) {
    const std::string text = AsUtf8(raw);
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '|':
            out += "\\F\\";
            break;
        case '^':
            out += "\\S\\";
            break;
        case '~':
            out += "\\R\\";
            break;
        case '\\':
            out += "\\E\\";
            break;
        case '&':
            out += "\\T\\";
            break;
        default:
            if (u < 0x20 || u == 0x7f) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\X%02X\\", u);
                out += hex;
            } else {
                out += c;
            }
        }
    }
    return out;
}

LabValue ResultValue(const std::string& stored, bool mmol) {
    const float v = StoredResultPercent(stored.c_str());
    LabValue out;
    char buf[32];
    if (v >= 14.0f) {
        out.comparator = ">";
        out.number = mmol ? "130" : "14.0";
    } else if (v <= 4.0f) {
        out.comparator = "<";
        out.number = mmol ? "20" : "4.0";
    } else if (mmol) {
        out.number = std::to_string(PercentToMmolShown(v));
    } else {
        std::snprintf(buf, sizeof buf, "%.1f", static_cast<double>(v));
        out.number = buf;
    }
    return out;
}

std::string BuildResultMessage(const LabConfig& c, const LabResult& r, LabStatus status, int unit,
                               const std::string& controlId, const QDateTime& made) {
    const char st = static_cast<char>(status);
    const std::string when = MeasurementTime(r);
    const std::string e = "\r";
    std::string m;
    // MSH-7 with the offset from UTC, as +hhmm.
    {
        const int offset = made.offsetFromUtc() / 60;
        char zone[16];
        std::snprintf(zone, sizeof zone, "%c%02d%02d", offset < 0 ? '-' : '+',
                      (offset < 0 ? -offset : offset) / 60, (offset < 0 ? -offset : offset) % 60);
        m = "MSH|^~\\&|" + Hl7Escape(c.sendingApplication) + "|" + Hl7Escape(c.sendingFacility) +
            "|" + Hl7Escape(c.receivingApplication) + "|" + Hl7Escape(c.receivingFacility) + "|" +
            made.toString(QStringLiteral("yyyyMMddHHmmss")).toStdString() + zone +
            "||ORU^R01^ORU_R01|" + Hl7Escape(controlId) + "|P|2.5.1|||AL|NE||UNICODE UTF-8" + e;
    }
    std::string pid = "PID|1||" + Hl7Escape(TrimmedId(r.PID)) + "^^^" + Hl7Escape(c.idAuthority) +
                      "^MR||" + Hl7Escape(TrimmedId(r.p_NAME)) + "||";
    if (PlainDigits(r.p_DOB, 8) && r.p_DOB != "19000101")
        pid += r.p_DOB;
    m += pid + e;
    // OBR-25 takes the order's status (table 0123): a result moved to another patient or
    // deleted is a correction of the report there; OBX-11 says which.
    const char orderStatus = st == 'W' || st == 'D' ? 'C' : st;
    m += std::string("OBR|1|||") + kLoincPercent + "|||" + when + std::string(18, '|') +
         orderStatus + e;
    const auto obx = [&](int set, bool mmol) {
        const LabValue v = ResultValue(r.HbA1c_VALUE, mmol);
        const std::string value = v.comparator.empty() ? v.number : v.comparator + "^" + v.number;
        return "OBX|" + std::to_string(set) + "|" + (v.comparator.empty() ? "NM" : "SN") + "|" +
               (mmol ? kLoincIfcc : kLoincPercent) + "||" + value + "|" +
               (mmol ? "mmol/mol^mmol/mol^UCUM" : "%^%^UCUM") + "|||||" + st + "|||" + when + "||" +
               Hl7Escape(TrimmedId(r.OPID)) + e;
    };
    m += obx(1, false);
    if (unit != 0)
        m += obx(2, true);
    const std::string note = TrimmedId(r.EQ_TYPE);
    if (!note.empty())
        m += "NTE|1||" + Hl7Escape(note) + e;
    return m;
}

std::string NewControlId() {
    // A generator per thread, seeded once from the system's: a download queues thousands.
    static thread_local QRandomGenerator64 rng(QRandomGenerator::system()->generate64() ^
                                               QRandomGenerator::system()->generate64());
    static const char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::string id(20, '0');
    quint64 a = rng.generate64(), b = rng.generate64();
    for (size_t i = 0; i < id.size(); ++i) {
        quint64& v = i < 10 ? a : b;
        id[i] = kDigits[v % 36];
        v /= 36;
    }
    return id;
}

std::string MllpFrame(const std::string& message) {
    return "\x0b" + message + "\x1c\r";
}

bool TakeMllpFrame(std::string& buffer, std::string& message) {
    const size_t start = buffer.find('\x0b');
    if (start == std::string::npos) {
        buffer.clear();
        return false;
    }
    const size_t end = buffer.find("\x1c\r", start);
    if (end == std::string::npos)
        return false;
    message = buffer.substr(start + 1, end - start - 1);
    buffer.erase(0, end + 2);
    return true;
}

Hl7Ack ParseAck(const std::string& message) {
    Hl7Ack ack;
    size_t pos = 0;
    while (pos <= message.size()) {
        size_t end = message.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = message.size();
        const std::string seg = message.substr(pos, end - pos);
        pos = end + 1;
        std::vector<std::string> f;
        size_t a = 0;
        while (true) {
            const size_t b = seg.find('|', a);
            f.push_back(seg.substr(a, b == std::string::npos ? std::string::npos : b - a));
            if (b == std::string::npos)
                break;
            a = b + 1;
        }
        if (f[0] == "MSA") {
            ack.code = f.size() > 1 ? f[1] : "";
            ack.controlId = f.size() > 2 ? f[2] : "";
            if (f.size() > 3 && !f[3].empty())
                ack.text = f[3];
        } else if (f[0] == "ERR" && ack.text.empty()) {
            // ERR-8 user message, else the error code of ERR-3
            if (f.size() > 8 && !f[8].empty())
                ack.text = f[8];
            else if (f.size() > 3)
                ack.text = f[3];
        }
    }
    return ack;
}
