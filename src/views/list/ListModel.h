#pragma once
// The rows of the extended list: either one record per row held in the model (cell texts and the
// owner's item data), or rows read on demand from a source, a page at a time, of which the model
// keeps only a few pages. The view asks only for the rows it paints, so a list of 1,000,000 rows
// opens and scrolls as quickly as one of ten.

#include <QAbstractTableModel>
#include <QString>
#include <memory>
#include <string>
#include <vector>

struct CListRowRecord {
    std::vector<std::string> cells; // 8-bit texts, as the program keeps them
    qintptr itemData = 0;           // the owner's binding; it moves with the row when sorted
};

// Rows the model reads when they are shown. The source keeps what identifies its rows (keys)
// and their order; the model asks for pages of records in the shown order.
class IListRowSource {
public:
    virtual ~IListRowSource() = default;
    virtual int RowCount() const = 0;
    // The records of the shown rows [first, first + count); false when they cannot be read.
    virtual bool ReadPage(int first, int count, std::vector<CListRowRecord>& out) const = 0;
    // Puts the rows in the order of the column and fills newRowOf[old row] = new row. False
    // when the rows could not be sorted (their order is then unchanged).
    virtual bool Sort(int column, bool ascending, std::vector<int>& newRowOf) = 0;
    // False while the rows cannot be sorted at all (Sort would refuse).
    virtual bool CanSort() const { return true; }

    // For work on another thread (a sort, an export): a copy that reads the same rows in the
    // same shown order and shares nothing the list's thread changes; null when there is none.
    virtual std::shared_ptr<IListRowSource> Copy() const { return nullptr; }
    // Takes the shown order of a copy that was sorted meanwhile and fills newRowOf as Sort
    // does. False when the copy's rows are not these rows any more (nothing changes then).
    virtual bool TakeOrder(const IListRowSource& sorted, std::vector<int>& newRowOf) {
        (void)sorted;
        (void)newRowOf;
        return false;
    }
    // Records of at most `count` rows holding the longest texts of the column (the ones a
    // column fitted to its widest cell has to show), in any order. False when the source cannot
    // find them; the caller then measures the rows it can.
    virtual bool ReadLongestRows(int column, int count, std::vector<CListRowRecord>& out) const {
        (void)column;
        (void)count;
        out.clear();
        return false;
    }
};

class CListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void InsertColumn(int index, const QString& title, Qt::Alignment align);
    void SetColumnTitle(int index, const QString& title);
    void RemoveColumn(int index);
    QString ColumnTitle(int index) const;
    // The column shows its texts without trailing blanks (the stored IDs are padded); the texts
    // themselves, which the export writes, stay as they are.
    void SetColumnShownTrimmed(int index, bool trimmed);
    // The text a cell shows, and the text a cell of the column shows for `text`.
    QString ShownText(int row, int column) const;
    QString ShownText(const std::string& text, int column) const;

    // Rows from a source instead of the rows held (which are dropped); null: back to held rows.
    void SetSource(std::shared_ptr<IListRowSource> source);
    IListRowSource* Source() const { return source_.get(); }
    // Sorts the source's rows by the column and tells the views, which keep their current and
    // selected rows. False when the source could not sort.
    bool SortSource(int column, bool ascending);
    // Puts the source's rows in the order of a copy sorted on another thread and tells the
    // views, as SortSource does. False when the copy no longer fits the rows.
    bool TakeSourceOrder(const IListRowSource& sorted);
    // The source's rows were read again, their number unchanged: the pages kept are dropped.
    void SourceRowsChanged();
    // Rows read per page and pages kept.
    static constexpr int kPageRows = 256;
    static constexpr size_t kPagesKept = 8;

    // Held rows. With a source, these first drop it.
    int InsertRow(int index, const std::string& firstText);
    void AppendRows(std::vector<CListRowRecord>&& rows);
    void Clear();
    void SetText(int row, int column, const std::string& text);
    const std::string& Text(int row, int column) const;
    // A row's record. With a source it lives in the page cache: valid until more pages than it
    // keeps have been read.
    const CListRowRecord& Row(int row) const;
    CListRowRecord& Row(int row);

    // Puts the rows in the order given (order[i] is the old index of the row that becomes row i)
    // and tells the views, which keep their current and selected rows.
    void Reorder(const std::vector<int>& order);

private:
    void MovePersistentRows(const std::vector<int>& newRowOf);
    struct Column {
        QString title;
        Qt::Alignment align;
        bool trimmed = false;
    };
    struct Page {
        int index = -1;
        unsigned long long used = 0;
        std::vector<CListRowRecord> rows;
    };
    // The record of a row of the source, reading its page when not kept.
    CListRowRecord* SourceRow(int row) const;
    void DropPages();

    std::vector<Column> columns_;
    std::vector<CListRowRecord> rows_;
    std::shared_ptr<IListRowSource> source_;
    int sourceRows_ = 0;
    mutable std::vector<Page> pages_;
    mutable unsigned long long pageClock_ = 0;
};
