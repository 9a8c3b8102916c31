#include "cli/CliCommon.h"

#include "platform/AppFolders.h"

#include <QDate>
#include <cstdio>
#include <cstdlib>

std::string Printable(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '\r')
            out += c;
    return out;
}

void LinePrompt::Inform(const std::string& text, const std::string& title) {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), Printable(text).c_str());
}

bool LinePrompt::Ask(const std::string& text, const std::string& title) {
    Inform(text, title);
    return false;
}

bool ParseListArgs(int argc, char** argv, ListSearch& search, const ExtraOption& extra) {
    auto date = [](const char* text, QDate& out) {
        out = QDate::fromString(QString::fromLocal8Bit(text), QStringLiteral("yyyy-MM-dd"));
        return out.isValid();
    };
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc)
            return false; // every option takes a value
        const char* value = argv[++i];
        if (a == "--from") {
            if (!date(value, search.from))
                return false;
        } else if (a == "--to") {
            if (!date(value, search.to))
                return false;
        } else if (a == "--pid") {
            search.pid = value;
        } else if (a == "--opid") {
            search.opid = value;
        } else if (a == "--period") {
            search.periodWeeks = std::atoi(value);
            if (search.periodWeeks < 1 || search.periodWeeks > 12)
                return false;
        } else if (!extra || !extra(a, value)) {
            return false;
        }
    }
    return !(search.periodWeeks > 0 && (search.from.isValid() || search.to.isValid() ||
                                         !search.pid.empty() || !search.opid.empty()));
}

OneCopyLocks::OneCopyLocks(const QString& base) : folder_(base) {
    taken_ = instance_.TryAcquire() && folder_.TryAcquire();
    if (!taken_)
        std::fprintf(stderr, "trevanix-cli: another copy of Trevanix (the program or trevanix-cli) "
                             "is running. Try again when it has finished.\n");
}

StoredResults::StoredResults()
    : base_(AppFolders::MakeBaseFolder(AppFolders::DefaultBaseFolder())), locks_(base_) {
    if (!locks_.Taken()) {
        status_ = kExitAlreadyRunning;
        return;
    }
    LoadSettings(settings_, base_);
    db_ = std::make_unique<CResultDatabases>(base_, &prompt_);
    db_->OpenDatabases();
    if (!db_->DatabaseReady) {
        std::fprintf(stderr, "trevanix-cli: the result databases are not open\n");
        status_ = kExitFailed;
    }
}

int SearchStoredResults(const ListSearch& search, std::vector<ResultRow>& rows,
                        AppSettings& settings) {
    StoredResults store;
    if (store.Status())
        return store.Status();
    settings = store.Settings();
    std::string message;
    if (RunListSearch(store.Db().ResultTable, search, settings, QDate::currentDate(), rows,
                      &message))
        return 0;
    store.Tell(message);
    return kExitUsage;
}
