#include "LabOutbox.h"

#include "query/ResultQuery.h"
#include "storage/DbTable.h"

#include <QDateTime>
#include <sqlite3.h>

namespace {

constexpr int kInsertSlot = 2;

} // namespace

std::string OutboxColumnText(sqlite3_stmt* st, int col) {
    const unsigned char* t = sqlite3_column_text(st, col);
    return t ? std::string(reinterpret_cast<const char*>(t),
                           static_cast<size_t>(sqlite3_column_bytes(st, col)))
             : std::string();
}

namespace {

bool TableExists(sqlite3* db) {
    sqlite3_stmt* st = nullptr;
    bool found = false;
    if (sqlite3_prepare_v2(db, "SELECT 1 FROM main.sqlite_master WHERE type='table' AND name=?", -1,
                           &st, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(st, 1, kOutboxTable, -1, SQLITE_STATIC);
        found = sqlite3_step(st) == SQLITE_ROW;
    }
    sqlite3_finalize(st);
    return found;
}

} // namespace

std::string OutboxTableSql() {
    return std::string("CREATE TABLE IF NOT EXISTS main.") + kOutboxTable +
           " ([ID] INTEGER PRIMARY KEY, [CONTROL_ID] TEXT NOT NULL, [MADE_AT] TEXT NOT NULL,"
           " [STATUS] TEXT NOT NULL, [UNIT] INTEGER NOT NULL, [STATE] TEXT NOT NULL,"
           " [ATTEMPTS] INTEGER NOT NULL DEFAULT 0, [LAST_ANSWER] TEXT NOT NULL DEFAULT '',"
           " [NEXT_TRY] INTEGER NOT NULL DEFAULT 0, [CLAIM_UNTIL] INTEGER NOT NULL DEFAULT 0,"
           " [R_DATE] TEXT, [R_TIME] TEXT, [R_VALUE] TEXT, [R_PID] TEXT, [R_OPID] TEXT,"
           " [R_NOTE] TEXT, [R_NAME] TEXT, [R_DOB] TEXT)";
}

namespace {

// MSH-7 of messages queued now, with the offset from UTC; made again once a second.
const std::string& MadeNow() {
    static thread_local qint64 second = -1;
    static thread_local std::string text;
    const qint64 s = QDateTime::currentMSecsSinceEpoch() / 1000;
    if (s != second) {
        second = s;
        text = QDateTime::currentDateTime()
                   .toOffsetFromUtc(QDateTime::currentDateTime().offsetFromUtc())
                   .toString(Qt::ISODate)
                   .toStdString();
    }
    return text;
}

} // namespace

std::string OutboxMessage(const LabConfig& config, sqlite3_stmt* st, int first) {
    ResultImage r;
    int c = first + 4;
    for (std::string* f :
         {&r.DATE, &r.TIME, &r.HbA1c_VALUE, &r.PID, &r.OPID, &r.EQ_TYPE, &r.p_NAME, &r.p_DOB})
        *f = OutboxColumnText(st, c++);
    const std::string status = OutboxColumnText(st, first + 2);
    const QDateTime made =
        QDateTime::fromString(QString::fromStdString(OutboxColumnText(st, first + 1)), Qt::ISODate);
    return BuildResultMessage(config, r, static_cast<LabStatus>(status.empty() ? 'F' : status[0]),
                              sqlite3_column_int(st, first + 3), OutboxColumnText(st, first), made);
}

bool QueueLabMessage(CDbTable& connection, const LabConfig&, int unit, const ResultImage& result,
                     LabStatus status) {
    const std::string controlId = NewControlId();
    const std::string& made = MadeNow();
    const std::string sql = std::string("INSERT INTO main.") + kOutboxTable +
                            " ([CONTROL_ID],[MADE_AT],[STATUS],[UNIT],[STATE],[R_DATE],[R_TIME],"
                            "[R_VALUE],[R_PID],[R_OPID],[R_NOTE],[R_NAME],[R_DOB]) VALUES "
                            "(?,?,?,?,'waiting',?,?,?,?,?,?,?,?)";
    const char code = static_cast<char>(status);
    const auto insert = [&]() {
        sqlite3_stmt* st = connection.CachedStatement(kInsertSlot, sql);
        if (!st)
            return SQLITE_ERROR;
        sqlite3_bind_text(st, 1, controlId.data(), static_cast<int>(controlId.size()),
                          SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, made.data(), static_cast<int>(made.size()), SQLITE_STATIC);
        sqlite3_bind_text(st, 3, &code, 1, SQLITE_TRANSIENT);
        sqlite3_bind_int(st, 4, unit);
        int i = 5;
        for (const std::string* v : {&result.DATE, &result.TIME, &result.HbA1c_VALUE, &result.PID,
                                     &result.OPID, &result.EQ_TYPE, &result.p_NAME, &result.p_DOB})
            sqlite3_bind_text(st, i++, v->data(), static_cast<int>(v->size()), SQLITE_STATIC);
        const int rc = sqlite3_step(st);
        sqlite3_reset(st);
        sqlite3_clear_bindings(st);
        return rc;
    };
    int rc = insert();
    if (rc != SQLITE_DONE && !TableExists(connection.Database())) {
        // The first message of this database: the table is made in the same transaction.
        if (!connection.Execute(OutboxTableSql().c_str()))
            return false;
        rc = insert();
    }
    if (rc != SQLITE_DONE) {
        connection.NoteError("cannot queue the message to the lab system");
        return false;
    }
    return true;
}

void CLabJournal::SetConfig(const LabConfig& config) {
    std::lock_guard<std::mutex> lock(mutex_);
    config_ = config;
    enabled_ = config.enabled;
}

LabConfig CLabJournal::Config() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return config_;
}

bool CLabJournal::ResultChanged(CDbTable& connection, const ResultImage* before,
                                const ResultImage* after) {
    if (!enabled_)
        return true;
    static const LabConfig config; // the header's names are taken when the message is sent
    const int unit = unit_;
    if (!before)
        return !after || QueueLabMessage(connection, config, unit, *after, LabStatus::Final);
    if (!after)
        return QueueLabMessage(connection, config, unit, *before, LabStatus::Deleted);
    if (TrimmedId(before->PID) != TrimmedId(after->PID))
        return QueueLabMessage(connection, config, unit, *before, LabStatus::WrongPatient) &&
               QueueLabMessage(connection, config, unit, *after, LabStatus::Final);
    return QueueLabMessage(connection, config, unit, *after, LabStatus::Corrected);
}

bool ReadOutbox(CDbTable& connection, std::vector<OutboxEntry>& out, std::string* error) {
    out.clear();
    sqlite3* db = connection.Database();
    if (!db || !TableExists(db))
        return db != nullptr;
    sqlite3_stmt* st = nullptr;
    const std::string sql = std::string("SELECT [ID],[CONTROL_ID],[STATE],[ATTEMPTS],"
                                        "[LAST_ANSWER],[R_DATE],[R_TIME],[R_PID],"
                                        "[STATUS] FROM main.") +
                            kOutboxTable + " ORDER BY [ID]";
    int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    while (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW) {
        OutboxEntry e;
        e.id = sqlite3_column_int64(st, 0);
        e.controlId = OutboxColumnText(st, 1);
        e.state = OutboxColumnText(st, 2);
        e.attempts = sqlite3_column_int(st, 3);
        e.lastAnswer = OutboxColumnText(st, 4);
        e.date = OutboxColumnText(st, 5);
        e.time = OutboxColumnText(st, 6);
        e.pid = TrimmedId(OutboxColumnText(st, 7));
        const std::string status = OutboxColumnText(st, 8);
        e.status = status.empty() ? 'F' : status[0];
        out.push_back(std::move(e));
        rc = SQLITE_OK;
    }
    const bool ok = rc == SQLITE_DONE || rc == SQLITE_OK;
    if (!ok && error)
        *error = sqlite3_errmsg(db);
    sqlite3_finalize(st);
    return ok;
}

bool CountOutbox(CDbTable& connection, OutboxCounts& out) {
    out = OutboxCounts();
    sqlite3* db = connection.Database();
    if (!db)
        return false;
    if (!TableExists(db))
        return true;
    sqlite3_stmt* st = nullptr;
    const std::string sql = std::string("SELECT sum([STATE]='waiting'), sum([STATE]='rejected') "
                                        "FROM main.") +
                            kOutboxTable;
    bool ok = sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK &&
              sqlite3_step(st) == SQLITE_ROW;
    if (ok) {
        out.waiting = sqlite3_column_int(st, 0);
        out.rejected = sqlite3_column_int(st, 1);
    }
    sqlite3_finalize(st);
    return ok;
}

std::string OutboxStatusText(const OutboxCounts& c) {
    std::string text;
    if (c.waiting > 0)
        text = "Lab: " + std::to_string(c.waiting) + " waiting";
    if (c.rejected > 0)
        text += (text.empty() ? "Lab: " : ", ") + std::to_string(c.rejected) + " rejected";
    return text.empty() ? "Lab: all sent" : text;
}
