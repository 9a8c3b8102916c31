#include "views/list/ColumnHeaderCtrl.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QTimer>
#include <algorithm>

CColumnHeaderCtrl::CColumnHeaderCtrl(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsMovable(true);
    setSectionsClickable(true);
    setHighlightSections(false);
    setSortIndicatorShown(false);
    setAccessibleName(QStringLiteral("Column headers"));
    // After a drag the order rule runs once the move has settled (posted, not nested in it).
    connect(this, &QHeaderView::sectionMoved, this, [this](int, int, int) {
        if (!applying_)
            QTimer::singleShot(0, this, [this]() { ApplyOrderRule(); });
    });
}

void CColumnHeaderCtrl::InsertInfo(int column, int width) {
    column = std::clamp(column, 0, InfoCount());
    infos_.insert(infos_.begin() + column, ColumnInfo{width, 1, 1});
}

void CColumnHeaderCtrl::SetInfo(int column, int width) {
    if (ColumnInfo* i = Info(column))
        *i = ColumnInfo{width, 1, 1};
}

void CColumnHeaderCtrl::RemoveInfo(int column) {
    if (column >= 0 && column < InfoCount())
        infos_.erase(infos_.begin() + column);
}

ColumnInfo* CColumnHeaderCtrl::Info(int column) {
    return column >= 0 && column < InfoCount() ? &infos_[static_cast<size_t>(column)] : nullptr;
}

const ColumnInfo* CColumnHeaderCtrl::Info(int column) const {
    return column >= 0 && column < InfoCount() ? &infos_[static_cast<size_t>(column)] : nullptr;
}

std::vector<int> CColumnHeaderCtrl::Order() const {
    std::vector<int> order(static_cast<size_t>(count()));
    for (int v = 0; v < count(); ++v)
        order[static_cast<size_t>(v)] = logicalIndex(v);
    return order;
}

std::vector<int> CColumnHeaderCtrl::OrderWithHiddenLast(const std::vector<int>& requested,
                                                        const std::vector<ColumnInfo>& infos) {
    std::vector<int> out(requested.size(), -1);
    size_t front = 0;
    size_t back = requested.size();
    for (int c : requested) {
        const bool visible = c < 0 || static_cast<size_t>(c) >= infos.size() ||
                             infos[static_cast<size_t>(c)].visible;
        if (visible)
            out[front++] = c;
        else
            out[--back] = c;
    }
    return out;
}

void CColumnHeaderCtrl::ApplyOrder(const std::vector<int>& requested) {
    const std::vector<int> order = OrderWithHiddenLast(requested, infos_);
    applying_ = true;
    for (int v = 0; v < static_cast<int>(order.size()) && v < count(); ++v) {
        const int from = visualIndex(order[static_cast<size_t>(v)]);
        if (from >= 0 && from != v)
            moveSection(from, v);
    }
    applying_ = false;
    viewport()->update();
    if (parentWidget())
        parentWidget()->update();
}

int CColumnHeaderCtrl::VisibleCount() const {
    return static_cast<int>(
        std::count_if(infos_.begin(), infos_.end(), [](const ColumnInfo& i) { return i.visible; }));
}

QMenu* CColumnHeaderCtrl::BuildColumnMenu(QWidget* parent) {
    const bool anyFixed =
        std::any_of(infos_.begin(), infos_.end(), [](const ColumnInfo& i) { return !i.hideable; });
    if (!anyFixed)
        return nullptr;
    auto* menu = new QMenu(parent);
    menu->setAccessibleName(QStringLiteral("Columns"));
    for (int c = 0; c < InfoCount(); ++c) {
        // Titles are read through a 64-character buffer.
        const QString title =
            model() ? model()->headerData(c, Qt::Horizontal).toString().left(63) : QString();
        QAction* a = menu->addAction(title);
        a->setData(c + 1);
        a->setCheckable(true);
        a->setChecked(infos_[static_cast<size_t>(c)].visible ||
                      !infos_[static_cast<size_t>(c)].hideable);
        a->setEnabled(infos_[static_cast<size_t>(c)].hideable != 0);
    }
    return menu;
}

void CColumnHeaderCtrl::contextMenuEvent(QContextMenuEvent* e) {
    QMenu* menu = BuildColumnMenu(this);
    if (!menu)
        return;
    QAction* chosen = menu->exec(e->globalPos());
    const int id = chosen ? chosen->data().toInt() : 0;
    delete menu;
    if (id > 0)
        Q_EMIT ColumnChosen(id - 1);
}
