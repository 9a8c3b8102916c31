#include "LabSender.h"

#include "Hl7Message.h"
#include "LabOutbox.h"
#include "storage/DbTable.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <algorithm>
#include <memory>
#include <sqlite3.h>

namespace {

int64_t WallNow() { return QDateTime::currentMSecsSinceEpoch(); }

// One connection to the receiver, used for every message of a pass.
class MllpConnection {
public:
    explicit MllpConnection(const LabConfig& config) : config_(config) {}

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
            if (!ssl->waitForEncrypted(ms)) {
                error = Why(*ssl, "no secure connection");
                return false;
            }
            socket_ = std::move(ssl);
        } else {
            socket_ = std::make_unique<QTcpSocket>();
            socket_->connectToHost(host, port);
            if (!socket_->waitForConnected(ms)) {
                error = Why(*socket_, "no connection");
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
            if (!socket_->waitForReadyRead(static_cast<int>(limit - t.elapsed()))) {
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
    std::unique_ptr<QTcpSocket> socket_;
    std::string buffer_;
};

std::string ColumnText(sqlite3_stmt* st, int col) {
    const unsigned char* t = sqlite3_column_text(st, col);
    return t ? std::string(reinterpret_cast<const char*>(t),
                           static_cast<size_t>(sqlite3_column_bytes(st, col)))
             : std::string();
}

bool IsCode(const std::string& code, const char* a, const char* b) { return code == a || code == b; }

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

CLabSender::Claim CLabSender::ClaimNext(long long after, bool dueOnly, Claimed& out) {
    sqlite3* db = db_.Database();
    if (!db)
        return Claim::None;
    CDbTransaction tx(db_);
    if (!tx.IsActive())
        return Claim::Busy;
    const int64_t t = now();
    sqlite3_stmt* st = nullptr;
    const std::string sql =
        std::string("SELECT [ID],[CONTROL_ID],[MESSAGE],[ATTEMPTS],[NEXT_TRY],[CLAIM_UNTIL] "
                    "FROM main.") +
        kOutboxTable + " WHERE [STATE]='waiting' AND [ID]>? " +
        (dueOnly ? "AND [NEXT_TRY]<=? " : "") + "ORDER BY [ID] LIMIT 1";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        sqlite3_finalize(st);
        return Claim::None; // no outbox yet
    }
    sqlite3_bind_int64(st, 1, after);
    if (dueOnly)
        sqlite3_bind_int64(st, 2, t);
    Claim result = Claim::None;
    if (sqlite3_step(st) == SQLITE_ROW) {
        out.id = sqlite3_column_int64(st, 0);
        out.controlId = ColumnText(st, 1);
        out.message = ColumnText(st, 2);
        out.attempts = sqlite3_column_int(st, 3) + 1;
        result = sqlite3_column_int64(st, 5) > t ? Claim::Busy : Claim::Got;
    }
    sqlite3_finalize(st);
    if (result != Claim::Got)
        return result;
    // Held for the longest a try can take; a sender killed meanwhile loses it then.
    const int64_t until = t + int64_t(config_.ackTimeout) * 2000 + 2000;
    const std::string claim = std::string("UPDATE main.") + kOutboxTable +
                              " SET [CLAIM_UNTIL]=?, [ATTEMPTS]=[ATTEMPTS]+1 WHERE [ID]=?";
    bool ok = sqlite3_prepare_v2(db, claim.c_str(), -1, &st, nullptr) == SQLITE_OK;
    if (ok) {
        sqlite3_bind_int64(st, 1, until);
        sqlite3_bind_int64(st, 2, out.id);
        ok = sqlite3_step(st) == SQLITE_DONE;
    }
    sqlite3_finalize(st);
    return ok && tx.Commit() ? Claim::Got : Claim::Busy;
}

void CLabSender::Finish(const Claimed& m, const char* state, const std::string& answer,
                        int64_t nextTry) {
    sqlite3* db = db_.Database();
    sqlite3_stmt* st = nullptr;
    const std::string sql = std::string("UPDATE main.") + kOutboxTable +
                            " SET [STATE]=?, [LAST_ANSWER]=?, [NEXT_TRY]=?, [CLAIM_UNTIL]=0 "
                            "WHERE [ID]=?";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(st, 1, state, -1, SQLITE_STATIC);
        sqlite3_bind_text(st, 2, answer.data(), static_cast<int>(answer.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(st, 3, nextTry);
        sqlite3_bind_int64(st, 4, m.id);
        sqlite3_step(st);
    }
    sqlite3_finalize(st);
}

SendPass CLabSender::Pass(bool dueOnly, const std::function<bool()>& keepGoing) {
    SendPass pass;
    MllpConnection link(config_);
    bool open = false;
    long long after = 0;
    while (!keepGoing || keepGoing()) {
        Claimed m;
        const Claim c = ClaimNext(after, dueOnly, m);
        if (c == Claim::None)
            break;
        if (c == Claim::Busy) {
            pass.busy = true;
            break;
        }
        after = m.id;
        std::string error;
        Hl7Ack ack;
        if ((!open && !(open = link.Open(error))) ||
            !link.Exchange(m.message, m.controlId, ack, error)) {
            // The receiver cannot be reached: the whole queue waits, so none overtakes it.
            const int64_t next = now() + RetryPauseMs(m.attempts);
            Finish(m, "waiting", error, next);
            sqlite3_stmt* st = nullptr;
            const std::string sql = std::string("UPDATE main.") + kOutboxTable +
                                    " SET [NEXT_TRY]=max([NEXT_TRY],?) WHERE [STATE]='waiting'";
            if (sqlite3_prepare_v2(db_.Database(), sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
                sqlite3_bind_int64(st, 1, next);
                sqlite3_step(st);
            }
            sqlite3_finalize(st);
            pass.unreachable = true;
            pass.lastProblem = "The lab system " + config_.host + ":" +
                               std::to_string(config_.port) + " could not be reached: " + error;
            break;
        }
        const std::string answer = ack.code + (ack.text.empty() ? "" : ": " + ack.text);
        if (IsCode(ack.code, "AA", "CA")) {
            Finish(m, "delivered", answer, 0);
            ++pass.delivered;
        } else if (IsCode(ack.code, "AR", "CR")) {
            Finish(m, "rejected", answer, 0);
            ++pass.rejected;
            pass.lastProblem = "The lab system rejected message " + m.controlId + ": " + answer;
        } else {
            Finish(m, "waiting", answer.empty() ? "an answer without a code" : answer,
                   now() + RetryPauseMs(m.attempts));
            ++pass.errors;
            pass.lastProblem = "The lab system could not take message " + m.controlId + ": " +
                               answer;
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
    MllpConnection link(config);
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
