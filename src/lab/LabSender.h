#pragma once
// Sends the outbox to the lab system over MLLP (TLS when configured): one message at a time,
// in queue order, each claimed in a transaction first, then marked by its acknowledgement.
// AA/CA naming the control ID: delivered. AE/CE: kept and tried again later. AR/CR: kept as
// rejected. No answer in time, a refused or lost connection: kept, tried again later with a
// growing pause (up to 5 minutes), and the pass ends. Blocking: run it on a thread of its own
// (the window) or from the command line.

#include "LabConfig.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CDbTable;
struct Hl7Ack;

struct SendPass {
    int delivered = 0;
    int errors = 0;           // answered AE/CE
    int rejected = 0;         // answered AR/CR
    bool unreachable = false; // no connection, or no answer in time
    bool busy = false;        // the next message is held by another sender
    std::string lastProblem;  // for the user, in plain words
};

// The pause before try number `attempts` + 1 after a failure.
int64_t RetryPauseMs(int attempts);

class CLabSender {
public:
    // `connection`: a connection of the sender's own to the main database (not the window's).
    CLabSender(CDbTable& connection, LabConfig config);

    // One pass through the queue. `dueOnly`: leave messages whose pause has not run out (the
    // window's background sender, each pass from the start); the command line sends every
    // waiting message once, its later passes going on where the last one ended.
    // `keepGoing` is asked between messages (the program is closing).
    SendPass Pass(bool dueOnly, const std::function<bool()>& keepGoing = {});

    // A test message ("Send test message" of the dialog): sent at once, nothing queued. The
    // receiver's answer in plain words.
    static std::string SendTest(const LabConfig& config);

    // Injected clock for tests (ms since the epoch).
    std::function<int64_t()> now;

private:
    struct Claimed {
        long long id = 0;
        std::string controlId, message;
        int attempts = 0;
        int64_t claim = 0; // our claim's end: a row still holding it is still ours
    };
    struct Outcome {
        long long id = 0;
        int64_t claim = 0;
        std::string state, answer;
        int64_t nextTry = 0;
    };
    // Claims the next messages in queue order after `after` (a run of them, so that one
    // commit covers many); `busy` when the next one is held by another sender.
    bool ClaimRun(long long after, bool dueOnly, std::vector<Claimed>& out, bool& busy);
    // The claims of ClaimRun written, inside its transaction.
    bool WriteClaims(const std::vector<Claimed>& claimed);
    // In one transaction: the outcomes written, the claims of `held` renewed (or released),
    // each only while the row still holds this sender's claim. False when that could not be
    // done: the pass then ends and the messages go again later with the same control IDs.
    bool Settle(std::vector<Outcome>& outcomes, std::vector<Claimed>& held, bool release);
    // The receiver's answer to m as an outcome, counted in the pass.
    void RecordAnswer(const Claimed& m, const Hl7Ack& ack, std::vector<Outcome>& outcomes,
                      SendPass& pass);
    // The receiver cannot be reached while sending rest.front(): its outcome written, the claims
    // of the rest released, the pass told.
    void Unreachable(const std::vector<Claimed>& rest, const std::string& error,
                     std::vector<Outcome>& outcomes, SendPass& pass);
    int64_t ClaimSpan() const;

    CDbTable& db_;
    LabConfig config_;
    long long resumeAfter_ = 0; // the command line's passes walk the queue once in all
};
