#include "views/ListCsvExport.h"

#include "views/list/ListCtrlExt.h"

#include <QDesktopServices>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressDialog>
#include <QSettings>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <memory>
#include <thread>

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

// The rows of a copy of a list's source, read a page at a time on the writing thread, as the
// list's model reads them (a page that cannot be read gives empty rows there too).
class CSourceRows : public ICsvRows {
public:
    CSourceRows(std::shared_ptr<IListRowSource> rows, int columns, const std::atomic<bool>& stop,
                std::atomic<int>& written, std::function<bool(int)> onPage)
        : rows_(std::move(rows)), count_(std::max(rows_->RowCount(), 0)), columns_(columns),
          stop_(stop), written_(written), onPage_(std::move(onPage)) {}
    int RowCount() const override { return count_; }
    int ColumnCount() const override { return columns_; }
    const std::string* RowCells(int row, int& count) const override {
        if (row < first_ || row >= first_ + static_cast<int>(page_.size())) {
            written_.store(row);
            if (onPage_ && !onPage_(row))
                stopped_ = true;
            first_ = row;
            const int n = std::min(CListModel::kPageRows, count_ - row);
            if (!rows_->ReadPage(row, n, page_))
                page_.clear();
            page_.resize(static_cast<size_t>(n));
            // A row that could not be read (deleted meanwhile, or the table closed) would be a
            // line of empty cells: the file is not written then.
            for (const CListRowRecord& r : page_)
                if (r.cells.empty())
                    missing_ = true;
        }
        const std::vector<std::string>& cells = page_[static_cast<size_t>(row - first_)].cells;
        count = static_cast<int>(cells.size());
        return cells.data();
    }
    bool Stopped() const override { return stopped_ || stop_.load(); }
    bool Complete() const override { return !missing_; }

private:
    std::shared_ptr<IListRowSource> rows_;
    int count_;
    int columns_;
    const std::atomic<bool>& stop_;
    std::atomic<int>& written_;
    std::function<bool(int)> onPage_;
    mutable bool stopped_ = false;
    mutable bool missing_ = false;
    mutable int first_ = 0;
    mutable std::vector<CListRowRecord> page_;
};

// Writes the rows of `copy` to the file on a thread while the window's events go on: for the
// first second without the user's input (clicks wait), then with the progress dialog, whose
// Cancel stops the writing.
CsvWrite WriteOnThread(const std::shared_ptr<IListRowSource>& copy, int columns,
                       const CsvLayout& layout, QWidget* parent,
                       const std::function<bool(int)>& onPage, const QString& path,
                       QString* reason) {
    std::atomic<bool> stop{false};
    std::atomic<int> written{0};
    bool ok = false, cancelled = false;
    QString why;
    std::atomic<bool> finished{false};
    QEventLoop loop;
    std::thread writer([&]() {
        CSourceRows rows(copy, columns, stop, written, onPage);
        ok = WriteCsvFile(path, layout, rows, &why);
        cancelled = rows.Stopped();
        if (!ok && !cancelled && !rows.Complete())
            why = QStringLiteral("results were changed or deleted while the file was written; "
                                 "export the list again");
        finished.store(true);
    });
    // The window's thread looks for the end every 10 ms; the writer touches none of its objects.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&]() {
        if (finished.load())
            loop.exit(1);
    });
    poll.start(10);
    QTimer second;
    second.setSingleShot(true);
    QObject::connect(&second, &QTimer::timeout, &loop, [&loop]() { loop.exit(0); });
    second.start(1000);
    if (loop.exec(QEventLoop::ExcludeUserInputEvents) == 0) {
        const int rows = std::max(copy->RowCount(), 0);
        QProgressDialog progress(QStringLiteral("Writing the CSV file..."),
                                 QStringLiteral("Cancel"), 0, rows, parent);
        progress.setAccessibleName(QStringLiteral("Export progress"));
        progress.setWindowModality(Qt::WindowModal);
        progress.setAutoClose(false);
        progress.setAutoReset(false);
        progress.setMinimumDuration(0);
        QObject::connect(&progress, &QProgressDialog::canceled, &loop, [&stop]() { stop = true; });
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, &progress,
                         [&progress, &written]() { progress.setValue(written.load()); });
        tick.start(100);
        progress.show();
        loop.exec();
    }
    writer.join();
    if (ok)
        return CsvWrite::Written;
    if (cancelled)
        return CsvWrite::Cancelled;
    if (reason)
        *reason = why;
    return CsvWrite::Failed;
}

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
                                 const CsvDesktop& desktop, const ListCsvThreading& threading) {
    QSettings settings(QString::fromLatin1(kLayoutOrganisation),
                       QString::fromLatin1(kLayoutApplication));
    const QString last = settings.value(QString::fromLatin1(kLastFolderKey)).toString();
    const QString offered = !last.isEmpty() && QFileInfo(last).isDir() ? last : folderAfter;
    const CsvFolders folders{offered, folderAfter};
    std::shared_ptr<IListRowSource> copy;
    if (list.Model()->Source() && list.ItemCount() > threading.rowsAbove)
        copy = list.Model()->Source()->Copy();
    CsvExportOutcome outcome;
    if (copy) {
        const int columns = list.ColumnCount();
        QWidget* parent = list.window();
        outcome = ExportCsv(
            [&](const QString& path, QString* reason) {
                return WriteOnThread(copy, columns, layout, parent, threading.onPage, path, reason);
            },
            folders, prompt, desktop);
    } else {
        outcome = ExportCsv(CListRows(list), layout, folders, prompt, desktop);
    }
    if (!outcome.path.isEmpty())
        settings.setValue(QString::fromLatin1(kLastFolderKey),
                          QFileInfo(outcome.path).absolutePath());
    return outcome;
}
