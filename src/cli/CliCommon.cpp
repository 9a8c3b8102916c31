#include "cli/CliCommon.h"

#include "platform/AppFolders.h"

#include <QDate>
#include <QFileInfo>
#include <algorithm>
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

int StoredSearch::Run(const ListSearch& search) {
    if (store_.Status())
        return store_.Status();
    CResultTable& table = store_.Db().ResultTable;
    found_ = std::make_unique<CResultSearch>(table);
    keys_.clear();
    run_.clear();
    slot_.clear();
    lost_ = failed_ = false;
    std::string message;
    if (!SetListSearch(*found_, search, Settings(), QDate::currentDate(), &message)) {
        store_.Tell(message);
        return kExitUsage;
    }
    if (!found_->ReadKeys(keys_)) {
        failed_ = true;
        return TellNotWhole();
    }
    return 0;
}

const ResultRow* StoredSearch::Row(size_t i) {
    // A run is a few hundred rows: one statement, and about 100 kB held.
    constexpr size_t kRun = 512;
    if (i >= keys_.size())
        return nullptr;
    if (i < runFirst_ || i >= runFirst_ + slot_.size()) {
        runFirst_ = i;
        const size_t n = std::min(kRun, keys_.size() - i);
        if (!found_->ReadRows(keys_, i, n, run_)) {
            failed_ = true;
            run_.clear();
        }
        // The rows come in key order, a row that went away left out.
        slot_.assign(n, -1);
        size_t p = 0;
        for (size_t k = 0; k < n && p < run_.size(); ++k)
            if (run_[p].key.rowid == keys_[i + k])
                slot_[k] = static_cast<int>(p++);
    }
    const int at = slot_[i - runFirst_];
    if (at < 0) {
        lost_ = true;
        return nullptr;
    }
    return &run_[static_cast<size_t>(at)];
}

int StoredSearch::TellNotWhole() {
    CResultTable& table = store_.Db().ResultTable;
    if (failed_)
        table.NoteError("cannot read the stored results");
    std::fprintf(stderr, "trevanix-cli: the stored results could not be read whole: %s\n",
                 Printable(table.LastError()).c_str());
    return kExitFailed;
}
