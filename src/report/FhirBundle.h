#pragma once
// Stored results as a FHIR R4 Bundle of type "transaction": one Observation per result, each
// entry a conditional update (PUT Observation?identifier=<system>|<value>) keyed by the
// result's own identifier, so that posting the same file twice creates nothing twice and a
// corrected result updates the Observation sent before.
//
// The identifier is made from the five values the download stored for the result (date, time,
// value, PID, OPID, bytes as stored, padding included; for a corrected result the values before
// its first correction): the SHA-256 of each value preceded by its length and a colon, in hex.
// The same stored result gets the same identifier, and the entry the same urn:uuid (a name-based
// UUID of the identifier), in every export. The PID itself never appears in a URL.
//
// Texts are UTF-8; stored bytes that are not UTF-8 are taken as Latin-1. Control characters
// are escaped as JSON requires; whitespace that a FHIR string may not hold (vertical tab,
// form feed, no-break and other Unicode spaces) becomes a blank.

#include "lab/LabConfig.h"
#include "query/ResultOrigin.h"

#include <QDateTime>
#include <QString>
#include <QUuid>
#include <string>
#include <vector>

class QIODevice;

inline constexpr const char* kFhirResultSystem = "urn:trevanix:result";
inline constexpr const char* kFhirOperatorSystem = "urn:trevanix:operator-id";
// The patients' identifier system when lab_info.ini names no id_authority.
inline constexpr const char* kFhirDefaultPatientSystem = "urn:trevanix:patient-id";

// The identifier value of a result with these stored values: 64 hex digits.
std::string FhirResultIdentifier(const ResultIdentity& stored);
// The entry's fullUrl UUID for an identifier value.
QUuid FhirEntryUuid(const std::string& identifier);
// The identifier system of the patients' IDs: id_authority as it stands when it is a URI
// ("urn:...", "http://..."), "urn:oid:<it>" when it is an OID, else
// urn:trevanix:patient-id:<it, percent-encoded>; the default system when it is empty.
std::string FhirPatientSystem(const std::string& idAuthority);
// A stored text as a FHIR string (UTF-8, see above); empty when it holds nothing but blanks.
std::string FhirText(const std::string& stored);
// "2024-01-05T10:30:00+01:00" for a stored date and time, with the local offset from UTC at
// that time; empty when they are not a real date and time.
std::string FhirDateTime(const std::string& date, const std::string& time);

// Writes the Bundle. `origins` holds one entry per row (ReadResultOrigins), or is empty when
// every row is its own origin and none was corrected. Rows sharing an origin get "-2", "-3" ...
// after the identifier in list order, since a transaction may not touch one resource twice.
// `made` is Bundle.timestamp (left out when invalid). False when the device refused bytes.
bool WriteFhirBundle(QIODevice& device, const std::vector<ResultRow>& rows,
                     const std::vector<ResultOrigin>& origins, const LabConfig& config,
                     const QDateTime& made);
// The same, written through a temporary copy: an existing file is replaced only by a complete
// new one. False with the system's reason when the file cannot be written.
bool WriteFhirFile(const QString& path, const std::vector<ResultRow>& rows,
                   const std::vector<ResultOrigin>& origins, const LabConfig& config,
                   const QDateTime& made, QString* reason);
