#pragma once
// The header of the extended list. It keeps, for each column, the width the column was given,
// whether the user may hide it and whether it is shown; hidden columns have width 0 and always
// stand at the end of the display order, so a dragged column can never land among them.

#include <QHeaderView>
#include <vector>

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

Q_SIGNALS:
    // The user chose a column in the chooser.
    void ColumnChosen(int column);

protected:
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    std::vector<ColumnInfo> infos_;
    bool applying_ = false;
    friend class CListCtrlExt;
};
