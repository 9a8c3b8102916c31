#pragma once
// Correcting and deleting one stored result, and the audit trail that records both.
//
// A result has no key column: the change takes the row the list read (found by its rowid, or
// by its values when the rowid is not known), provided it still reads as the list showed it,
// together with every row identical to it in every column. Rows that differ in anything, a
// name or a memo included, are other results. Values are bound, never pasted into the SQL
// text, and compared as the list reads them, so an ID holding a quote, a NUL byte, or stored
// as a blob by another tool is found like any other.
//
// The five values each changed row had before the change (the analyzer's original, for a
// first correction) are kept in the table ReplacedResults in the same transaction, so that the
// next download does not store the result again.
//
// Every change writes, in the same transaction, one row per changed stored row into the table
// AuditTrail of the main database: when (UTC, ISO 8601), the operating-system user, the action
// ("modify" or "delete"), the result table's name, and the whole stored row before and, for a
// modify, after, each as a JSON object of its columns in table order. A change that fails
// leaves no audit row; an audit row that cannot be written cancels the change.

#include "ResultQuery.h"

#include <string>
#include <vector>

inline constexpr const char* kAuditTable = "AuditTrail";

// The values a correction writes. DATE, TIME and the result are never changed; every column not
// named here keeps its stored value.
struct ResultEdits {
    std::string PID, OPID, p_NAME;
    std::string p_DOB;  // "YYYYMMDD"
    int P_DIAGNOSE = 0; // -1 when the user typed a type that is not in the list
    std::string P_MEMO;
};

// Who changes and when; the window and the command line fill it from the system.
struct AuditStamp {
    std::string when; // "2026-12-08T09:30:12.345Z"
    std::string user;
};
AuditStamp AuditStampNow();
// The operating-system account running the program.
std::string OperatingSystemUser();

struct EditOutcome {
    enum Kind {
        Done,        // rows changed and their audit rows written
        NotFound,    // the picked row is no longer stored as the list read it; nothing written
        Failed,      // the change failed; nothing written
        AuditFailed, // the audit row could not be written; the change was cancelled
    };
    Kind kind = Failed;
    int rows = 0;      // stored rows changed
    int code = 0;      // SQLite's result code on a failure
    std::string error; // SQLite's words on a failure
};

EditOutcome DeleteStoredResult(CResultTable& table, const ListRowKey& key, const AuditStamp& stamp);
EditOutcome ModifyStoredResult(CResultTable& table, const ListRowKey& key, const ResultEdits& edits,
                               const AuditStamp& stamp);

// What the user reads after a change that did not happen; empty for Done. `deleting` picks the
// verb.
std::string EditFailureText(const EditOutcome& outcome, bool deleting);

struct AuditEntry {
    long long id = 0;
    std::string when, user, action, table, before, after;
};
// The trail, newest first by the time of the change (then by ID). No trail yet: true with no
// entries. A view, or a table without the trail's columns, under the name: false and why.
bool ReadAuditTrail(CDbTable& table, std::vector<AuditEntry>& out, std::string* error);
