#include "cli/ExportCommand.h"

#include "cli/CliCommon.h"
#include "report/CsvExport.h"

#include <QDir>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// The found rows as the CSV writer takes them, read as it writes.
class FoundCsvRows : public ICsvRows {
public:
    explicit FoundCsvRows(StoredSearch& found) : found_(found) {}
    int RowCount() const override { return static_cast<int>(found_.Count()); }
    int ColumnCount() const override { return kListColumnCount; }
    const std::string* RowCells(int row, int& count) const override {
        const ResultRow* r = found_.Row(static_cast<size_t>(row));
        if (!r) {
            count = 0;
            return nullptr;
        }
        cells_ = ResultCells(*r, row + 1, found_.Settings(), ListKind::AllData);
        count = kListColumnCount;
        return cells_.data();
    }
    bool Complete() const override { return found_.Whole(); }

private:
    StoredSearch& found_;
    mutable ListCells cells_;
};

} // namespace

int ExportMain(int argc, char** argv, int (*usage)()) {
    // --csv FILE, and the list's search.
    QString path;
    ListSearch search;
    const bool parsed =
        ParseListArgs(argc, argv, search, [&path](const std::string& option, const char* value) {
            if (option != "--csv" || !path.isEmpty() || !*value)
                return false;
            path = QString::fromLocal8Bit(value);
            return true;
        });
    if (!parsed || path.isEmpty())
        return usage();
    // The list's rows as the window shows them before any re-sort: newest first, from 1. A row
    // deleted while the file is written spoils it: the search runs again, a few times.
    StoredSearch found;
    FoundCsvRows rows(found);
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (const int status = found.Run(search))
            return status;
        QString reason;
        if (WriteCsvFile(path, kAllDataCsv, rows, &reason))
            break;
        if (found.Whole()) {
            LinePrompt().Inform(
                CsvWriteFailedText(QDir::cleanPath(QDir::current().absoluteFilePath(path)), reason),
                kMessageTitle);
            return kExitFailed;
        }
        if (attempt == 2)
            return found.TellNotWhole();
    }
    const size_t n = found.Count();
    std::fprintf(stderr, "%zu result%s written to %s\n", n, n == 1 ? "" : "s",
                 Printable(QDir::toNativeSeparators(path).toLocal8Bit().toStdString()).c_str());
    return 0;
}
