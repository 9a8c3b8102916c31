#include "cli/CliCommon.h"

#include "platform/AppFolders.h"

#include <QDate>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>

namespace {

bool IsTerminalControl(unsigned char c) {
    return c < 0x20 || c == 0x7f || (c >= 0x80 && c < 0xa0);
}

void AppendEscaped(std::string& out, unsigned char c) {
    switch (c) {
    case '\t':
        out += "\\t";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\\':
        out += "\\\\";
        return;
    default:
        break;
    }
    if (!IsTerminalControl(c)) {
        out += static_cast<char>(c);
        return;
    }
    static const char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 0xf];
}

} // namespace

std::string Printable(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\r')
            continue;
        if (c == '\n' || c == '\t' || c == '\\' || !IsTerminalControl(c))
            out += ch;
        else
            AppendEscaped(out, c);
    }
    return out;
}

void AppendLine(std::string& line, const std::string* const* fields, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (i)
            line += '\t';
        for (char c : *fields[i])
            AppendEscaped(line, static_cast<unsigned char>(c));
    }
    line += '\n';
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

StoredResults::StoredResults() : base_(AppFolders::DefaultBaseFolder()) {
    // The settings as the window shows them; a missing file means the defaults (and is not
    // written here).
    if (QFileInfo(SettingsPath(base_)).isReadable())
        LoadSettings(settings_, base_);
    db_ = std::make_unique<CResultDatabases>(base_, &prompt_);
    db_->OpenForReading();
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
    CResultTable& table = store.Db().ResultTable;
    // Rows are read by key in short statements, so that a store never waits long for this
    // reader. A row that went away meanwhile (a correction or deletion in the window) spoils the
    // read: read again, a few times.
    std::string message;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int failures = table.ReadFailures();
        if (!RunListSearch(table, search, settings, QDate::currentDate(), rows, &message)) {
            store.Tell(message);
            return kExitUsage;
        }
        if (table.ReadFailures() == failures)
            return 0;
    }
    rows.clear();
    std::fprintf(stderr, "trevanix-cli: the stored results could not be read whole: %s\n",
                 Printable(table.LastError()).c_str());
    return kExitFailed;
}
