#include "views/list/ListModel.h"

#include <algorithm>
#include <iterator>

int CListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    return source_ ? sourceRows_ : static_cast<int>(rows_.size());
}

int CListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant CListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const size_t c = static_cast<size_t>(index.column());
    if (index.row() >= rowCount() || c >= columns_.size())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return ShownText(index.row(), index.column());
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(columns_[c].align | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant CListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 ||
        static_cast<size_t>(section) >= columns_.size())
        return {};
    if (role == Qt::DisplayRole)
        return columns_[static_cast<size_t>(section)].title;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    return {};
}

void CListModel::InsertColumn(int index, const QString& title, Qt::Alignment align) {
    index = std::clamp(index, 0, static_cast<int>(columns_.size()));
    beginInsertColumns(QModelIndex(), index, index);
    columns_.insert(columns_.begin() + index, Column{title, align, false});
    DropPages();
    for (CListRowRecord& r : rows_)
        if (static_cast<size_t>(index) <= r.cells.size())
            r.cells.insert(r.cells.begin() + index, std::string());
    endInsertColumns();
}

void CListModel::SetColumnShownTrimmed(int index, bool trimmed) {
    if (index < 0 || static_cast<size_t>(index) >= columns_.size())
        return;
    columns_[static_cast<size_t>(index)].trimmed = trimmed;
    if (rowCount() > 0)
        Q_EMIT dataChanged(this->index(0, index), this->index(rowCount() - 1, index));
}

QString CListModel::ShownText(int row, int column) const {
    return ShownText(Text(row, column), column);
}

QString CListModel::ShownText(const std::string& t, int column) const {
    qsizetype n = static_cast<qsizetype>(t.size());
    if (column >= 0 && static_cast<size_t>(column) < columns_.size() &&
        columns_[static_cast<size_t>(column)].trimmed)
        while (n > 0 && t[static_cast<size_t>(n) - 1] == ' ')
            --n;
    return QString::fromLocal8Bit(t.data(), n);
}

void CListModel::SetColumnTitle(int index, const QString& title) {
    if (index < 0 || static_cast<size_t>(index) >= columns_.size())
        return;
    columns_[static_cast<size_t>(index)].title = title;
    Q_EMIT headerDataChanged(Qt::Horizontal, index, index);
}

void CListModel::RemoveColumn(int index) {
    if (index < 0 || static_cast<size_t>(index) >= columns_.size())
        return;
    beginRemoveColumns(QModelIndex(), index, index);
    columns_.erase(columns_.begin() + index);
    DropPages();
    for (CListRowRecord& r : rows_)
        if (static_cast<size_t>(index) < r.cells.size())
            r.cells.erase(r.cells.begin() + index);
    endRemoveColumns();
}

QString CListModel::ColumnTitle(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= columns_.size())
        return {};
    return columns_[static_cast<size_t>(index)].title;
}

int CListModel::InsertRow(int index, const std::string& firstText) {
    if (source_)
        SetSource(nullptr);
    index = std::clamp(index, 0, static_cast<int>(rows_.size()));
    beginInsertRows(QModelIndex(), index, index);
    CListRowRecord r;
    r.cells.resize(columns_.size());
    if (!r.cells.empty())
        r.cells[0] = firstText;
    rows_.insert(rows_.begin() + index, std::move(r));
    endInsertRows();
    return index;
}

void CListModel::AppendRows(std::vector<CListRowRecord>&& rows) {
    if (rows.empty())
        return;
    if (source_)
        SetSource(nullptr);
    const int first = static_cast<int>(rows_.size());
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(rows.size()) - 1);
    if (rows_.empty()) {
        rows_ = std::move(rows);
    } else {
        rows_.reserve(rows_.size() + rows.size());
        std::move(rows.begin(), rows.end(), std::back_inserter(rows_));
    }
    endInsertRows();
}

void CListModel::Clear() {
    if (rows_.empty() && !source_)
        return;
    beginResetModel();
    rows_.clear();
    rows_.shrink_to_fit();
    source_.reset();
    sourceRows_ = 0;
    DropPages();
    endResetModel();
}

void CListModel::SetSource(std::shared_ptr<IListRowSource> source) {
    beginResetModel();
    rows_.clear();
    rows_.shrink_to_fit();
    source_ = std::move(source);
    sourceRows_ = source_ ? std::max(source_->RowCount(), 0) : 0;
    DropPages();
    endResetModel();
}

void CListModel::DropPages() {
    pages_.clear();
}

CListRowRecord* CListModel::SourceRow(int row) const {
    if (!source_ || row < 0 || row >= sourceRows_)
        return nullptr;
    const int page = row / kPageRows;
    const size_t at = static_cast<size_t>(row - page * kPageRows);
    auto found = std::find_if(pages_.begin(), pages_.end(),
                              [page](const Page& p) { return p.index == page; });
    if (found == pages_.end()) {
        if (pages_.size() >= kPagesKept)
            found = std::min_element(pages_.begin(), pages_.end(),
                                     [](const Page& a, const Page& b) { return a.used < b.used; });
        else
            found = pages_.insert(pages_.end(), Page());
        found->index = page;
        const int first = page * kPageRows;
        const int count = std::min(kPageRows, sourceRows_ - first);
        if (!source_->ReadPage(first, count, found->rows))
            found->rows.clear();
        // Rows gone since the keys were read show empty until the list is read again.
        found->rows.resize(static_cast<size_t>(count));
    }
    found->used = ++pageClock_;
    return at < found->rows.size() ? &found->rows[at] : nullptr;
}

const CListRowRecord& CListModel::Row(int row) const {
    static const CListRowRecord none;
    if (source_) {
        const CListRowRecord* r = SourceRow(row);
        return r ? *r : none;
    }
    return row >= 0 && static_cast<size_t>(row) < rows_.size() ? rows_[static_cast<size_t>(row)]
                                                               : none;
}

CListRowRecord& CListModel::Row(int row) {
    return const_cast<CListRowRecord&>(static_cast<const CListModel*>(this)->Row(row));
}

void CListModel::SourceRowsChanged() {
    DropPages();
    if (rowCount() > 0 && columnCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

bool CListModel::SortSource(int column, bool ascending) {
    if (!source_)
        return false;
    std::vector<int> newRowOf;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const bool sorted = source_->Sort(column, ascending, newRowOf) &&
                        newRowOf.size() == static_cast<size_t>(sourceRows_);
    if (sorted) {
        DropPages();
        MovePersistentRows(newRowOf);
    }
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    return sorted;
}

bool CListModel::TakeSourceOrder(const IListRowSource& sorted) {
    if (!source_)
        return false;
    std::vector<int> newRowOf;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const bool taken =
        source_->TakeOrder(sorted, newRowOf) && newRowOf.size() == static_cast<size_t>(sourceRows_);
    if (taken) {
        DropPages();
        MovePersistentRows(newRowOf);
    }
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    return taken;
}

void CListModel::SetText(int row, int column, const std::string& text) {
    if (row < 0 || row >= rowCount() || column < 0 ||
        static_cast<size_t>(column) >= columns_.size())
        return;
    // With a source the text stays only while its page is kept.
    std::vector<std::string>& cells = Row(row).cells;
    if (cells.size() < columns_.size())
        cells.resize(columns_.size());
    cells[static_cast<size_t>(column)] = text;
    const QModelIndex i = index(row, column);
    Q_EMIT dataChanged(i, i, {Qt::DisplayRole});
}

const std::string& CListModel::Text(int row, int column) const {
    static const std::string empty;
    if (row < 0 || row >= rowCount() || column < 0)
        return empty;
    const std::vector<std::string>& cells = Row(row).cells;
    return static_cast<size_t>(column) < cells.size() ? cells[static_cast<size_t>(column)] : empty;
}

// Selections and the current cell follow their rows to the new places.
void CListModel::MovePersistentRows(const std::vector<int>& newRowOf) {
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& i : from)
        to.push_back(index(newRowOf[static_cast<size_t>(i.row())], i.column()));
    changePersistentIndexList(from, to);
}

void CListModel::Reorder(const std::vector<int>& order) {
    if (order.size() != rows_.size())
        return;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(order.size());
    for (size_t i = 0; i < order.size(); ++i)
        newRowOf[static_cast<size_t>(order[i])] = static_cast<int>(i);
    std::vector<CListRowRecord> sorted;
    sorted.reserve(rows_.size());
    for (int old : order)
        sorted.push_back(std::move(rows_[static_cast<size_t>(old)]));
    rows_ = std::move(sorted);
    MovePersistentRows(newRowOf);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
