#include "views/ListCsvExport.h"

#include "views/list/ListCtrlExt.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QUrl>

namespace {

// The folder of the last export, kept with the list layouts.
constexpr const char* kLastFolderKey = "Export/LastFolder";

class CListRows : public ICsvRows {
public:
    explicit CListRows(const CListCtrlExt& list) : list_(list) {}
    int RowCount() const override { return list_.ItemCount(); }
    // The header's columns, hidden ones included.
    int ColumnCount() const override { return list_.ColumnCount(); }
    const std::string* RowCells(int row, int& count) const override {
        const std::vector<std::string>& cells = list_.Model()->Row(row).cells;
        count = static_cast<int>(cells.size());
        return cells.data();
    }

private:
    const CListCtrlExt& list_;
};

} // namespace

CsvDesktop SystemCsvDesktop(QWidget* parent) {
    CsvDesktop d;
    d.chooseFile = [parent](const QString& folder) {
        QFileDialog dlg(parent, QString(), folder, QStringLiteral("CSV File (*.csv)"));
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setFileMode(QFileDialog::AnyFile);
        dlg.setDefaultSuffix(QStringLiteral("csv"));
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
            return QString();
        return dlg.selectedFiles().constFirst();
    };
    d.openFile = [](const QString& path) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    };
    return d;
}

CsvExportOutcome ExportListToCsv(const CListCtrlExt& list, const CsvLayout& layout,
                                 const QString& folderAfter, IPrompt& prompt,
                                 const CsvDesktop& desktop) {
    QSettings settings(QString::fromLatin1(kLayoutOrganisation),
                       QString::fromLatin1(kLayoutApplication));
    const QString last = settings.value(QString::fromLatin1(kLastFolderKey)).toString();
    const QString offered = !last.isEmpty() && QFileInfo(last).isDir() ? last : folderAfter;
    const CsvExportOutcome outcome =
        ExportCsv(CListRows(list), layout, CsvFolders{offered, folderAfter}, prompt, desktop);
    if (!outcome.path.isEmpty())
        settings.setValue(QString::fromLatin1(kLastFolderKey),
                          QFileInfo(outcome.path).absolutePath());
    return outcome;
}
