#include "FhirBundle.h"

#include "lab/Hl7Message.h"
#include "platform/SafeTarget.h"

#include <QCryptographicHash>
#include <QIODevice>
#include <QStringDecoder>
#include <QTimeZone>
#include <cstdio>
#include <map>

namespace {

// Fixed for ever: changing it would give every result a new fullUrl.
const QUuid kEntryNamespace(QStringLiteral("a91fb18c-33e0-4e53-8f4f-02f8ba413939"));

std::string TrimmedRight(std::string s) {
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

// JavaScript's \s beyond the blank, tab, CR and LF that a FHIR string allows.
bool DisallowedSpace(char16_t c) {
    return c == 0x0b || c == 0x0c || c == 0xa0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200a) ||
           c == 0x2028 || c == 0x2029 || c == 0x202f || c == 0x205f || c == 0x3000 || c == 0xfeff;
}

// A JSON string literal of UTF-8 text.
std::string Json(const std::string& text) {
    std::string out = "\"";
    out.reserve(text.size() + 2);
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (u < 0x20) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\u%04x", u);
                out += hex;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string Member(const char* name, const std::string& jsonValue) {
    return Json(name) + ":" + jsonValue;
}

bool IsUri(const std::string& s) {
    // scheme ":" rest, no whitespace
    const size_t colon = s.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == s.size())
        return false;
    for (size_t i = 0; i < colon; ++i) {
        const char c = s[i];
        const bool alpha = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!alpha && (i == 0 || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')))
            return false;
    }
    for (const char c : s)
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7f)
            return false;
    return true;
}

bool IsOid(const std::string& s) {
    if (s.empty() || s.front() == '.' || s.back() == '.' || s.find("..") != std::string::npos)
        return false;
    for (const char c : s)
        if (c != '.' && (c < '0' || c > '9'))
            return false;
    return s.find('.') != std::string::npos;
}

// A JSON number as FHIR's decimal allows it: -?(0|[1-9][0-9]*)(\.[0-9]+)?
bool JsonNumber(const std::string& s) {
    size_t i = s.size() > 0 && s[0] == '-' ? 1 : 0;
    const auto digit = [&s](size_t at) { return at < s.size() && s[at] >= '0' && s[at] <= '9'; };
    if (!digit(i) || (s[i] == '0' && digit(i + 1)))
        return false;
    while (digit(i))
        ++i;
    if (i < s.size() && s[i] == '.') {
        if (!digit(++i))
            return false;
        while (digit(i))
            ++i;
    }
    return i == s.size();
}

// The note ("Analyzer Tilted"), as a member to append, or nothing.
std::string NoteMember(const ResultRow& row) {
    const std::string note = FhirText(TrimmedRight(row.EQ_TYPE));
    return note.empty() ? std::string()
                        : "," + Member("note", "[{" + Member("text", Json(note)) + "}]");
}

// The category and code members every result carries: a laboratory HbA1c (LOINC 4548-4).
std::string LaboratoryHbA1c() {
    std::string o;
    o += "," +
         Member("category",
                "[{" +
                    Member("coding", "[{" +
                                         Member("system", Json("http://terminology.hl7.org/"
                                                               "CodeSystem/observation-category")) +
                                         "," + Member("code", Json("laboratory")) + "," +
                                         Member("display", Json("Laboratory")) + "}]") +
                    "}]");
    o += "," +
         Member("code", "{" +
                            Member("coding",
                                   "[{" + Member("system", Json("http://loinc.org")) + "," +
                                       Member("code", Json("4548-4")) + "," +
                                       Member("display", Json("Hemoglobin A1c/Hemoglobin.total in "
                                                              "Blood")) +
                                       "}]") +
                            "," + Member("text", Json("HbA1c")) + "}");
    return o;
}

std::string Observation(const ResultRow& row, bool corrected, const std::string& identifier,
                        const std::string& patientSystem) {
    const ListRowKey& k = row.key;
    std::string o = "{" + Member("resourceType", Json("Observation"));
    o += "," + Member("identifier", "[{" + Member("system", Json(kFhirResultSystem)) + "," +
                                        Member("value", Json(identifier)) + "}]");
    o += "," + Member("status", Json(corrected ? "amended" : "final"));
    o += LaboratoryHbA1c();
    const std::string pid = FhirText(TrimmedRight(k.PID));
    if (!pid.empty())
        o += "," + Member("subject",
                          "{" + Member("type", Json("Patient")) + "," +
                              Member("identifier", "{" + Member("system", Json(patientSystem)) +
                                                       "," + Member("value", Json(pid)) + "}") +
                              "}");
    const std::string when = FhirDateTime(k.DATE, k.TIME);
    if (!when.empty())
        o += "," + Member("effectiveDateTime", Json(when));
    const std::string opid = FhirText(TrimmedRight(k.OPID));
    if (!opid.empty())
        o += "," +
             Member("performer",
                    "[{" + Member("type", Json("Practitioner")) + "," +
                        Member("identifier", "{" + Member("system", Json(kFhirOperatorSystem)) +
                                                 "," + Member("value", Json(opid)) + "}") +
                        "}]");
    // The value as the HL7 message gives it: one decimal, or the limit of the measuring range.
    const LabValue v = ResultValue(k.HbA1c_VALUE, false);
    if (!JsonNumber(v.number)) {
        // Only another tool could store a value that reads as no number at all.
        o += "," + Member("dataAbsentReason",
                          "{" +
                              Member("coding",
                                     "[{" +
                                         Member("system", Json("http://terminology.hl7.org/"
                                                               "CodeSystem/data-absent-reason")) +
                                         "," + Member("code", Json("error")) + "}]") +
                              "}");
        return o + NoteMember(row) + "}";
    }
    std::string q = "{" + Member("value", v.number);
    if (!v.comparator.empty())
        q += "," + Member("comparator", Json(v.comparator));
    q += "," + Member("unit", Json("%")) + "," +
         Member("system", Json("http://unitsofmeasure.org")) + "," + Member("code", Json("%")) +
         "}";
    o += "," + Member("valueQuantity", q);
    return o + NoteMember(row) + "}";
}

} // namespace

std::string FhirResultIdentifier(const ResultIdentity& stored) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const std::string* v :
         {&stored.DATE, &stored.TIME, &stored.HbA1c_VALUE, &stored.PID, &stored.OPID}) {
        hash.addData(QByteArray::number(static_cast<qulonglong>(v->size())) + ':');
        hash.addData(QByteArrayView(v->data(), static_cast<qsizetype>(v->size())));
    }
    return hash.result().toHex().toStdString();
}

QUuid FhirEntryUuid(const std::string& identifier) {
    return QUuid::createUuidV5(kEntryNamespace, QByteArray::fromStdString(identifier));
}

std::string FhirPatientSystem(const std::string& idAuthority) {
    if (idAuthority.empty())
        return kFhirDefaultPatientSystem;
    if (IsOid(idAuthority))
        return "urn:oid:" + idAuthority;
    if (IsUri(idAuthority))
        return idAuthority;
    const QByteArray text = QByteArray::fromStdString(FhirText(idAuthority));
    return std::string(kFhirDefaultPatientSystem) + ":" + text.toPercentEncoding().toStdString();
}

std::string FhirText(const std::string& stored) {
    const QByteArray raw = QByteArray::fromStdString(stored);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(raw);
    if (utf8.hasError())
        text = QString::fromLatin1(raw);
    bool blank = true;
    for (QChar& c : text) {
        if (DisallowedSpace(c.unicode()))
            c = QLatin1Char(' ');
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\r') &&
            c != QLatin1Char('\n'))
            blank = false;
    }
    return blank ? std::string() : text.toStdString();
}

std::string FhirDateTime(const std::string& date, const std::string& time) {
    const auto digits = [](const std::string& s, size_t n) {
        if (s.size() != n)
            return false;
        for (const char c : s)
            if (c < '0' || c > '9')
                return false;
        return true;
    };
    if (!digits(date, 8) || !digits(time, 4) || date[0] == '0')
        return {};
    const QDate d(std::stoi(date.substr(0, 4)), std::stoi(date.substr(4, 2)),
                  std::stoi(date.substr(6, 2)));
    const QTime t(std::stoi(time.substr(0, 2)), std::stoi(time.substr(2, 2)));
    if (!d.isValid() || !t.isValid())
        return {};
    // The clock time as the analyzer gave it; the offset the local zone has then (in a gap of
    // a clock change, the offset Qt settles on, which still names the right instant).
    const int offset = QDateTime(d, t).offsetFromUtc() / 60;
    const int a = offset < 0 ? -offset : offset;
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+', a / 60, a % 60);
    return date.substr(0, 4) + "-" + date.substr(4, 2) + "-" + date.substr(6, 2) + "T" +
           time.substr(0, 2) + ":" + time.substr(2, 2) + ":00" + zone;
}

bool WriteFhirBundle(QIODevice& device, const std::vector<ResultRow>& rows,
                     const std::vector<ResultOrigin>& origins, const LabConfig& config,
                     const QDateTime& made) {
    const auto put = [&device](const std::string& s) {
        return device.write(s.data(), static_cast<qint64>(s.size())) ==
               static_cast<qint64>(s.size());
    };
    std::string head =
        "{" + Member("resourceType", Json("Bundle")) + "," + Member("type", Json("transaction"));
    if (made.isValid())
        head += "," + Member("timestamp", Json(made.toString(Qt::ISODate).toStdString()));
    head += ",\"entry\":[";
    if (!put(head))
        return false;
    const std::string patientSystem = FhirPatientSystem(config.idAuthority);
    std::map<std::string, int> seen;
    for (size_t i = 0; i < rows.size(); ++i) {
        const bool known = i < origins.size();
        std::string id =
            FhirResultIdentifier(known ? origins[i].original : IdentityOf(rows[i].key));
        if (const int n = ++seen[id]; n > 1)
            id += "-" + std::to_string(n);
        std::string e = i ? ",\n{" : "\n{";
        e +=
            Member("fullUrl", Json("urn:uuid:" +
                                   FhirEntryUuid(id).toString(QUuid::WithoutBraces).toStdString()));
        e += "," + Member("resource",
                          Observation(rows[i], known && origins[i].corrected, id, patientSystem));
        e += "," + Member("request", "{" + Member("method", Json("PUT")) + "," +
                                         Member("url", Json(std::string("Observation?identifier=") +
                                                            kFhirResultSystem + "|" + id)) +
                                         "}");
        if (!put(e + "}"))
            return false;
    }
    return put("\n]}\n");
}

bool WriteFhirFile(const QString& path, const std::vector<ResultRow>& rows,
                   const std::vector<ResultOrigin>& origins, const LabConfig& config,
                   const QDateTime& made, QString* reason) {
    return WriteFileSafely(
        path, [&](QIODevice& file) { return WriteFhirBundle(file, rows, origins, config, made); },
        reason);
}
