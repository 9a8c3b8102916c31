#include "cli/ExportCommand.h"

#include "cli/CliCommon.h"
#include "views/CsvExport.h"

#include <QDir>
#include <cstdio>
#include <string>
#include <vector>

int ExportMain(int argc, char** argv, int (*usage)()) {
    // --csv FILE, and the list's search.
    QString path;
    ListSearch search;
    const bool parsed = ParseListArgs(argc, argv, search, [&path](const std::string& option,
                                                                  const char* value) {
        if (option != "--csv" || !path.isEmpty() || !*value)
            return false;
        path = QString::fromLocal8Bit(value);
        return true;
    });
    if (!parsed || path.isEmpty())
        return usage();
    std::vector<ResultRow> rows;
    AppSettings settings;
    if (const int status = SearchStoredResults(search, rows, settings))
        return status;
    // The list's rows as the window shows them before any re-sort: newest first, from 1.
    std::vector<ListCells> cells;
    cells.reserve(rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
        cells.push_back(ResultCells(rows[i], static_cast<int>(i) + 1, settings, ListKind::AllData));
    QString reason;
    if (!WriteCsvFile(path, kAllDataCsv, CListCellsRows(cells), &reason)) {
        LinePrompt().Inform(
            CsvWriteFailedText(QDir::cleanPath(QDir::current().absoluteFilePath(path)), reason),
            kMessageTitle);
        return kExitFailed;
    }
    std::fprintf(stderr, "%zu result%s written to %s\n", rows.size(), rows.size() == 1 ? "" : "s",
                 Printable(QDir::toNativeSeparators(path).toLocal8Bit().toStdString()).c_str());
    return 0;
}
