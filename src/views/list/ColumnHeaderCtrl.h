#pragma once
// The header of the extended list. It keeps, for each column, the width the column was given,
// whether the user may hide it and whether it is shown; hidden columns have width 0 and always
// stand at the end of the display order, so a dragged column can never land among them.

#include <QHeaderView>
#include <functional>
#include <vector>

class QAction;
class QMenu;

struct ColumnInfo {
    int width = 0; // the width given when the column was inserted or set
    int hideable = 1;
    int visible = 1;
};

class CColumnHeaderCtrl : public QHeaderView {
    Q_OBJECT
public:
    explicit CColumnHeaderCtrl(QWidget* parent = nullptr);

    void InsertInfo(int column, int width);
    void SetInfo(int column, int width);
    void RemoveInfo(int column);
    ColumnInfo* Info(int column);
    const ColumnInfo* Info(int column) const;
    int InfoCount() const { return static_cast<int>(infos_.size()); }

    // Display order: for each display position the column index.
    std::vector<int> Order() const;
    // The order rule: visible columns first in the requested relative order, hidden columns
    // filling the positions from the end backwards.
    static std::vector<int> OrderWithHiddenLast(const std::vector<int>& requested,
                                                const std::vector<ColumnInfo>& infos);
    void ApplyOrder(const std::vector<int>& requested);
    void ApplyOrderRule() { ApplyOrder(Order()); }
    int VisibleCount() const;

    // The column chooser: one item per column, id = column + 1; null when every column may be
    // hidden (the chooser is offered only when one column may not).
    QMenu* BuildColumnMenu(QWidget* parent);
    // Opens the chooser at `at` (global) and toggles the chosen column.
    void OpenColumnMenu(const QPoint& at);
    // How the chooser runs; tests pick from it instead.
    std::function<QAction*(QMenu&, const QPoint&)> RunMenu;

    // The keyboard: Tab reaches the header, Left and Right pick a column, Space or Enter sorts
    // by it (as a click), the menu key or Shift+F10 opens the chooser.
    int KeySection() const { return keySection_; }
    void SetKeySection(int logical);

Q_SIGNALS:
    // The user chose a column in the chooser.
    void ColumnChosen(int column);

protected:
    void contextMenuEvent(QContextMenuEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    // The sort arrow is drawn here, the same on every platform: up for ascending, down for
    // descending (the styles disagree on which way Qt's own arrow points).
    void initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const override;
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    std::vector<ColumnInfo> infos_;
    bool applying_ = false;
    int keySection_ = -1;
    friend class CListCtrlExt;
};
