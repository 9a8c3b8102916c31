#include "views/CsvExport.h"

#include "platform/Prompt.h"

#include <QDir>
#include <QSaveFile>

namespace {

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

void AppendCsvCell(std::string& out, const std::string& cell, bool typed) {
    const bool guard = typed && LooksLikeFormula(cell);
    const bool quote = cell.find_first_of(",\"\r\n") != std::string::npos;
    if (!guard && !quote) {
        out += cell;
        out += ',';
        return;
    }
    if (quote)
        out += '"';
    if (guard)
        out += '\'';
    if (quote) {
        for (char c : cell) {
            if (c == '"')
                out += '"';
            out += c;
        }
        out += '"';
    } else {
        out += cell;
    }
    out += ',';
}

std::string CsvBytes(const CsvLayout& layout, const ICsvRows& rows) {
    const int n = rows.RowCount();
    const int columns = rows.ColumnCount();
    std::string out = layout.header;
    // A row of the lists is about 80 bytes; one reservation spares most of the regrowth.
    out.reserve(out.size() + static_cast<size_t>(n) * 96);
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < columns; ++c)
            AppendCsvCell(out, rows.Cell(r, c), c < 32 && (layout.typedColumns >> c) & 1u);
        out += '\n';
    }
    return out;
}

bool WriteCsvFile(const QString& path, const std::string& bytes, QString* reason) {
    QSaveFile file(path);
    const qint64 size = static_cast<qint64>(bytes.size());
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes.data(), size) != size) {
        if (reason)
            *reason = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (reason)
            *reason = file.errorString();
        return false;
    }
    return true;
}

std::string CsvWriteFailedText(const QString& path, const QString& reason) {
    return "The file could not be written:\r\n" +
           QDir::toNativeSeparators(path).toLocal8Bit().toStdString() + "\r\n" +
           reason.toLocal8Bit().toStdString();
}

CsvExportOutcome ExportCsv(const ICsvRows& rows, const CsvLayout& layout, const CsvFolders& folders,
                           IPrompt& prompt, const CsvDesktop& desktop) {
    CsvExportOutcome outcome;
    outcome.path = desktop.chooseFile ? desktop.chooseFile(folders.offered) : QString();
    if (!outcome.path.isEmpty()) {
        QString reason;
        if (WriteCsvFile(outcome.path, CsvBytes(layout, rows), &reason)) {
            outcome.result = CsvExportResult::Written;
            if (desktop.openFile && !desktop.openFile(outcome.path))
                prompt.Inform("The file was written, but no program could open it:\r\n" +
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
