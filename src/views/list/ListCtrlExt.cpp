#include "views/list/ListCtrlExt.h"

#include "settings/DisplayFormats.h"
#include "storage/DownloadDecoder.h"

#include <QContextMenuEvent>

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScrollBar>
#include <QSettings>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolTip>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numeric>
#include <strings.h>

namespace {

// The cell in the focus column of the focused row is drawn without the selection highlight and
// framed; no row draws its own focus frame.
class FocusCellDelegate : public QStyledItemDelegate {
public:
    explicit FocusCellDelegate(CListCtrlExt* list) : QStyledItemDelegate(list), list_(list) {}
    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem o(option);
        o.state &= ~QStyle::State_HasFocus;
        const bool focusCell = list_->FocusColumn() >= 0 &&
                               index.column() == list_->FocusColumn() &&
                               index.row() == list_->currentIndex().row();
        if (focusCell)
            o.state &= ~QStyle::State_Selected;
        QStyledItemDelegate::paint(p, o, index);
        if (focusCell) {
            p->save();
            QPen pen(option.palette.color(QPalette::Text));
            pen.setStyle(Qt::DotLine);
            p->setPen(pen);
            p->drawRect(option.rect.adjusted(1, 1, -2, -2));
            p->restore();
        }
    }

private:
    CListCtrlExt* list_;
};

} // namespace

CListCtrlExt::CListCtrlExt(int controlId, QWidget* parent)
    : QTableView(parent), controlId_(controlId), model_(new CListModel(this)),
      header_(new CColumnHeaderCtrl(this)) {
    setAccessibleName(QStringLiteral("List"));
    setHorizontalHeader(header_);
    setModel(model_);
    // The list fits a column to its widest cell over all rows, not only the rows in view.
    disconnect(header_, &QHeaderView::sectionHandleDoubleClicked, this,
               &QTableView::resizeColumnToContents);
    connect(header_, &QHeaderView::sectionHandleDoubleClicked, this, &CListCtrlExt::AutoFitColumn);
    connect(header_, &QHeaderView::sectionClicked, this, [this](int column) {
        SortByColumn(column, true);
        Q_EMIT ColumnClicked(column);
    });
    connect(header_, &CColumnHeaderCtrl::ColumnChosen, this, &CListCtrlExt::ChooseColumn);
    setItemDelegate(new FocusCellDelegate(this));
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(32);
    header_->setFixedHeight(32);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setTabKeyNavigation(false);
    setSortingEnabled(false);
    // A sort on a thread taking longer than a second shows a busy cursor until it is shown.
    busyTimer_ = new QTimer(this);
    busyTimer_->setSingleShot(true);
    busyTimer_->setInterval(1000);
    connect(busyTimer_, &QTimer::timeout, this, [this]() {
        if (!sortRunning_)
            return;
        viewport()->setCursor(Qt::BusyCursor);
        header_->setCursor(Qt::BusyCursor);
    });
    nowMs_ = []() {
        return static_cast<qint64>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                       std::chrono::steady_clock::now().time_since_epoch())
                                       .count());
    };
}

CListCtrlExt::~CListCtrlExt() {
    // The threads use only their copies of the source (and its table), but post to the list.
    workers_.JoinAll();
}

int CListCtrlExt::InsertColumn(int index, const QString& title, Qt::Alignment align, int width) {
    index = std::clamp(index, 0, ColumnCount());
    header_->InsertInfo(index, width);
    model_->InsertColumn(index, title, align);
    header_->resizeSection(index, width);
    return index;
}

void CListCtrlExt::SetColumn(int index, const QString& title, int width) {
    if (!header_->Info(index))
        return;
    model_->SetColumnTitle(index, title);
    header_->SetInfo(index, width);
    header_->showSection(index);
    header_->resizeSection(index, width);
}

void CListCtrlExt::DeleteColumn(int index) {
    if (!header_->Info(index))
        return;
    model_->RemoveColumn(index);
    header_->RemoveInfo(index);
    if (static_cast<size_t>(index) < sortInfos_.size())
        sortInfos_.erase(sortInfos_.begin() + index);
}

ColumnSortInfo* CListCtrlExt::SortInfo(int column) {
    if (column < 0 || column >= ColumnCount())
        return nullptr;
    return static_cast<size_t>(column) < sortInfos_.size()
               ? &sortInfos_[static_cast<size_t>(column)]
               : nullptr;
}

void CListCtrlExt::SetColumnSort(int column, int flags, int kind) {
    if (column < 0 || column >= ColumnCount() || (flags & 7) == 0)
        return;
    if (sortInfos_.size() <= static_cast<size_t>(column))
        sortInfos_.resize(static_cast<size_t>(column) + 1);
    sortInfos_[static_cast<size_t>(column)] = ColumnSortInfo{flags, kind, {}};
}

void CListCtrlExt::SetColumnSortKey(int column, ListSortKeyFn key) {
    if (column < 0 || column >= ColumnCount())
        return;
    if (sortInfos_.size() <= static_cast<size_t>(column))
        sortInfos_.resize(static_cast<size_t>(column) + 1);
    ColumnSortInfo& info = sortInfos_[static_cast<size_t>(column)];
    if ((info.flags & 7) == 0)
        info.flags = kSortToggle;
    info.key = std::move(key);
}

void CListCtrlExt::SetColumnHideable(int column, bool hideable) {
    if (ColumnInfo* i = header_->Info(column))
        i->hideable = hideable ? 1 : 0;
}

bool CListCtrlExt::IsColumnVisible(int column) const {
    const ColumnInfo* i = header_->Info(column);
    return i && i->visible;
}

void CListCtrlExt::ShowColumn(int column, bool visible) {
    ColumnInfo* info = header_->Info(column);
    if (!info || (info->visible != 0) == visible)
        return;
    info->visible = visible ? 1 : 0;
    if (!visible) {
        header_->hideSection(column);
        if (focusColumn_ == column)
            focusColumn_ = -1;
    } else {
        header_->showSection(column);
        // Back to the width it was given, not the one it had before hiding.
        header_->resizeSection(column, info->width);
        const int target = std::min(header_->VisibleCount() - 1, column);
        const int current = header_->visualIndex(column);
        if (target >= 0 && target < current) {
            header_->applying_ = true;
            header_->moveSection(current, target);
            header_->applying_ = false;
        }
    }
    header_->ApplyOrderRule();
}

void CListCtrlExt::ChooseColumn(int column) {
    const ColumnInfo* info = header_->Info(column);
    if (info && info->hideable)
        ShowColumn(column, !info->visible);
}

int CListCtrlExt::InsertItem(int row, const std::string& text) {
    return model_->InsertRow(row, text);
}

void CListCtrlExt::SetItemText(int row, int column, const std::string& text) {
    model_->SetText(row, column, text);
}

void CListCtrlExt::SetItemData(int row, qintptr data) {
    if (row >= 0 && row < ItemCount())
        model_->Row(row).itemData = data;
}

qintptr CListCtrlExt::ItemData(int row) const {
    return row >= 0 && row < ItemCount() ? model_->Row(row).itemData : 0;
}

void CListCtrlExt::DeleteAllItems() {
    ++fitGeneration_; // an auto-fit still running measured the rows before
    model_->Clear();
    foundRow_ = -1;
    ClearSort();
}

void CListCtrlExt::SetRowSource(std::shared_ptr<IListRowSource> source) {
    ++fitGeneration_;
    model_->SetSource(std::move(source));
    foundRow_ = -1;
    ClearSort();
}

void CListCtrlExt::AppendItems(std::vector<CListRowRecord>&& rows) {
    // Rows come in the order they were read: whatever sort was shown no longer holds.
    if (!rows.empty())
        ClearSort();
    model_->AppendRows(std::move(rows));
}

void CListCtrlExt::ClearSort() {
    // A sort still running belongs to the rows shown before.
    ++sortGeneration_;
    StopSortWait();
    sortColumn_ = -1;
    sortDirection_ = 0;
    for (ColumnSortInfo& info : sortInfos_)
        if (info.flags & kSortToggle)
            info.flags &= ~(kSortAscending | kSortDescending);
    header_->setSortIndicatorShown(false);
    header_->setSortIndicator(-1, Qt::AscendingOrder);
}

void CListCtrlExt::SelectRow(int row) {
    if (row < 0 || row >= ItemCount())
        return;
    const QModelIndex i = model_->index(row, std::max(focusColumn_, 0));
    selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect |
                                             QItemSelectionModel::Rows);
    scrollTo(i);
}

int CListCtrlExt::SelectedRow() const {
    const QModelIndex i = currentIndex();
    return i.isValid() && selectionModel()->isRowSelected(i.row(), QModelIndex()) ? i.row() : -1;
}

void CListCtrlExt::SortByColumn(int column, bool toggle) {
    ColumnSortInfo* info = SortInfo(column);
    if (!info || (info->flags & 7) == 0)
        return;
    const int flags = info->flags;
    if (info->flags & kSortToggle) {
        if ((info->flags & (kSortAscending | kSortDescending)) == 0)
            info->flags |= kSortDescending;
        if (toggle)
            info->flags ^= kSortAscending | kSortDescending;
    }
    const bool ascending = (info->flags & kSortAscending) != 0;
    const int kind = info->kind;
    const int n = ItemCount();
    if (IListRowSource* source = model_->Source()) {
        // Rows read on demand are sorted by their source (in SQL), not by their texts.
        std::shared_ptr<IListRowSource> copy;
        if (n > 1 && !source->CanSort()) {
            info->flags = flags;
            return;
        }
        if (n > 1 && n > backgroundSortAbove_ && (copy = source->Copy())) {
            if (!sortRunning_) {
                // The order shown until a sort is shown, with the header as it was.
                shownSort_.column = sortColumn_;
                shownSort_.direction = sortDirection_;
                shownSort_.flags.clear();
                for (const ColumnSortInfo& i : sortInfos_)
                    shownSort_.flags.push_back(i.flags);
                shownSort_.flags[static_cast<size_t>(column)] = flags;
            }
            StartSort(std::move(copy), column, ascending);
        } else if (n > 1) {
            ++sortGeneration_; // this order replaces any sort still running
            StopSortWait();
            if (!model_->SortSource(column, ascending)) {
                info->flags = flags;
                return;
            }
        }
    } else if (n > 1) {
        std::vector<int> order(static_cast<size_t>(n));
        std::iota(order.begin(), order.end(), 0);
        const int dir = ascending ? 1 : -1;
        if (info->key) {
            // One key per row, made once: the comparisons only compare keys.
            std::vector<ListSortKey> keys(static_cast<size_t>(n));
            for (int r = 0; r < n; ++r)
                keys[static_cast<size_t>(r)] = info->key(*model_, r);
            std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
                const ListSortKey& x = keys[static_cast<size_t>(a)];
                const ListSortKey& y = keys[static_cast<size_t>(b)];
                return dir > 0 ? x < y : y < x;
            });
        } else if (kind == kCompareInteger || kind == kCompareFloat) {
            // The numbers are read once per row, not once per comparison.
            std::vector<double> keys(static_cast<size_t>(n));
            for (int r = 0; r < n; ++r) {
                const std::string& t = model_->Text(r, column);
                keys[static_cast<size_t>(r)] = kind == kCompareInteger
                                                   ? static_cast<double>(std::atol(t.c_str()))
                                                   : std::atof(t.c_str());
            }
            std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
                const double x = keys[static_cast<size_t>(a)], y = keys[static_cast<size_t>(b)];
                return dir > 0 ? x < y : y < x;
            });
        } else {
            std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
                return dir * CompareCells(model_->Text(a, column), model_->Text(b, column), kind) <
                       0;
            });
        }
        model_->Reorder(order);
    }
    sortColumn_ = column;
    header_->setSortIndicatorShown(true);
    header_->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    sortDirection_ = ascending ? 1 : 0;
}

void CListCtrlExt::StartSort(std::shared_ptr<IListRowSource> copy, int column, bool ascending) {
    const int generation = ++sortGeneration_;
    sortRunning_ = true;
    if (!busyTimer_->isActive())
        busyTimer_->start();
    workers_.Start([this, copy, column, ascending, generation]() {
        std::vector<int> newRowOf; // of the copy's rows: the list takes the copy's order
        const bool sorted = copy->Sort(column, ascending, newRowOf);
        const std::thread::id self = std::this_thread::get_id();
        QMetaObject::invokeMethod(
            this,
            [this, self, generation, sorted, copy]() {
                FinishSort(self, generation, sorted, copy);
            },
            Qt::QueuedConnection);
    });
}

void CListCtrlExt::FinishSort(std::thread::id thread, int generation, bool sorted,
                              const std::shared_ptr<IListRowSource>& copy) {
    workers_.Join(thread);
    if (generation != sortGeneration_)
        return; // a later sort or a refill replaced it
    StopSortWait();
    if (sorted && model_->TakeSourceOrder(*copy))
        return;
    // The rows could not be sorted (they changed meanwhile): the header shows their order again.
    for (size_t i = 0; i < sortInfos_.size() && i < shownSort_.flags.size(); ++i)
        sortInfos_[i].flags = shownSort_.flags[i];
    sortColumn_ = shownSort_.column;
    sortDirection_ = shownSort_.direction;
    header_->setSortIndicatorShown(sortColumn_ >= 0);
    header_->setSortIndicator(sortColumn_,
                              sortDirection_ ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void CListCtrlExt::StopSortWait() {
    sortRunning_ = false;
    busyTimer_->stop();
    viewport()->unsetCursor();
    header_->unsetCursor();
}

void CListCtrlExt::WaitForSort() {
    if (workers_.JoinAll())
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void CListCtrlExt::AutoFitColumn(int column) {
    if (!header_->Info(column))
        return;
    if (!IsColumnVisible(column)) {
        int v = header_->visualIndex(column) - 1;
        while (v >= 0 && !IsColumnVisible(header_->logicalIndex(v)))
            --v;
        if (v < 0)
            return;
        column = header_->logicalIndex(v);
    }
    const int n = ItemCount();
    if (n == 0)
        return;
    const QFontMetrics fm(font());
    int widest = 0;
    auto measure = [&](const QString& shown) {
        widest = std::max(widest, fm.horizontalAdvance(shown) + 12);
    };
    if (n <= autoFitAllRows_) {
        for (int r = 0; r < n; ++r)
            measure(model_->ShownText(r, column));
        header_->resizeSection(column, widest);
        return;
    }
    // The rows in view...
    const int top = std::max(rowAt(0), 0);
    int bottom = rowAt(viewport()->height() - 1);
    if (bottom < 0)
        bottom = std::min(n - 1, top + std::max(1, viewport()->height() / rowHeight(top)));
    for (int r = top; r <= bottom; ++r)
        measure(model_->ShownText(r, column));
    // ...and the longest texts of the column.
    const int generation = ++fitGeneration_;
    if (IListRowSource* source = model_->Source()) {
        std::shared_ptr<IListRowSource> copy;
        if (n > backgroundSortAbove_ && (copy = source->Copy())) {
            // Finding them reads the whole column: on a thread, the width set when they are read.
            workers_.Start([this, copy, column, generation, widest]() {
                auto longest = std::make_shared<std::vector<CListRowRecord>>();
                if (!copy->ReadLongestRows(column, kAutoFitLongestRows, *longest))
                    longest->clear();
                const std::thread::id self = std::this_thread::get_id();
                QMetaObject::invokeMethod(
                    this,
                    [this, self, generation, column, widest, longest]() {
                        workers_.Join(self);
                        if (generation == fitGeneration_)
                            FitColumn(column, widest, *longest);
                    },
                    Qt::QueuedConnection);
            });
            return;
        }
        std::vector<CListRowRecord> longest;
        if (!source->ReadLongestRows(column, kAutoFitLongestRows, longest))
            longest.clear();
        FitColumn(column, widest, longest);
        return;
    }
    std::vector<std::pair<size_t, int>> lengths(static_cast<size_t>(n));
    for (int r = 0; r < n; ++r)
        lengths[static_cast<size_t>(r)] = {model_->Text(r, column).size(), r};
    const size_t keep = std::min(lengths.size(), static_cast<size_t>(kAutoFitLongestRows));
    std::nth_element(lengths.begin(), lengths.begin() + static_cast<std::ptrdiff_t>(keep) - 1,
                     lengths.end(), std::greater<>());
    for (size_t i = 0; i < keep; ++i)
        measure(model_->ShownText(lengths[i].second, column));
    header_->resizeSection(column, widest);
}

void CListCtrlExt::FitColumn(int column, int widest, const std::vector<CListRowRecord>& rows) {
    const QFontMetrics fm(font());
    for (const CListRowRecord& r : rows)
        if (static_cast<size_t>(column) < r.cells.size())
            widest = std::max(widest, fm.horizontalAdvance(model_->ShownText(
                                          r.cells[static_cast<size_t>(column)], column)) +
                                          12);
    header_->resizeSection(column, widest);
}

void CListCtrlExt::SetEmptyText(const QString& text) {
    if (!emptyLabel_) {
        emptyLabel_ = new QLabel(viewport());
        emptyLabel_->setAlignment(Qt::AlignCenter);
        emptyLabel_->setWordWrap(true);
        QFont f = font();
        f.setPixelSize(std::max(f.pixelSize(), 15) + 3);
        emptyLabel_->setFont(f);
        emptyLabel_->setStyleSheet(QStringLiteral("color: #5a5a5a;"));
        auto place = [this]() { PlaceEmptyText(); };
        connect(model_, &QAbstractItemModel::rowsInserted, this, place);
        connect(model_, &QAbstractItemModel::rowsRemoved, this, place);
        connect(model_, &QAbstractItemModel::modelReset, this, place);
    }
    emptyLabel_->setText(text);
    emptyLabel_->setAccessibleName(text);
    PlaceEmptyText();
}

QString CListCtrlExt::EmptyText() const {
    return emptyLabel_ ? emptyLabel_->text() : QString();
}

bool CListCtrlExt::EmptyTextShown() const {
    return emptyLabel_ && !emptyLabel_->isHidden();
}

void CListCtrlExt::PlaceEmptyText() {
    if (!emptyLabel_)
        return;
    emptyLabel_->setGeometry(viewport()->rect().adjusted(20, 20, -20, -20));
    emptyLabel_->setVisible(ItemCount() == 0 && !emptyLabel_->text().isEmpty());
}

void CListCtrlExt::resizeEvent(QResizeEvent* e) {
    QTableView::resizeEvent(e);
    PlaceEmptyText();
}

QString CListCtrlExt::CellToolTip(int row, int column) const {
    if (row < 0 || row >= ItemCount() || !IsColumnVisible(column))
        return {};
    const QString text = model_->ShownText(row, column);
    // The delegate's margins take about 8 pixels of the cell.
    const int room = header_->sectionSize(column) - 8;
    return QFontMetrics(font()).horizontalAdvance(text) > room ? text : QString();
}

bool CListCtrlExt::viewportEvent(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(e);
        const QModelIndex i = indexAt(help->pos());
        const QString tip = i.isValid() ? CellToolTip(i.row(), i.column()) : QString();
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, viewport(), visualRect(i));
        return true;
    }
    return QTableView::viewportEvent(e);
}

void CListCtrlExt::SetFocusColumn(int column) {
    focusColumn_ = column;
    viewport()->update();
}

void CListCtrlExt::TypeAhead(QChar ch, bool ctrl) {
    if (focusColumn_ <= 0)
        return;
    if (ctrl) {
        typed_.clear();
        return;
    }
    const qint64 now = nowMs_();
    const int selected = SelectedRow();
    if (now - lastKeyMs_ >= 2000 || focusColumn_ != lastKeyColumn_ || selected != foundRow_)
        typed_.clear();
    lastKeyMs_ = now;
    lastKeyColumn_ = focusColumn_;
    const char c = ch.toLatin1();
    // A repeated single letter steps through the rows that start with it.
    if (!(typed_.size() == 1 && std::tolower(static_cast<unsigned char>(typed_[0])) ==
                                    std::tolower(static_cast<unsigned char>(c))))
        typed_ += c;
    const int n = ItemCount();
    auto matches = [&](int r) {
        const std::string& t = model_->Text(r, focusColumn_);
        return t.size() >= typed_.size() &&
               strncasecmp(t.c_str(), typed_.c_str(), typed_.size()) == 0;
    };
    int hit = -1;
    for (int r = selected + 1; r < n && hit < 0; ++r)
        if (matches(r))
            hit = r;
    for (int r = 0; r < selected && hit < 0; ++r)
        if (matches(r))
            hit = r;
    if (hit >= 0) {
        SelectRow(hit);
        foundRow_ = hit;
    }
}

void CListCtrlExt::keyPressEvent(QKeyEvent* e) {
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    if (ctrl && e->key() == Qt::Key_A) {
        if (selectionMode() != QAbstractItemView::SingleSelection)
            selectAll();
        return;
    }
    if (cellNavigation_ && (e->key() == Qt::Key_Left || e->key() == Qt::Key_Right)) {
        int target = -1;
        if (e->key() == Qt::Key_Right) {
            if (focusColumn_ < 0)
                target = header_->logicalIndex(0);
            else if (header_->visualIndex(focusColumn_) + 1 < header_->count())
                target = header_->logicalIndex(header_->visualIndex(focusColumn_) + 1);
        } else if (focusColumn_ >= 0 && header_->visualIndex(focusColumn_) > 0) {
            target = header_->logicalIndex(header_->visualIndex(focusColumn_) - 1);
        }
        if (target >= 0 && IsColumnVisible(target)) {
            SetFocusColumn(target);
            const int row = std::max(currentIndex().row(), 0);
            if (ItemCount() > 0)
                scrollTo(model_->index(row, target));
        }
        return;
    }
    if (cellNavigation_ &&
        (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape)) {
        SelectRow(currentIndex().row());
        return;
    }
    if (e->key() == Qt::Key_Menu ||
        (e->key() == Qt::Key_F10 && e->modifiers() == Qt::ShiftModifier)) {
        // The row menu from the keyboard, for the selected row.
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(), QPoint(), e->modifiers());
        contextMenuEvent(&menu);
        return;
    }
    if (e->key() == Qt::Key_Delete && e->modifiers() == Qt::NoModifier) {
        const int row = SelectedRow();
        if (row >= 0)
            emit RowDeleteKey(row);
        return;
    }
    const QString text = e->text();
    if (cellNavigation_ && !text.isEmpty() && text.at(0).isPrint()) {
        TypeAhead(text.at(0), ctrl);
        return;
    }
    QTableView::keyPressEvent(e);
}

void CListCtrlExt::mouseDoubleClickEvent(QMouseEvent* e) {
    QTableView::mouseDoubleClickEvent(e);
    if (e->button() != Qt::LeftButton)
        return;
    const QModelIndex hit = indexAt(e->position().toPoint());
    if (hit.isValid())
        emit RowDoubleClicked(hit.row(), hit.column());
}

void CListCtrlExt::contextMenuEvent(QContextMenuEvent* e) {
    int row = -1, column = -1;
    QPoint at = e->globalPos();
    if (e->reason() == QContextMenuEvent::Mouse) {
        const QModelIndex hit = indexAt(e->pos()); // mouse requests come in viewport coordinates
        row = hit.row();
        column = hit.column();
    } else if ((row = SelectedRow()) >= 0) {
        column = std::max(focusColumn_, 0);
        const QRect cell = visualRect(model_->index(row, column));
        at = viewport()->mapToGlobal(cell.center());
    }
    if (row >= 0) // a right-click picks the row under the cursor, as a left click would
        SelectRow(row);
    emit RowContextMenu(row, column, at);
    e->accept();
}

void CListCtrlExt::mousePressEvent(QMouseEvent* e) {
    if (cellNavigation_) {
        const int column = columnAt(e->position().toPoint().x());
        if (column >= 0)
            SetFocusColumn(column);
    }
    QTableView::mousePressEvent(e);
}
