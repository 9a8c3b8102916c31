#pragma once
// HL7 v2.5.1 ORU^R01 messages of one HbA1c result, and the MLLP frame and acknowledgement they
// travel with. Segments end with CR; the text is UTF-8 (stored bytes that are not UTF-8 are
// taken as Latin-1). Every field is escaped, so no stored byte can end a field or a segment.

#include "LabConfig.h"
#include "storage/ResultJournal.h"

#include <QDateTime>
#include <string>

// What a message says of one stored result.
using LabResult = ResultImage;

// Result status of OBR-25 and OBX-11: final, corrected, wrong patient, deleted.
enum class LabStatus : char { Final = 'F', Corrected = 'C', WrongPatient = 'W', Deleted = 'D' };

// A field's text with the delimiters escaped (\F\ \S\ \R\ \E\ \T\) and control bytes as \Xhh\.
std::string Hl7Escape(const std::string& text);

// The message; `unit` is the result unit setting (0 percent: one OBX; else a second OBX in
// mmol/mol). `made` is MSH-7.
std::string BuildResultMessage(const LabConfig& config, const LabResult& result, LabStatus status,
                               int unit, const std::string& controlId, const QDateTime& made);

// A new control ID: 20 characters, unique for every message.
std::string NewControlId();

// MLLP: 0x0B, the message, 0x1C 0x0D.
std::string MllpFrame(const std::string& message);
// The first complete frame in `buffer`, removed from it; false while none is complete.
bool TakeMllpFrame(std::string& buffer, std::string& message);

// What an acknowledgement says.
struct Hl7Ack {
    std::string code;      // MSA-1: AA, AE, AR, CA, CE, CR; empty when none could be read
    std::string controlId; // MSA-2
    std::string text;      // MSA-3 or ERR's text, for the outbox
};
Hl7Ack ParseAck(const std::string& message);

// The value of a stored result as the lab reads it: "6.5", or the comparator and the limit of
// the measuring range ("<" "4.0", ">" "14.0"). mmol/mol when `mmol`.
struct LabValue {
    std::string comparator; // empty, "<" or ">"
    std::string number;
};
LabValue ResultValue(const std::string& stored, bool mmol);
