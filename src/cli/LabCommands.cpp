#include "cli/LabCommands.h"

#include "cli/CliCommon.h"
#include "lab/LabOutbox.h"
#include "lab/LabSender.h"
#include "platform/AppFolders.h"

#include <QDate>
#include <QThread>
#include <cstdio>

namespace {

// The main database, opened for the outbox beside whatever else runs.
struct OutboxDatabase {
    // `reading`: the outbox is only read (opened read-only, nothing repaired).
    explicit OutboxDatabase(bool reading)
        : base(AppFolders::MakeBaseFolder(AppFolders::DefaultBaseFolder())), db(base, &prompt) {
        LoadSettings(settings, base);
        if (reading)
            db.OpenForReading();
        else
            db.OpenDatabases();
        db.ResultTable.SetBusyTimeout(10000);
    }
    QString base;
    LinePrompt prompt;
    AppSettings settings;
    CResultDatabases db;
};

// Queues F for every stored result the search selects.
int Requeue(OutboxDatabase& store, const LabConfig& config, const ListSearch& search) {
    std::vector<ResultRow> rows;
    std::string message;
    CResultTable& t = store.db.ResultTable;
    if (!RunListSearch(t, search, store.settings, QDate::currentDate(), rows, &message)) {
        store.prompt.Inform(message, kMessageTitle);
        return kExitUsage;
    }
    auto lock = t.Lock();
    CDbTransaction tx(t);
    bool ok = tx.IsActive();
    for (size_t i = 0; ok && i < rows.size(); ++i) {
        const ListRowKey& k = rows[i].key;
        const ResultImage image{k.DATE,          k.TIME,   k.HbA1c_VALUE, k.PID,   k.OPID,
                                rows[i].EQ_TYPE, k.p_NAME, k.p_DOB,       k.P_MEMO};
        ok = QueueLabMessage(t, config, store.settings.unit, image, LabStatus::Final);
    }
    if (!ok || !tx.Commit()) {
        std::fprintf(stderr, "trevanix-cli: nothing was queued: %s\n",
                     Printable(t.LastError()).c_str());
        return kExitFailed;
    }
    std::fprintf(stderr, "%zu result%s queued for the lab system\n", rows.size(),
                 rows.size() == 1 ? "" : "s");
    return 0;
}

// Passes over the queue until it is done or the receiver cannot be reached. Another sender (the
// window) may hold the next message: wait for it, as its claim is bounded; the pass goes on with
// what it has left. stillBusy when it kept one to the end.
SendPass SendQueue(CResultTable& table, const LabConfig& config, bool& stillBusy) {
    CLabSender sender(table, config);
    SendPass total;
    stillBusy = false;
    for (int round = 0; round < 1000; ++round) {
        const SendPass pass = sender.Pass(false);
        total.delivered += pass.delivered;
        total.errors += pass.errors;
        total.rejected += pass.rejected;
        if (!pass.lastProblem.empty())
            total.lastProblem = pass.lastProblem;
        if (pass.unreachable) {
            total.unreachable = true;
            break;
        }
        stillBusy = pass.busy;
        if (!pass.busy)
            break;
        QThread::msleep(500);
    }
    if (stillBusy)
        total.lastProblem = "Another sender kept the next message; the rest stays queued.";
    return total;
}

} // namespace

int SendMain(int argc, char** argv, int (*usage)()) {
    bool requeue = false;
    ListSearch search;
    if (argc >= 3 && std::string(argv[2]) == "--requeue") {
        requeue = true;
        if (!ParseListArgs(argc - 1, argv + 1, search))
            return usage();
    } else if (argc != 2) {
        return usage();
    }
    OutboxDatabase store(false);
    if (!store.db.DatabaseReady) {
        std::fprintf(stderr, "trevanix-cli: the result databases are not open\n");
        return kExitFailed;
    }
    LabConfig config;
    std::string problem;
    if (!LoadLabConfig(store.base, config, &problem)) {
        store.prompt.Inform(problem, kMessageTitle);
        return kExitFailed;
    }
    if (!config.enabled) {
        std::fprintf(stderr,
                     "trevanix-cli: the link to the lab system is off (enabled=1 in %s "
                     "turns it on)\n",
                     LabConfigPath(store.base).toLocal8Bit().constData());
        return kExitFailed;
    }
    if (requeue)
        if (const int status = Requeue(store, config, search))
            return status;

    bool stillBusy = false;
    const SendPass total = SendQueue(store.db.ResultTable, config, stillBusy);
    std::fprintf(stderr, "%d message%s delivered\n", total.delivered,
                 total.delivered == 1 ? "" : "s");
    if (!total.lastProblem.empty())
        std::fprintf(stderr, "%s\n", Printable(total.lastProblem).c_str());
    if (total.unreachable || stillBusy)
        return kExitUnreachable;
    return total.errors + total.rejected > 0 ? kExitFailed : 0;
}

int OutboxMain(int argc, int (*usage)()) {
    if (argc != 2)
        return usage();
    OutboxDatabase store(true);
    if (!store.db.DatabaseReady) {
        std::fprintf(stderr, "trevanix-cli: the result databases are not open\n");
        return kExitFailed;
    }
    std::vector<OutboxEntry> entries;
    std::string error;
    if (!ReadOutbox(store.db.ResultTable, entries, &error)) {
        std::fprintf(stderr, "trevanix-cli: the outbox cannot be read: %s\n", error.c_str());
        return kExitFailed;
    }
    std::string line;
    for (const OutboxEntry& e : entries) {
        const std::string attempts = std::to_string(e.attempts);
        const std::string* fields[] = {&e.controlId, &e.state, &attempts, &e.lastAnswer,
                                       &e.date,      &e.time,  &e.pid};
        line.clear();
        AppendLine(line, fields, 7);
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return 0;
}
