#include "cli/ExportCommand.h"

#include "platform/AppFolders.h"
#include "platform/Prompt.h"
#include "platform/SingleInstance.h"
#include "settings/Settings.h"
#include "storage/Databases.h"
#include "views/CsvExport.h"

#include <QDir>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kExitAlreadyRunning = 3;

// Messages as lines on the terminal; nothing is asked.
class ExportPrompt : public IPrompt {
public:
    void Inform(const std::string& text, const std::string& title) override {
        std::string line;
        for (char c : text)
            if (c != '\r')
                line += c;
        std::fprintf(stderr, "%s: %s\n", title.c_str(), line.c_str());
    }
    bool Ask(const std::string&, const std::string&) override { return false; }
};

} // namespace

int ExportMain(int argc, char** argv, bool (*parseList)(int, char**, ListSearch&), int (*usage)()) {
    // --csv FILE out, the rest is the list's search.
    QString path;
    std::vector<char*> rest(argv, argv + 2);
    for (int i = 2; i < argc; ++i) {
        if (std::string(argv[i]) == "--csv" && i + 1 < argc && path.isEmpty())
            path = QString::fromLocal8Bit(argv[++i]);
        else
            rest.push_back(argv[i]);
    }
    ListSearch search;
    if (path.isEmpty() || !parseList(static_cast<int>(rest.size()), rest.data(), search))
        return usage();

    const QString base = AppFolders::MakeBaseFolder(AppFolders::DefaultBaseFolder());
    SingleInstanceGuard instance;
    SingleInstanceGuard folder(base);
    if (!instance.TryAcquire() || !folder.TryAcquire()) {
        std::fprintf(stderr, "trevanix-cli: another copy of Trevanix (the program or trevanix-cli) "
                             "is running. Try again when it has finished.\n");
        return kExitAlreadyRunning;
    }
    ExportPrompt prompt;
    AppSettings settings;
    LoadSettings(settings, base);
    CResultDatabases db(base, &prompt);
    db.OpenDatabases();
    if (!db.DatabaseReady) {
        std::fprintf(stderr, "trevanix-cli: the result databases are not open\n");
        return 1;
    }
    std::vector<ResultRow> rows;
    std::string message;
    const bool ok =
        RunListSearch(db.ResultTable, search, settings, QDate::currentDate(), rows, &message);
    db.CloseDatabases();
    if (!ok) {
        prompt.Inform(message, kMessageTitle);
        return 2;
    }
    // The list's rows as the window shows them before any re-sort: newest first, from 1.
    std::vector<ListCells> cells;
    cells.reserve(rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
        cells.push_back(ResultCells(rows[i], static_cast<int>(i) + 1, settings, ListKind::AllData));
    QString reason;
    if (!WriteCsvFile(path, kAllDataCsv, CListCellsRows(cells), &reason)) {
        prompt.Inform(
            CsvWriteFailedText(QDir::cleanPath(QDir::current().absoluteFilePath(path)), reason),
            kMessageTitle);
        return 1;
    }
    std::fprintf(stderr, "%zu result%s written to %s\n", rows.size(), rows.size() == 1 ? "" : "s",
                 QDir::toNativeSeparators(path).toLocal8Bit().constData());
    return 0;
}
