#pragma once
// The rows of the extended list: one record per row holding its cell texts and the owner's item
// data. The view asks only for the rows it paints, and each answer is one look-up, so a list of
// 100,000 rows scrolls as quickly as one of ten.

#include <QAbstractTableModel>
#include <QString>
#include <string>
#include <vector>

struct CListRowRecord {
    std::vector<std::string> cells; // 8-bit texts, as the program keeps them
    qintptr itemData = 0;           // the owner's binding; it moves with the row when sorted
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
    // The text a cell shows.
    QString ShownText(int row, int column) const;

    int InsertRow(int index, const std::string& firstText);
    void AppendRows(std::vector<CListRowRecord>&& rows);
    void Clear();
    void SetText(int row, int column, const std::string& text);
    const std::string& Text(int row, int column) const;
    const CListRowRecord& Row(int row) const { return rows_[static_cast<size_t>(row)]; }
    CListRowRecord& Row(int row) { return rows_[static_cast<size_t>(row)]; }

    // Puts the rows in the order given (order[i] is the old index of the row that becomes row i)
    // and tells the views, which keep their current and selected rows.
    void Reorder(const std::vector<int>& order);

private:
    struct Column {
        QString title;
        Qt::Alignment align;
        bool trimmed = false;
    };
    std::vector<Column> columns_;
    std::vector<CListRowRecord> rows_;
};
