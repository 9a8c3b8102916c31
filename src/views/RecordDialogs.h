#pragma once
// One stored result at a time: the result a right-click on the all-data list picked, the dialog
// that corrects it ("Data Modify") and the one that only shows it ("Data View").

#include "query/ResultQuery.h"
#include "settings/Settings.h"

#include <QDate>
#include <QDialog>
#include <string>

class CDateTimeCtrl;
class IPrompt;
class QComboBox;
class QFormLayout;
class QHBoxLayout;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

inline constexpr const char* kModifyMenuText = "Modify Data";
inline constexpr const char* kDetailMenuText = "Detail view of the data";
inline constexpr const char* kDeleteQuestion = "Do you want to delete the selected data?";
inline constexpr const char* kChangeQuestion = "Do you Want data Change?";
inline constexpr const char* kTypeNames[] = {"None", "Type  I", "Type II", "Gestational", "Normal"};
inline constexpr int kTypeCount = 5;

// The picked result, and what the modify dialog returns. The all-data list owns the one it
// picks into and hands it to the dialogs.
struct CCurrentRecord {
    int row = 0;    // list row + 1; 0 while nothing is picked
    ListRowKey key; // the result as stored: its five values find it again
    QDate birthday; // cut from p_DOB; invalid when that is empty or malformed

    struct Edited {
        int row = 0;
        std::string date, time, value; // copies of the picked result's, never edited
        std::string pid, opid, name;
        QDate birthday;
        int type = 0;
        std::string remark;
    } edited;

    // A right-click on list row `rowIndex` (from 0) picks this result.
    void Pick(int rowIndex, const ListRowKey& picked);
};

// "YYYYMMDD" cut by position into year, month and day; invalid for an empty or impossible date.
QDate BirthdayFromText(const std::string& dob);
// The picker's date as stored: "%04d%02d%02d".
std::string BirthdayText(const QDate& date);

// The controls both dialogs show, filled from the picked result.
class CRecordDlg : public QDialog {
    Q_OBJECT
public:
    QLineEdit* DateTime = nullptr;     // 1125, read-only
    QLineEdit* Result = nullptr;       // 1126, read-only
    QLineEdit* Opid = nullptr;         // 1127
    QLineEdit* Pid = nullptr;          // 1124
    QLineEdit* Name = nullptr;         // 1123
    QPlainTextEdit* Remark = nullptr;  // 1001
    QComboBox* Type = nullptr;         // 1116
    CDateTimeCtrl* Birthday = nullptr; // 1144

protected:
    CRecordDlg(const QString& caption, const CCurrentRecord& record, const AppSettings& settings,
               QWidget* parent);
    // The row that holds the dialog's buttons.
    QHBoxLayout* buttons_ = nullptr;

private:
    QLineEdit* Line(const char* id, const std::string& text);
    // A labelled row; the label without its colon is the field's accessible name.
    void AddRow(QFormLayout& form, const char* label, QWidget* field);
    // Date and time, result, the IDs and the name; then birthday, type and remark.
    void BuildTextFields(QFormLayout& form, const CCurrentRecord& r, const AppSettings& settings);
    void BuildOtherFields(QFormLayout& form, const CCurrentRecord& r, const AppSettings& settings);
};

class CDataModifyDlg : public CRecordDlg {
    Q_OBJECT
public:
    CDataModifyDlg(CCurrentRecord& record, const AppSettings& settings, IPrompt& prompt,
                   QWidget* parent = nullptr);
    QPushButton* Change = nullptr; // 1120
    QPushButton* Cancel = nullptr; // 2

    // "&Change": asks; on OK stores the edited values in the record's `edited` and closes with
    // OK.
    void OnChange();

private:
    CCurrentRecord& record_;
    IPrompt& prompt_;
};

class CDataViewDlg : public CRecordDlg {
    Q_OBJECT
public:
    CDataViewDlg(const CCurrentRecord& record, const AppSettings& settings,
                 QWidget* parent = nullptr);
    QPushButton* Close = nullptr;
};
