#include "views/SettingInfoDlg.h"

#include <QPushButton>

#include "controls/PngButton.h"
#include "platform/Prompt.h"
#include "settings/Settings.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QString Local(const std::string& s) {
    return QString::fromLocal8Bit(s.c_str());
}
std::string Local(const QString& s) {
    return s.toLocal8Bit().toStdString();
}

constexpr int kWidth = 560;
constexpr int kHeight = 440;

} // namespace

CSettingInfoDlg::CSettingInfoDlg(AppSettings& settings, const QString& baseFolder,
                                 FrameCommandFn command, IPrompt& prompt, QWidget* parent)
    : QDialog(parent), settings_(settings), baseFolder_(baseFolder), command_(std::move(command)),
      prompt_(prompt), state_(SettingsDialogOpen(settings)) {
    setWindowTitle(QString::fromLatin1(kSettingsCaption));
    setAccessibleName(QString::fromLatin1(kSettingsCaption));
    setFixedSize(kWidth, kHeight);
    background_ = QPixmap(ResourcePath(270, "BITMAP"));

    auto radio = [this](const char* id, const char* text, QButtonGroup* group) {
        auto* r = new QRadioButton(QString::fromLatin1(text), this);
        r->setObjectName(QString::fromLatin1(id));
        group->addButton(r);
        return r;
    };
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(24, 52, 24, 18); // below the title drawn in the background
    auto* top = new QHBoxLayout;
    outer->addLayout(top);

    auto* units = new QGroupBox(QStringLiteral("Units"), this);
    auto* unitGroup = new QButtonGroup(this);
    UnitPercent = radio("1102", "%", unitGroup);
    UnitMmol = radio("1103", "mmol/mol", unitGroup);
    UnitPercent->setAccessibleName(QStringLiteral("Unit percent"));
    UnitMmol->setAccessibleName(QStringLiteral("Unit mmol/mol"));
    auto* unitBox = new QVBoxLayout(units);
    unitBox->addWidget(UnitPercent);
    unitBox->addWidget(UnitMmol);
    unitBox->addStretch();
    top->addWidget(units);

    auto* dates = new QGroupBox(QStringLiteral("Date Format  "), this);
    auto* dateGroup = new QButtonGroup(this);
    const char* dateIds[3] = {"1107", "1108", "1109"};
    const char* dateTexts[3] = {"yyyy-MM-dd", "MM/dd/yyyy", "dd/MM/yyyy"};
    auto* dateBox = new QVBoxLayout(dates);
    for (int i = 0; i < 3; ++i) {
        DateFormat[i] = radio(dateIds[i], dateTexts[i], dateGroup);
        DateFormat[i]->setAccessibleName(QStringLiteral("Date format %1").arg(dateTexts[i]));
        dateBox->addWidget(DateFormat[i]);
    }
    top->addWidget(dates);

    auto* times = new QGroupBox(QStringLiteral("Time Format  "), this);
    auto* timeGroup = new QButtonGroup(this);
    Time12 = radio("1104", "12 Hours", timeGroup);
    Time24 = radio("1105", "24 Hours", timeGroup);
    Time12->setAccessibleName(QStringLiteral("Time format 12 Hours"));
    Time24->setAccessibleName(QStringLiteral("Time format 24 Hours"));
    auto* timeBox = new QVBoxLayout(times);
    timeBox->addWidget(Time12);
    timeBox->addWidget(Time24);
    timeBox->addStretch();
    top->addWidget(times);

    auto* languageRow = new QHBoxLayout;
    auto* languageLabel = new QLabel(QStringLiteral("Languge"), this);
    Language = new QComboBox(this);
    Language->setObjectName(QStringLiteral("1004"));
    Language->setAccessibleName(QStringLiteral("Language"));
    Language->addItem(QStringLiteral("English"));
    Language->setCurrentIndex(0);
    languageLabel->setBuddy(Language);
    languageRow->addWidget(languageLabel);
    languageRow->addWidget(Language);
    languageRow->addStretch();
    outer->addLayout(languageRow);

    auto* physician = new QGroupBox(QStringLiteral(" Physician "), this);
    auto* form = new QFormLayout(physician);
    auto edit = [this, form](const char* id, const char* label, const char* accessible,
                             const std::string& text) {
        auto* e = new QLineEdit(Local(text), this);
        e->setObjectName(QString::fromLatin1(id));
        e->setAccessibleName(QString::fromLatin1(accessible));
        e->setMaxLength(99); // the file keeps 99 characters of each text
        form->addRow(QString::fromLatin1(label), e);
        return e;
    };
    PhysicianName = edit("1085", "Name :", "Physician name", state_.name);
    Hospital = edit("1090", "Hospital :", "Hospital", state_.hospital);
    Email = edit("1093", "E-mail :", "E-mail", state_.email);
    Note = edit("1094", "Note :", "Note", state_.note);
    outer->addWidget(physician);

    // The digit counts and the limits are kept in the file but not offered: created hidden.
    auto digits = [this](const char* id, const char* accessible, int index) {
        auto* c = new QComboBox(this);
        c->setObjectName(QString::fromLatin1(id));
        c->setAccessibleName(QString::fromLatin1(accessible));
        for (int i = 1; i <= 14; ++i)
            c->addItem(QString::number(i));
        c->setCurrentIndex(index);
        c->hide();
        return c;
    };
    PidDigits = digits("1006", "Patient ID Significant digit", state_.pidDigitIndex);
    OpidDigits = digits("1007", "Operator PID Significant digit", state_.opidDigitIndex);
    auto limit = [this](const char* id, const char* accessible, const std::string& text) {
        auto* e = new QLineEdit(Local(text), this);
        e->setObjectName(QString::fromLatin1(id));
        e->setAccessibleName(QString::fromLatin1(accessible));
        e->hide();
        e->setEnabled(false);
        return e;
    };
    High = limit("1000", "High", state_.highText);
    Low = limit("1005", "Low", state_.lowText);
    auto unitLabel = [this](const char* id, const char* accessible) {
        auto* l = new QLabel(Local(state_.unitLabel), this);
        l->setObjectName(QString::fromLatin1(id));
        l->setAccessibleName(QString::fromLatin1(accessible));
        l->hide();
        return l;
    };
    HighUnit = unitLabel("1018", "High unit");
    LowUnit = unitLabel("1019", "Low unit");

    outer->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    Save = new CPngButton(this);
    Save->setObjectName(QStringLiteral("1074"));
    Save->SetImage(294);
    Save->setAccessibleName(QStringLiteral("Save"));
    Save->setToolTip(QStringLiteral("Save the settings and close"));
    Close = new CPngButton(this);
    Close->setObjectName(QStringLiteral("1170"));
    Close->SetImage(295);
    Close->setAccessibleName(QStringLiteral("Close"));
    Close->setToolTip(QStringLiteral("Close without saving"));
    // The link to the laboratory system has a window of its own.
    LabSystem = new QPushButton(QStringLiteral("&Lab system..."), this);
    LabSystem->setAccessibleName(QStringLiteral("Lab system"));
    LabSystem->setToolTip(QStringLiteral("Where the results are sent: the laboratory system"));
    LabSystem->setAutoDefault(false);
    connect(LabSystem, &QPushButton::clicked, this, [this]() {
        if (OpenLabSystem)
            OpenLabSystem();
    });
    buttons->insertWidget(0, LabSystem);
    buttons->addWidget(Save);
    buttons->addWidget(Close);
    outer->addLayout(buttons);
    connect(Save, &QAbstractButton::clicked, this, &CSettingInfoDlg::OnSave);
    connect(Close, &QAbstractButton::clicked, this, &QDialog::reject);

    UnitPercent->setChecked(state_.unitPercent);
    UnitMmol->setChecked(state_.unitMmol);
    for (int i = 0; i < 3; ++i)
        DateFormat[i]->setChecked(state_.date[i]);
    Time12->setChecked(state_.time12);
    Time24->setChecked(state_.time24);
}

void CSettingInfoDlg::OnSave() {
    state_.unitPercent = UnitPercent->isChecked();
    state_.unitMmol = UnitMmol->isChecked();
    for (int i = 0; i < 3; ++i)
        state_.date[i] = DateFormat[i]->isChecked();
    state_.time12 = Time12->isChecked();
    state_.time24 = Time24->isChecked();
    state_.pidDigitIndex = PidDigits->currentIndex();
    state_.opidDigitIndex = OpidDigits->currentIndex();
    state_.highText = Local(High->text());
    state_.lowText = Local(Low->text());
    state_.name = Local(PhysicianName->text());
    state_.hospital = Local(Hospital->text());
    state_.email = Local(Email->text());
    state_.note = Local(Note->text());
    SettingsDialogApply(state_, settings_);
    HighUnit->setText(Local(state_.unitLabel));
    LowUnit->setText(Local(state_.unitLabel));
    const bool saved = SaveSettings(settings_, baseFolder_);
    // What the file holds is what the program uses.
    LoadSettings(settings_, baseFolder_);
    if (!saved) {
        prompt_.Inform("The settings could not be saved: " + Local(SettingsPath(baseFolder_)) +
                           " cannot be written.\r\nThe previous settings stay in use.",
                       kMessageTitle);
        return;
    }
    command_(12);
    accept();
}

void CSettingInfoDlg::keyPressEvent(QKeyEvent* e) {
    // Enter saves wherever the focus is (a focused Close button takes its own Enter first);
    // Escape closes without saving, as the dialog always did.
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) &&
        !(e->modifiers() & ~Qt::KeypadModifier)) {
        OnSave();
        return;
    }
    QDialog::keyPressEvent(e);
}

void CSettingInfoDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!background_.isNull())
        p.drawPixmap(0, 0, background_);
    else
        p.fillRect(rect(), Qt::white);
}
