#include "views/RecordDialogs.h"

#include "controls/DateTimeCtrl.h"
#include "platform/Prompt.h"
#include "settings/DisplayFormats.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>

namespace {

QString Local(const std::string& s) {
    return QString::fromLocal8Bit(s.c_str());
}
std::string Local(const QString& s) {
    return s.toLocal8Bit().toStdString();
}

const QDate kNoBirthday(1900, 1, 1);

} // namespace

QDate BirthdayFromText(const std::string& dob) {
    return dob.size() < 8 ? QDate() : DateFromKey(dob); // invalid when impossible
}

std::string BirthdayText(const QDate& date) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d", date.year(), date.month(), date.day());
    return text;
}

void CCurrentRecord::Pick(int rowIndex, const ListRowKey& picked) {
    row = rowIndex + 1;
    key = picked;
    birthday = BirthdayFromText(picked.p_DOB);
}

CRecordDlg::CRecordDlg(const QString& caption, const CCurrentRecord& r, const AppSettings& settings,
                       QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(caption);
    setAccessibleName(caption);
    setMinimumWidth(420);
    auto* outer = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    outer->addLayout(form);

    BuildTextFields(*form, r, settings);
    BuildOtherFields(*form, r, settings);

    buttons_ = new QHBoxLayout;
    buttons_->addStretch();
    outer->addSpacing(8);
    outer->addLayout(buttons_);
}

QLineEdit* CRecordDlg::Line(const char* id, const std::string& text) {
    auto* edit = new QLineEdit(Local(text), this);
    edit->setObjectName(QString::fromLatin1(id));
    return edit;
}

void CRecordDlg::AddRow(QFormLayout& form, const char* label, QWidget* field) {
    auto* l = new QLabel(QString::fromLatin1(label), this);
    l->setBuddy(field);
    // The label without its colon names the field for screen readers.
    field->setAccessibleName(QString::fromLatin1(label).remove(QLatin1Char(':')).trimmed());
    form.addRow(l, field);
}

void CRecordDlg::BuildTextFields(QFormLayout& form, const CCurrentRecord& r,
                                 const AppSettings& settings) {
    DateTime = Line("1125", FormatRecordDateTime(r.key.DATE.c_str(), r.key.TIME.c_str(), settings));
    DateTime->setReadOnly(true);
    AddRow(form, "Date / Time:", DateTime);
    Result = Line("1126", FormatResultText(r.key.HbA1c_VALUE.c_str(), settings.unit));
    Result->setReadOnly(true);
    AddRow(form, "Result :", Result);
    for (QLineEdit* fixed : {DateTime, Result}) { // read-only fields look it
        QPalette pal = fixed->palette();
        pal.setColor(QPalette::Base, pal.color(QPalette::Window));
        fixed->setPalette(pal);
    }
    // The stored IDs are padded with blanks; the edits show the ID itself.
    Opid = Line("1127", TrimmedId(r.key.OPID));
    AddRow(form, "OPID :", Opid);
    Pid = Line("1124", TrimmedId(r.key.PID));
    AddRow(form, "PID :", Pid);
    Name = Line("1123", r.key.p_NAME);
    AddRow(form, "Patient Name :", Name);
}

void CRecordDlg::BuildOtherFields(QFormLayout& form, const CCurrentRecord& r,
                                  const AppSettings& settings) {
    Birthday = new CDateTimeCtrl(this);
    Birthday->setObjectName(QStringLiteral("1144"));
    Birthday->SetDateFormat(settings.Date);
    Birthday->SetDate(r.birthday.isValid() ? r.birthday : kNoBirthday);
    AddRow(form, "Birthday :", Birthday);
    Type = new QComboBox(this);
    Type->setObjectName(QStringLiteral("1116"));
    for (const char* t : kTypeNames)
        Type->addItem(QString::fromLatin1(t));
    const int type = r.key.P_DIAGNOSE;
    Type->setCurrentIndex(type >= 0 && type < kTypeCount ? type : -1);
    AddRow(form, "Type :", Type);
    Remark = new QPlainTextEdit(Local(r.key.P_MEMO), this);
    Remark->setObjectName(QStringLiteral("1001"));
    Remark->setTabChangesFocus(true);
    Remark->setFixedHeight(90);
    AddRow(form, "Remark :", Remark);
}

CDataModifyDlg::CDataModifyDlg(CCurrentRecord& record, const AppSettings& settings, IPrompt& prompt,
                               QWidget* parent)
    : CRecordDlg(QStringLiteral("Data Modify"), record, settings, parent), record_(record),
      prompt_(prompt) {
    // The analyzer's IDs are digits; the stored text is shown as it is.
    auto* digits =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    for (QLineEdit* id : {Pid, Opid}) {
        id->setValidator(digits);
        id->setMaxLength(14);
    }
    Change = new QPushButton(QStringLiteral("&Change"), this);
    Change->setObjectName(QStringLiteral("1120"));
    Change->setAccessibleName(QStringLiteral("Change"));
    Change->setDefault(true);
    Cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    Cancel->setObjectName(QStringLiteral("2"));
    Cancel->setAccessibleName(QStringLiteral("Cancel"));
    buttons_->addWidget(Change);
    buttons_->addWidget(Cancel);
    connect(Change, &QPushButton::clicked, this, &CDataModifyDlg::OnChange);
    connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CDataModifyDlg::OnChange() {
    if (!prompt_.AskOkCancel(kChangeQuestion, kMessageTitle))
        return;
    CCurrentRecord& r = record_;
    CCurrentRecord::Edited& e = r.edited;
    e.birthday = Birthday->GetDate();
    e.name = Local(Name->text());
    // An ID the user left as it was keeps its stored form, padding included.
    const std::string opid = Local(Opid->text()), pid = Local(Pid->text());
    e.opid = opid == TrimmedId(r.key.OPID) ? r.key.OPID : opid;
    e.pid = pid == TrimmedId(r.key.PID) ? r.key.PID : pid;
    e.remark = Local(Remark->toPlainText());
    // A stored type outside the list selects no entry; it is kept unless the user picks one.
    e.type = Type->currentIndex() >= 0 ? Type->currentIndex() : r.key.P_DIAGNOSE;
    e.date = r.key.DATE;
    e.time = r.key.TIME;
    e.value = r.key.HbA1c_VALUE;
    e.row = r.row;
    accept();
}

CDataViewDlg::CDataViewDlg(const CCurrentRecord& record, const AppSettings& settings,
                           QWidget* parent)
    : CRecordDlg(QStringLiteral("Data View"), record, settings, parent) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{DateTime, Result, Opid, Pid, Name, Remark, Type, Birthday})
        w->setEnabled(false);
    // Disabled, but as easy to read as the modify dialog.
    QPalette pal = palette();
    for (auto role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        pal.setColor(QPalette::Disabled, role, QColor(0x3c, 0x46, 0x50));
    setPalette(pal);
    Close = new QPushButton(QStringLiteral("&Close"), this);
    Close->setAccessibleName(QStringLiteral("Close"));
    Close->setDefault(true);
    buttons_->addWidget(Close);
    connect(Close, &QPushButton::clicked, this, &QDialog::accept);
}
