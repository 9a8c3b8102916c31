#pragma once
// The report-style list of both result lists, on a table view and a model of our own: per-row
// records bound to their rows through every re-sort, sorting by a header click with the header's
// arrow, a column chooser on the header, auto-fit on a divider double-click, a focus cell moved
// with Left and Right, type-ahead, and the column layout kept in the per-user settings under the
// list's control identifier.

#include "views/list/ColumnHeaderCtrl.h"
#include "views/list/ListModel.h"
#include "views/list/ListSort.h"
#include "views/list/PostingThreads.h"
#include "views/list/ResultColumns.h"

#include <QTableView>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class QLabel;
class QSettings;
class QTimer;

// Where the layouts are kept: the per-user settings of the program.
inline constexpr const char* kLayoutOrganisation = "Local AppWizard-Generated Applications";
inline constexpr const char* kLayoutApplication = "Trevanix";

class CListCtrlExt : public QTableView {
    Q_OBJECT
public:
    explicit CListCtrlExt(int controlId, QWidget* parent = nullptr);
    ~CListCtrlExt() override;

    int ControlId() const { return controlId_; }
    CListModel* Model() const { return model_; }
    CColumnHeaderCtrl* Header() const { return header_; }

    // Columns: the title, alignment and width; each gets a {width, hideable, visible} record.
    int InsertColumn(int index, const QString& title, Qt::Alignment align, int width);
    void SetColumn(int index, const QString& title, int width);
    void DeleteColumn(int index);
    int ColumnCount() const { return header_->InfoCount(); }
    // Ignored for flags without any of the three sort bits.
    void SetColumnSort(int column, int flags, int kind);
    // The column sorts by the given key (toggle sort: first click ascending).
    void SetColumnSortKey(int column, ListSortKeyFn key);
    void SetColumnHideable(int column, bool hideable);
    bool IsColumnVisible(int column) const;
    void ShowColumn(int column, bool visible);

    // Rows.
    int InsertItem(int row, const std::string& text);
    void SetItemText(int row, int column, const std::string& text);
    const std::string& ItemText(int row, int column) const { return model_->Text(row, column); }
    void SetItemData(int row, qintptr data);
    qintptr ItemData(int row) const;
    int ItemCount() const { return model_->rowCount(); }
    void DeleteAllItems();
    // Many rows at once, below the present ones.
    void AppendItems(std::vector<CListRowRecord>&& rows);
    // Rows read on demand from a source, in its order (the rows held are dropped); sorting
    // then asks the source. Clears the sort as AppendItems does.
    void SetRowSource(std::shared_ptr<IListRowSource> source);
    // Selects and focuses only this row and scrolls it into view.
    void SelectRow(int row);
    int SelectedRow() const;

    // Sorts the rows by the column; with toggle the direction flips (first click ascending).
    void SortByColumn(int column, bool toggle);
    // The rows are in the order they were given again: no arrow, and the next click on any
    // column sorts ascending. DeleteAllItems and AppendItems do this.
    void ClearSort();
    int SortColumn() const { return sortColumn_; }
    int SortDirection() const { return sortDirection_; }
    // A sort of more rows read on demand than this runs on a thread of its own: the header's
    // arrow shows the new column at once, the rows take their new order when it has been read
    // (a busy cursor over the list when that takes longer than a second), and the current and
    // selected rows follow their rows then. A new sort, a refill or ClearSort drops a sort
    // still running. By default every sort runs at once.
    void SetBackgroundSortAbove(int rows) { backgroundSortAbove_ = rows; }
    // True while a sort runs on its thread.
    bool SortRunning() const { return sortRunning_; }
    // Waits for the sorts and auto-fits on threads and shows the last of each.
    void WaitForSort();

    // The layout: six entries in the group named after the control identifier. Without a
    // settings object, the program's per-user settings.
    void SaveColumnLayout(QSettings* settings = nullptr) const;
    void LoadColumnLayout(QSettings* settings = nullptr);

    // The widest cell text of the column plus 12 pixels; for a hidden column the nearest
    // visible one before it in display order. Up to SetAutoFitAllRowsUpTo rows every row is
    // measured; in a longer list the rows in view and the rows with the longest texts of the
    // column (asked of the source, or found among the rows held) are. Above the background
    // sort's row count the source is asked on a thread and the width is set when it answers (a
    // refill or another auto-fit drops it).
    void AutoFitColumn(int column);
    void SetAutoFitAllRowsUpTo(int rows) { autoFitAllRows_ = rows; }
    // Rows with the longest texts measured in a long list.
    static constexpr int kAutoFitLongestRows = 256;

    // A text shown in the middle of the list while it has no rows (empty: none).
    void SetEmptyText(const QString& text);
    QString EmptyText() const;
    bool EmptyTextShown() const;

    // The whole text of a cell too narrow to show it (the list's tooltip), else empty.
    QString CellToolTip(int row, int column) const;

    // Cell navigation and type-ahead.
    void SetCellNavigation(bool on) { cellNavigation_ = on; }
    int FocusColumn() const { return focusColumn_; }
    void SetFocusColumn(int column);
    // The clock of the type-ahead reset, in milliseconds; tests give their own.
    void SetClock(std::function<qint64()> nowMs) { nowMs_ = std::move(nowMs); }
    // One typed character, as a key press delivers it.
    void TypeAhead(QChar c, bool ctrl = false);

    // The column chooser's choice: toggles that column.
    void ChooseColumn(int column);

Q_SIGNALS:
    // A header click, after the list sorted itself.
    void ColumnClicked(int column);
    // A double-click on a cell (row and column from 0; only for a hit on a row).
    void RowDoubleClicked(int row, int column);
    // A context-menu request: by the mouse, for the row and column under the cursor (-1 off the
    // rows); from the keyboard (menu key, Shift+F10), for the selected row.
    void RowContextMenu(int row, int column, const QPoint& globalPos);
    // The Delete key on the selected row.
    void RowDeleteKey(int row);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    bool viewportEvent(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    ColumnSortInfo* SortInfo(int column);
    // The sort of a copy of the source on a thread; its order is taken in FinishSort.
    void StartSort(std::shared_ptr<IListRowSource> copy, int column, bool ascending);
    void FinishSort(std::thread::id thread, int generation, bool sorted,
                    const std::shared_ptr<IListRowSource>& copy);
    void StopSortWait();
    // Joins the thread that posted its result.
    // The column as wide as `widest` or the widest text of the rows, plus the margins.
    void FitColumn(int column, int widest, const std::vector<CListRowRecord>& rows);
    static QSettings* OpenSettings();

    int controlId_;
    CListModel* model_;
    CColumnHeaderCtrl* header_;
    std::vector<ColumnSortInfo> sortInfos_;
    int sortColumn_ = -1;
    int sortDirection_ = 0;
    int backgroundSortAbove_ = std::numeric_limits<int>::max();
    int autoFitAllRows_ = 2000;
    // The sorts and auto-fits on threads: each joined when its result comes back (or at the
    // end); only the one of the current generation is shown.
    CPostingThreads workers_;
    int sortGeneration_ = 0;
    int fitGeneration_ = 0;
    bool sortRunning_ = false;
    // What the header showed for the rows' order before the sorts running: back to it when
    // the last one cannot be shown.
    struct ShownSort {
        int column = -1, direction = 0;
        std::vector<int> flags;
    };
    ShownSort shownSort_;
    QTimer* busyTimer_ = nullptr;
    bool cellNavigation_ = false;
    int focusColumn_ = -1;
    std::string typed_;
    qint64 lastKeyMs_ = 0;
    int lastKeyColumn_ = -1;
    int foundRow_ = -1;
    std::function<qint64()> nowMs_;
    QLabel* emptyLabel_ = nullptr;
    void PlaceEmptyText();
};
