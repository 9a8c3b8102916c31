#include "views/list/ListModel.h"

#include <algorithm>
#include <iterator>

int CListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int CListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant CListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const size_t r = static_cast<size_t>(index.row());
    const size_t c = static_cast<size_t>(index.column());
    if (r >= rows_.size() || c >= columns_.size())
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
    for (CListRowRecord& r : rows_)
        if (static_cast<size_t>(index) <= r.cells.size())
            r.cells.insert(r.cells.begin() + index, std::string());
    endInsertColumns();
}

void CListModel::SetColumnShownTrimmed(int index, bool trimmed) {
    if (index < 0 || static_cast<size_t>(index) >= columns_.size())
        return;
    columns_[static_cast<size_t>(index)].trimmed = trimmed;
    if (!rows_.empty())
        Q_EMIT dataChanged(this->index(0, index), this->index(rowCount() - 1, index));
}

QString CListModel::ShownText(int row, int column) const {
    const std::string& t = Text(row, column);
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
    if (rows_.empty())
        return;
    beginResetModel();
    rows_.clear();
    rows_.shrink_to_fit();
    endResetModel();
}

void CListModel::SetText(int row, int column, const std::string& text) {
    if (row < 0 || static_cast<size_t>(row) >= rows_.size() || column < 0 ||
        static_cast<size_t>(column) >= columns_.size())
        return;
    std::vector<std::string>& cells = rows_[static_cast<size_t>(row)].cells;
    if (cells.size() < columns_.size())
        cells.resize(columns_.size());
    cells[static_cast<size_t>(column)] = text;
    const QModelIndex i = index(row, column);
    Q_EMIT dataChanged(i, i, {Qt::DisplayRole});
}

const std::string& CListModel::Text(int row, int column) const {
    static const std::string empty;
    if (row < 0 || static_cast<size_t>(row) >= rows_.size() || column < 0)
        return empty;
    const std::vector<std::string>& cells = rows_[static_cast<size_t>(row)].cells;
    return static_cast<size_t>(column) < cells.size() ? cells[static_cast<size_t>(column)] : empty;
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
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& i : from)
        to.push_back(index(newRowOf[static_cast<size_t>(i.row())], i.column()));
    changePersistentIndexList(from, to);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
