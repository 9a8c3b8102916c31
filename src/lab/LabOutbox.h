#pragma once
// The outbox of messages to the lab system: a table of the main database, LabOutbox, filled in
// the transaction that stores, corrects or deletes a result, so a committed change can never
// miss its message and a rolled-back one leaves none. Each row holds the whole message, made
// when queued with a control ID that stays the same on every retry; senders claim the row in
// a transaction of their own before they send it, so no message is sent by two at once.
//
//   ID           queue order
//   CONTROL_ID   MSH-10, random, unique for every message
//   MADE_AT      MSH-7; with STATUS, UNIT and the R_ columns (the result as it was when
//                queued) it makes the same message on every try (the header's application
//                and facility names are the settings' at the time of the try)
//   STATE        waiting or rejected (AR/CR: kept, not retried until requeued); a delivered
//                message leaves the outbox
//   ATTEMPTS     sends so far; LAST_ANSWER the last acknowledgement or error
//   NEXT_TRY     not before this time (ms since the epoch): the pause after a failed try
//   CLAIM_UNTIL  a sender holds the message until then (ms); a killed sender's claim runs out

#include "Hl7Message.h"
#include "storage/ResultJournal.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class CDbTable;
struct sqlite3_stmt;

inline constexpr const char* kOutboxTable = "LabOutbox";

std::string OutboxTableSql();

// Queues one message on the table's connection (inside the caller's transaction). False when
// the row could not be written; the table's last error says why.
bool QueueLabMessage(CDbTable& connection, const LabConfig& config, int unit,
                     const ResultImage& result, LabStatus status);

// The journal the window and the command line set on the main table: with the link enabled,
// a stored result queues F, a correction C (or W for the old patient and F for the new one
// when the PID changed), a deletion D. With the link off it queues nothing.
class CLabJournal : public IResultJournal {
public:
    CLabJournal(const LabConfig& config, int unit)
        : config_(config), enabled_(config.enabled), unit_(unit) {}
    bool ResultChanged(CDbTable& connection, const ResultImage* before,
                       const ResultImage* after) override;
    void SetConfig(const LabConfig& config);
    LabConfig Config() const;
    void SetUnit(int unit) { unit_ = unit; }

private:
    mutable std::mutex mutex_;
    LabConfig config_;
    std::atomic<bool> enabled_; // read once per stored result, without the lock
    std::atomic<int> unit_;
};

// A text column as stored, NUL bytes and all; empty for NULL.
std::string OutboxColumnText(sqlite3_stmt* st, int col);

// The message of an outbox row: the columns CONTROL_ID, MADE_AT, STATUS, UNIT, R_DATE, R_TIME,
// R_VALUE, R_PID, R_OPID, R_NOTE, R_NAME, R_DOB read from `st` starting at column `first`.
std::string OutboxMessage(const LabConfig& config, sqlite3_stmt* st, int first);
inline constexpr const char* kOutboxMessageColumns =
    "[CONTROL_ID],[MADE_AT],[STATUS],[UNIT],[R_DATE],[R_TIME],[R_VALUE],[R_PID],[R_OPID],"
    "[R_NOTE],[R_NAME],[R_DOB]";

// A message not yet delivered, for `trevanix-cli outbox` and the status bar.
struct OutboxEntry {
    long long id = 0;
    std::string controlId, state, lastAnswer, date, time, pid;
    int attempts = 0;
    char status = 'F';
};
// The messages not delivered, in queue order. No table yet: true with none.
bool ReadOutbox(CDbTable& connection, std::vector<OutboxEntry>& out, std::string* error);
struct OutboxCounts {
    int waiting = 0;
    int rejected = 0;
};
bool CountOutbox(CDbTable& connection, OutboxCounts& out);
// "Lab: 3 waiting", "Lab: all sent", "Lab: 1 rejected" (both when both).
std::string OutboxStatusText(const OutboxCounts& counts);
