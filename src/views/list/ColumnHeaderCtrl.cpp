#include "views/list/ColumnHeaderCtrl.h"

#include "controls/PngButton.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionHeader>
#include <QTimer>
#include <algorithm>
#include <memory>

CColumnHeaderCtrl::CColumnHeaderCtrl(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsMovable(true);
    setSectionsClickable(true);
    setHighlightSections(false);
    setSortIndicatorShown(false);
    setAccessibleName(QStringLiteral("Column headers"));
    setFocusPolicy(Qt::TabFocus); // a click on a header leaves the focus in the list
    RunMenu = [](QMenu& menu, const QPoint& at) { return menu.exec(at); };
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

void CColumnHeaderCtrl::OpenColumnMenu(const QPoint& at) {
    std::unique_ptr<QMenu> menu(BuildColumnMenu(this));
    if (!menu)
        return;
    QAction* chosen = RunMenu(*menu, at);
    const int id = chosen ? chosen->data().toInt() : 0;
    menu.reset();
    if (id > 0)
        Q_EMIT ColumnChosen(id - 1);
}

void CColumnHeaderCtrl::contextMenuEvent(QContextMenuEvent* e) {
    QPoint at = e->globalPos();
    if (e->reason() != QContextMenuEvent::Mouse) {
        const int section = keySection_ >= 0 ? keySection_ : logicalIndex(0);
        at = viewport()->mapToGlobal(QPoint(sectionViewportPosition(section), height()));
    }
    OpenColumnMenu(at);
    e->accept();
}

void CColumnHeaderCtrl::SetKeySection(int logical) {
    keySection_ = logical;
    viewport()->update();
}

void CColumnHeaderCtrl::focusInEvent(QFocusEvent* e) {
    if (keySection_ < 0 || isSectionHidden(keySection_) ||
        (Info(keySection_) && !Info(keySection_)->visible))
        keySection_ = count() > 0 ? logicalIndex(0) : -1;
    viewport()->update();
    QHeaderView::focusInEvent(e);
}

void CColumnHeaderCtrl::focusOutEvent(QFocusEvent* e) {
    viewport()->update();
    QHeaderView::focusOutEvent(e);
}

void CColumnHeaderCtrl::keyPressEvent(QKeyEvent* e) {
    const int key = e->key();
    const bool shiftF10 = key == Qt::Key_F10 && e->modifiers() == Qt::ShiftModifier;
    if (key == Qt::Key_Menu || shiftF10) {
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(), QPoint());
        contextMenuEvent(&menu);
        return;
    }
    if (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Home || key == Qt::Key_End) {
        // The shown columns in display order.
        std::vector<int> shown;
        for (int v = 0; v < count(); ++v) {
            const int c = logicalIndex(v);
            const ColumnInfo* i = Info(c);
            if (!isSectionHidden(c) && (!i || i->visible))
                shown.push_back(c);
        }
        if (shown.empty())
            return;
        auto at = std::find(shown.begin(), shown.end(), keySection_);
        size_t p = at == shown.end() ? 0 : static_cast<size_t>(at - shown.begin());
        if (key == Qt::Key_Left && p > 0)
            --p;
        else if (key == Qt::Key_Right && p + 1 < shown.size())
            ++p;
        else if (key == Qt::Key_Home)
            p = 0;
        else if (key == Qt::Key_End)
            p = shown.size() - 1;
        SetKeySection(shown[p]);
        return;
    }
    if ((key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) &&
        keySection_ >= 0) {
        Q_EMIT sectionClicked(keySection_);
        return;
    }
    QHeaderView::keyPressEvent(e);
}

void CColumnHeaderCtrl::initStyleOptionForIndex(QStyleOptionHeader* option,
                                                int logicalIndex) const {
    QHeaderView::initStyleOptionForIndex(option, logicalIndex);
    option->sortIndicator = QStyleOptionHeader::None; // ours is drawn by paintSection
}

void CColumnHeaderCtrl::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    QHeaderView::paintSection(painter, rect, logicalIndex);
    if (hasFocus() && logicalIndex == keySection_) {
        painter->save();
        painter->setClipRect(rect);
        DrawFocusFrame(*painter, rect);
        painter->restore();
    }
    if (!isSortIndicatorShown() || sortIndicatorSection() != logicalIndex || rect.width() < 16)
        return;
    const bool up = sortIndicatorOrder() == Qt::AscendingOrder;
    const int w = 9, h = 5;
    const int x = rect.right() - w - 5;
    const int y = rect.center().y() - h / 2;
    QPainterPath arrow;
    if (up) {
        arrow.moveTo(x, y + h);
        arrow.lineTo(x + w, y + h);
        arrow.lineTo(x + w / 2.0, y);
    } else {
        arrow.moveTo(x, y);
        arrow.lineTo(x + w, y);
        arrow.lineTo(x + w / 2.0, y + h);
    }
    arrow.closeSubpath();
    painter->save();
    painter->setClipRect(rect); // the section's painting leaves an empty clip behind
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(palette().color(QPalette::WindowText));
    painter->drawPath(arrow);
    painter->restore();
}
