#include "report/CsvExport.h"

#include "platform/Prompt.h"
#include "platform/SafeTarget.h"

#include <QDir>
#include <algorithm>

namespace {

// The bytes that would split a field or a line.
struct SplitTable {
    bool at[256] = {};
    constexpr SplitTable() {
        at[static_cast<unsigned char>(',')] = true;
        at[static_cast<unsigned char>('"')] = true;
        at[static_cast<unsigned char>('\r')] = true;
        at[static_cast<unsigned char>('\n')] = true;
    }
    constexpr bool operator[](unsigned char c) const { return at[c]; }
};
constexpr SplitTable kSplits;

bool LooksLikeFormula(const std::string& cell) {
    if (cell.empty())
        return false;
    switch (cell[0]) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r':
        return true;
    default:
        return false;
    }
}

} // namespace

namespace {

// Writes one cell and its comma at d, which has room for 2 * size + 3 bytes; returns the end.
char* PutCell(char* d, const std::string& cell, bool typed) {
    const char* p = cell.data();
    const size_t n = cell.size();
    // Copied and looked at in one pass: a 100,000-row list has 700,000 cells.
    bool quote = false;
    for (size_t i = 0; i < n; ++i) {
        d[i] = p[i];
        quote |= kSplits[static_cast<unsigned char>(p[i])];
    }
    const bool guard = typed && LooksLikeFormula(cell);
    if (!guard && !quote) {
        d[n] = ',';
        return d + n + 1;
    }
    if (quote)
        *d++ = '"';
    if (guard)
        *d++ = '\'';
    for (size_t i = 0; i < n; ++i) {
        if (quote && p[i] == '"')
            *d++ = '"';
        *d++ = p[i];
    }
    if (quote)
        *d++ = '"';
    *d++ = ',';
    return d;
}

} // namespace

namespace {

// Makes the lines row by row into `buf` and hands it to `sink` whenever it holds `chunk` bytes
// or more (and once at the end). A file is written in pieces of a buffer that stays in the
// cache, instead of a copy of the whole file in fresh memory.
template <class Sink>
bool MakeCsv(const CsvLayout& layout, const ICsvRows& rows, std::string& buf, size_t chunk,
             Sink sink) {
    static const std::string empty;
    const int n = rows.RowCount();
    const int columns = rows.ColumnCount();
    buf.assign(layout.header);
    size_t used = buf.size();
    buf.resize(std::max(buf.size(), chunk + 1024));
    for (int r = 0; r < n; ++r) {
        if (rows.Stopped())
            return false;
        int count = 0;
        const std::string* cells = rows.RowCells(r, count);
        count = std::min(count, columns);
        for (int c = 0; c < columns; ++c) {
            const std::string& cell = c < count ? cells[c] : empty;
            // Room for the cell quoted with every byte doubled, its comma and the line feed.
            const size_t worst = 2 * cell.size() + 4;
            if (used + worst > buf.size())
                buf.resize(std::max(buf.size() * 2, used + worst));
            char* const at = &buf[0] + used;
            used += static_cast<size_t>(
                PutCell(at, cell, c < 32 && (layout.typedColumns >> c) & 1u) - at);
        }
        buf[used++] = '\n';
        if (used >= chunk) {
            if (!sink(buf.data(), used))
                return false;
            used = 0;
        }
    }
    if (!rows.Complete())
        return false;
    return used == 0 || sink(buf.data(), used);
}

constexpr size_t kChunk = 256 * 1024;

} // namespace

std::string CsvBytes(const CsvLayout& layout, const ICsvRows& rows) {
    std::string out, buf;
    // A row of the lists is about 50 bytes.
    out.reserve(std::string(layout.header).size() + static_cast<size_t>(rows.RowCount()) * 64);
    MakeCsv(layout, rows, buf, kChunk, [&out](const char* p, size_t n) {
        out.append(p, n);
        return true;
    });
    return out;
}

bool WriteCsv(QIODevice& device, const CsvLayout& layout, const ICsvRows& rows) {
    std::string buf;
    return MakeCsv(layout, rows, buf, kChunk, [&device](const char* p, size_t n) {
        return device.write(p, static_cast<qint64>(n)) == static_cast<qint64>(n);
    });
}

bool WriteCsvFile(const QString& path, const CsvLayout& layout, const ICsvRows& rows,
                  QString* reason) {
    return WriteFileSafely(
        path, [&](QIODevice& file) { return WriteCsv(file, layout, rows); }, reason);
}

std::string CsvWriteFailedText(const QString& path, const QString& reason) {
    return FileWriteFailedText(path, reason);
}

CsvExportOutcome ExportCsv(const ICsvRows& rows, const CsvLayout& layout, const CsvFolders& folders,
                           IPrompt& prompt, const CsvDesktop& desktop) {
    return ExportCsv(
        [&](const QString& path, QString* reason) {
            return WriteCsvFile(path, layout, rows, reason) ? CsvWrite::Written : CsvWrite::Failed;
        },
        folders, prompt, desktop);
}

CsvExportOutcome ExportCsv(const CsvFileWriter& write, const CsvFolders& folders, IPrompt& prompt,
                           const CsvDesktop& desktop) {
    CsvExportOutcome outcome;
    outcome.path = desktop.chooseFile ? desktop.chooseFile(folders.offered) : QString();
    if (!outcome.path.isEmpty()) {
        QString reason;
        const CsvWrite written = write(outcome.path, &reason);
        if (written == CsvWrite::Cancelled) {
            outcome.result = CsvExportResult::Cancelled;
        } else if (written == CsvWrite::Written) {
            outcome.result = CsvExportResult::Written;
            if (desktop.openFile && !desktop.openFile(outcome.path))
                prompt.Inform(
                    "The file was written, but no program could open it:\r\n" +
                        QDir::toNativeSeparators(outcome.path).toLocal8Bit().toStdString(),
                    kMessageTitle);
        } else {
            outcome.result = CsvExportResult::Failed;
            prompt.Inform(CsvWriteFailedText(outcome.path, reason), kMessageTitle);
        }
    }
    if (!folders.after.isEmpty())
        QDir::setCurrent(folders.after);
    return outcome;
}
