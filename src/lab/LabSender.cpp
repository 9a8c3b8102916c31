#include "LabSender.h"

#include "Hl7Message.h"
#include "LabOutbox.h"
#include "storage/DbTable.h"
#include "storage/ResultJournal.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <algorithm>
#include <memory>
#include <sqlite3.h>

namespace {

int64_t WallNow() {
    return QDateTime::currentMSecsSinceEpoch();
}

// One connection to the receiver, used for every message of a pass.
class MllpConnection {
public:
    MllpConnection(const LabConfig& config, std::function<bool()> keepGoing)
        : config_(config), keepGoing_(std::move(keepGoing)) {}

    // The socket's waits, in slices, so that a program closing is not held up by a receiver
    // that does not answer. False when the time ran out or the sender is stopping.
    template <typename Wait> bool WaitFor(int64_t ms, Wait wait) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            if (keepGoing_ && !keepGoing_())
                return false;
            if (wait(static_cast<int>(std::min<int64_t>(200, ms - t.elapsed()))))
                return true;
            if (socket_ && socket_->state() == QAbstractSocket::UnconnectedState)
                return false;
        }
        return false;
    }

    bool Open(std::string& error) {
        const int ms = config_.ackTimeout * 1000;
        const QString host = QString::fromStdString(config_.host);
        const auto port = static_cast<quint16>(config_.port);
        if (config_.tls) {
            auto ssl = std::make_unique<QSslSocket>();
            QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
            if (!config_.caFile.empty()) {
                const auto certs = QSslCertificate::fromPath(
                    QString::fromLocal8Bit(config_.caFile.c_str()), QSsl::Pem);
                if (certs.isEmpty()) {
                    error = "the certificate file " + config_.caFile + " holds no certificate";
                    return false;
                }
                conf.setCaCertificates(certs);
            }
            conf.setPeerVerifyMode(QSslSocket::VerifyPeer);
            ssl->setSslConfiguration(conf);
            ssl->connectToHostEncrypted(host, port);
            QSslSocket* s = ssl.get();
            socket_ = std::move(ssl);
            if (!WaitFor(ms, [s](int slice) { return s->waitForEncrypted(slice); })) {
                error = Why(*s, "no secure connection");
                socket_.reset();
                return false;
            }
        } else {
            socket_ = std::make_unique<QTcpSocket>();
            socket_->connectToHost(host, port);
            QTcpSocket* s = socket_.get();
            if (!WaitFor(ms, [s](int slice) { return s->waitForConnected(slice); })) {
                error = Why(*s, "no connection");
                socket_.reset();
                return false;
            }
        }
        return true;
    }

    // False when the answer did not come in time or the connection was lost.
    bool Exchange(const std::string& message, const std::string& controlId, Hl7Ack& ack,
                  std::string& error) {
        const std::string frame = MllpFrame(message);
        if (socket_->write(frame.data(), static_cast<qint64>(frame.size())) !=
            static_cast<qint64>(frame.size())) {
            error = Why(*socket_, "the message could not be sent");
            return false;
        }
        QElapsedTimer t;
        t.start();
        const int64_t limit = int64_t(config_.ackTimeout) * 1000;
        while (socket_->bytesToWrite() > 0 && t.elapsed() < limit)
            if (!socket_->waitForBytesWritten(static_cast<int>(limit - t.elapsed())))
                break;
        while (t.elapsed() < limit) {
            std::string reply;
            while (TakeMllpFrame(buffer_, reply)) {
                ack = ParseAck(reply);
                if (ack.controlId == controlId)
                    return true; // an answer to an earlier try is passed over
            }
            if (keepGoing_ && !keepGoing_()) {
                error = "stopped";
                return false;
            }
            if (!socket_->waitForReadyRead(
                    static_cast<int>(std::min<int64_t>(200, limit - t.elapsed())))) {
                if (socket_->state() != QAbstractSocket::ConnectedState) {
                    error = Why(*socket_, "the connection was closed before the answer");
                    return false;
                }
                continue;
            }
            const QByteArray bytes = socket_->readAll();
            buffer_.append(bytes.constData(), static_cast<size_t>(bytes.size()));
        }
        error = "no answer within " + std::to_string(config_.ackTimeout) + " s";
        return false;
    }

private:
    static std::string Why(QAbstractSocket& s, const char* what) {
        const QString detail = s.errorString();
        return std::string(what) + (detail.isEmpty() ? "" : " (" + detail.toStdString() + ")");
    }

    LabConfig config_;
    std::function<bool()> keepGoing_;
    std::unique_ptr<QTcpSocket> socket_;
    std::string buffer_;
};

bool IsCode(const std::string& code, const char* a, const char* b) {
    return code == a || code == b;
}

} // namespace

int64_t RetryPauseMs(int attempts) {
    // 5 s, 10 s, 20 s ... up to 5 minutes.
    int64_t pause = 5000;
    for (int i = 1; i < attempts && pause < 300000; ++i)
        pause *= 2;
    return std::min<int64_t>(pause, 300000);
}

CLabSender::CLabSender(CDbTable& connection, LabConfig config)
    : now(&WallNow), db_(connection), config_(std::move(config)) {}

int64_t CLabSender::ClaimSpan() const {
    return int64_t(config_.ackTimeout) * 2000 + 2000;
}

bool CLabSender::ClaimRun(long long after, bool dueOnly, std::vector<Claimed>& out, bool& busy) {
    constexpr int kRun = 256;
    out.clear();
    busy = false;
    sqlite3* db = db_.Database();
    if (!db)
        return false;
    CDbTransaction tx(db_);
    if (!tx.IsActive()) {
        busy = true;
        return false;
    }
    const int64_t t = now();
    sqlite3_stmt* st = nullptr;
    const std::string sql =
        std::string("SELECT [ID],[ATTEMPTS],[CLAIM_UNTIL],[NEXT_TRY],[LAST_ANSWER],") +
        kOutboxMessageColumns + " FROM main." + kOutboxTable +
        " WHERE [STATE]='waiting' AND [ID]>? ORDER BY [ID] LIMIT " + std::to_string(kRun);
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        sqlite3_finalize(st);
        return false; // no outbox yet
    }
    sqlite3_bind_int64(st, 1, after);
    while (sqlite3_step(st) == SQLITE_ROW) {
        // A message another sender holds ends the run: nothing overtakes it.
        if (sqlite3_column_int64(st, 2) > t) {
            busy = out.empty();
            break;
        }
        if (dueOnly && sqlite3_column_int64(st, 3) > t) {
            // One the receiver refused for now (AE) waits on its own; one waiting for the
            // receiver to come back holds the queue behind it, so none overtakes it.
            const std::string answer = OutboxColumnText(st, 4);
            if (answer.rfind("AE", 0) == 0 || answer.rfind("CE", 0) == 0)
                continue;
            break;
        }
        Claimed m;
        m.id = sqlite3_column_int64(st, 0);
        m.attempts = sqlite3_column_int(st, 1) + 1;
        m.controlId = OutboxColumnText(st, 5);
        m.message = OutboxMessage(config_, st, 5);
        m.claim = t + ClaimSpan();
        out.push_back(std::move(m));
    }
    sqlite3_finalize(st);
    if (out.empty())
        return false;
    if (WriteClaims(out) && tx.Commit())
        return true;
    out.clear();
    busy = true;
    return false;
}

bool CLabSender::WriteClaims(const std::vector<Claimed>& claimed) {
    const std::string claim =
        std::string("UPDATE main.") + kOutboxTable + " SET [CLAIM_UNTIL]=? WHERE [ID]=?";
    sqlite3_stmt* st = nullptr;
    bool ok = sqlite3_prepare_v2(db_.Database(), claim.c_str(), -1, &st, nullptr) == SQLITE_OK;
    for (size_t i = 0; ok && i < claimed.size(); ++i) {
        sqlite3_bind_int64(st, 1, claimed[i].claim);
        sqlite3_bind_int64(st, 2, claimed[i].id);
        ok = sqlite3_step(st) == SQLITE_DONE;
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    return ok;
}

bool CLabSender::Settle(std::vector<Outcome>& outcomes, std::vector<Claimed>& held, bool release) {
    sqlite3* db = db_.Database();
    CDbTransaction tx(db_);
    if (!tx.IsActive())
        return false;
    // A delivered message leaves the outbox; the others keep their answer. Each only while it
    // still holds this sender's claim.
    const std::string sql = std::string("UPDATE main.") + kOutboxTable +
                            " SET [STATE]=?1, [LAST_ANSWER]=?2, [NEXT_TRY]=?3, [CLAIM_UNTIL]=0,"
                            " [ATTEMPTS]=[ATTEMPTS]+1 WHERE [ID]=?4 AND [CLAIM_UNTIL]=?5";
    const std::string gone =
        std::string("DELETE FROM main.") + kOutboxTable + " WHERE [ID]=?1 AND [CLAIM_UNTIL]=?2";
    const std::string renew = std::string("UPDATE main.") + kOutboxTable +
                              " SET [CLAIM_UNTIL]=?1 WHERE [ID]=?2 AND [CLAIM_UNTIL]=?3";
    sqlite3_stmt* st = nullptr;
    sqlite3_stmt* del = nullptr;
    sqlite3_stmt* ren = nullptr;
    bool ok = sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK &&
              sqlite3_prepare_v2(db, gone.c_str(), -1, &del, nullptr) == SQLITE_OK &&
              sqlite3_prepare_v2(db, renew.c_str(), -1, &ren, nullptr) == SQLITE_OK;
    for (size_t i = 0; ok && i < outcomes.size(); ++i) {
        const Outcome& o = outcomes[i];
        sqlite3_stmt* q = o.state == "delivered" ? del : st;
        if (q == del) {
            sqlite3_bind_int64(del, 1, o.id);
            sqlite3_bind_int64(del, 2, o.claim);
        } else {
            sqlite3_bind_text(st, 1, o.state.data(), static_cast<int>(o.state.size()),
                              SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 2, o.answer.data(), static_cast<int>(o.answer.size()),
                              SQLITE_TRANSIENT);
            sqlite3_bind_int64(st, 3, o.nextTry);
            sqlite3_bind_int64(st, 4, o.id);
            sqlite3_bind_int64(st, 5, o.claim);
        }
        ok = sqlite3_step(q) == SQLITE_DONE;
        sqlite3_reset(q);
    }
    const int64_t until = release ? 0 : now() + ClaimSpan();
    for (size_t i = 0; ok && i < held.size(); ++i) {
        sqlite3_bind_int64(ren, 1, until);
        sqlite3_bind_int64(ren, 2, held[i].id);
        sqlite3_bind_int64(ren, 3, held[i].claim);
        ok = sqlite3_step(ren) == SQLITE_DONE && (release || sqlite3_changes(db) == 1);
        sqlite3_reset(ren);
    }
    sqlite3_finalize(st);
    sqlite3_finalize(del);
    sqlite3_finalize(ren);
    if (!ok || !tx.Commit())
        return false;
    for (Claimed& m : held)
        m.claim = until;
    outcomes.clear();
    return true;
}

void CLabSender::RecordAnswer(const Claimed& m, const Hl7Ack& ack, std::vector<Outcome>& outcomes,
                              SendPass& pass) {
    const std::string answer = ack.code + (ack.text.empty() ? "" : ": " + ack.text);
    if (IsCode(ack.code, "AA", "CA")) {
        outcomes.push_back({m.id, m.claim, "delivered", answer, 0});
        ++pass.delivered;
    } else if (IsCode(ack.code, "AR", "CR")) {
        outcomes.push_back({m.id, m.claim, "rejected", answer, 0});
        ++pass.rejected;
        pass.lastProblem = "The lab system rejected message " + m.controlId + ": " + answer;
    } else {
        outcomes.push_back({m.id, m.claim, "waiting",
                            answer.empty() ? "an answer without a code" : answer,
                            now() + RetryPauseMs(m.attempts)});
        ++pass.errors;
        pass.lastProblem = "The lab system could not take message " + m.controlId + ": " + answer;
    }
}

void CLabSender::Unreachable(const std::vector<Claimed>& rest, const std::string& error,
                             std::vector<Outcome>& outcomes, SendPass& pass) {
    // The rest of the queue waits behind the first, which goes again after a pause.
    const Claimed& m = rest.front();
    outcomes.push_back({m.id, m.claim, "waiting", error, now() + RetryPauseMs(m.attempts)});
    std::vector<Claimed> others(rest.begin() + 1, rest.end());
    Settle(outcomes, others, true);
    pass.unreachable = true;
    pass.lastProblem = "The lab system " + config_.host + ":" + std::to_string(config_.port) +
                       " could not be reached: " + error;
}

SendPass CLabSender::Pass(bool dueOnly, const std::function<bool()>& keepGoing) {
    // Answers are written a run at a time: a sender killed before it wrote them sends those
    // messages again with the same control IDs, which receivers drop as repeats.
    constexpr int64_t kSettleEveryMs = 1000;
    SendPass pass;
    MllpConnection link(config_, keepGoing);
    bool open = false;
    long long after = dueOnly ? 0 : resumeAfter_;
    std::vector<Claimed> run;
    std::vector<Outcome> outcomes;
    const auto stopping = [&]() { return keepGoing && !keepGoing(); };
    while (true) {
        bool busy = false;
        if (!ClaimRun(after, dueOnly, run, busy)) {
            pass.busy = busy;
            break;
        }
        int64_t lastSettle = now();
        for (size_t i = 0; i < run.size(); ++i) {
            const Claimed& m = run[i];
            std::vector<Claimed> rest(run.begin() + static_cast<std::ptrdiff_t>(i), run.end());
            if (stopping()) {
                Settle(outcomes, rest, true);
                return pass;
            }
            // Every try starts with its whole answer time left on the claim.
            if (now() + int64_t(config_.ackTimeout) * 1000 + 1000 > m.claim ||
                now() - lastSettle > kSettleEveryMs) {
                if (!Settle(outcomes, rest, false)) {
                    pass.busy = true; // the claims could not be kept: later, from the start
                    return pass;
                }
                for (size_t j = i; j < run.size(); ++j)
                    run[j].claim = rest[j - i].claim;
                lastSettle = now();
            }
            std::string error;
            Hl7Ack ack;
            if ((!open && !(open = link.Open(error))) ||
                !link.Exchange(m.message, m.controlId, ack, error)) {
                if (stopping()) {
                    Settle(outcomes, rest, true); // sent again later, same control ID
                    return pass;
                }
                Unreachable(rest, error, outcomes, pass);
                return pass;
            }
            after = m.id;
            resumeAfter_ = m.id;
            RecordAnswer(m, ack, outcomes, pass);
        }
        std::vector<Claimed> none;
        if (!Settle(outcomes, none, true)) {
            pass.busy = true;
            break;
        }
    }
    return pass;
}

std::string CLabSender::SendTest(const LabConfig& config) {
    if (config.host.empty() || config.port < 1)
        return "No lab system is set: enter its host and port first.";
    ResultImage test;
    test.DATE = QDate::currentDate().toString(QStringLiteral("yyyyMMdd")).toStdString();
    test.TIME = QTime::currentTime().toString(QStringLiteral("HHmm")).toStdString();
    test.HbA1c_VALUE = "065";
    test.PID = "TEST";
    test.OPID = "TEST";
    test.p_DOB = "19000101";
    const std::string controlId = NewControlId();
    std::string message = BuildResultMessage(config, test, LabStatus::Final, 0, controlId,
                                             QDateTime::currentDateTime());
    // MSH-11 T: a test message, not a patient's result.
    const size_t p = message.find("|P|2.5.1|");
    if (p != std::string::npos)
        message[p + 1] = 'T';
    MllpConnection link(config, {});
    std::string error;
    Hl7Ack ack;
    const std::string where = config.host + ":" + std::to_string(config.port);
    if (!link.Open(error))
        return "The lab system at " + where + " could not be reached: " + error + ".";
    if (!link.Exchange(message, controlId, ack, error))
        return "The lab system at " + where + " did not answer: " + error + ".";
    const std::string said = ack.text.empty() ? "" : " It said: \"" + ack.text + "\".";
    if (IsCode(ack.code, "AA", "CA"))
        return "The lab system at " + where + " accepted the test message (" + ack.code + ")." +
               said;
    if (IsCode(ack.code, "AR", "CR"))
        return "The lab system at " + where + " refused the test message (" + ack.code + ")." +
               said;
    return "The lab system at " + where + " answered with an error (" +
           (ack.code.empty() ? std::string("no code") : ack.code) + ")." + said;
}
