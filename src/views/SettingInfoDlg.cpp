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
#include <vector>

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

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(24, 52, 24, 18); // below the title drawn in the background
    BuildFormats(*outer);
    BuildLanguage(*outer);
    BuildPhysician(*outer);
    BuildKeptFields();
    outer->addStretch();
    BuildButtons(*outer);

    UnitPercent->setChecked(state_.unitPercent);
    UnitMmol->setChecked(state_.unitMmol);
    for (int i = 0; i < 3; ++i)
        DateFormat[i]->setChecked(state_.date[i]);
    Time12->setChecked(state_.time12);
    Time24->setChecked(state_.time24);
}

void CSettingInfoDlg::BuildFormats(QVBoxLayout& outer) {
    struct Radio {
        QRadioButton** field;
        const char *id, *text, *accessible;
    };
    struct Group {
        const char* title;
        std::vector<Radio> radios;
        bool stretch; // the shorter groups keep their buttons at the top
    };
    const Group groups[] = {
        {"Units",
         {{&UnitPercent, "1102", "%", "Unit percent"},
          {&UnitMmol, "1103", "mmol/mol", "Unit mmol/mol"}},
         true},
        {"Date Format  ",
         {{&DateFormat[0], "1107", "yyyy-MM-dd", "Date format yyyy-MM-dd"},
          {&DateFormat[1], "1108", "MM/dd/yyyy", "Date format MM/dd/yyyy"},
          {&DateFormat[2], "1109", "dd/MM/yyyy", "Date format dd/MM/yyyy"}},
         false},
        {"Time Format  ",
         {{&Time12, "1104", "12 Hours", "Time format 12 Hours"},
          {&Time24, "1105", "24 Hours", "Time format 24 Hours"}},
         true},
    };
    auto* top = new QHBoxLayout;
    outer.addLayout(top);
    for (const Group& g : groups) {
        auto* box = new QGroupBox(QString::fromLatin1(g.title), this);
        auto* buttons = new QButtonGroup(this);
        auto* column = new QVBoxLayout(box);
        for (const Radio& r : g.radios) {
            auto* radio = new QRadioButton(QString::fromLatin1(r.text), this);
            radio->setObjectName(QString::fromLatin1(r.id));
            radio->setAccessibleName(QString::fromLatin1(r.accessible));
            buttons->addButton(radio);
            column->addWidget(radio);
            *r.field = radio;
        }
        if (g.stretch)
            column->addStretch();
        top->addWidget(box);
    }
}

void CSettingInfoDlg::BuildLanguage(QVBoxLayout& outer) {
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
    outer.addLayout(languageRow);
}

void CSettingInfoDlg::BuildPhysician(QVBoxLayout& outer) {
    struct Edit {
        QLineEdit** field;
        const char *id, *label, *accessible;
        const std::string& text;
    };
    const Edit edits[] = {{&PhysicianName, "1085", "Name :", "Physician name", state_.name},
                          {&Hospital, "1090", "Hospital :", "Hospital", state_.hospital},
                          {&Email, "1093", "E-mail :", "E-mail", state_.email},
                          {&Note, "1094", "Note :", "Note", state_.note}};
    auto* physician = new QGroupBox(QStringLiteral(" Physician "), this);
    auto* form = new QFormLayout(physician);
    for (const Edit& e : edits) {
        auto* edit = new QLineEdit(Local(e.text), this);
        edit->setObjectName(QString::fromLatin1(e.id));
        edit->setAccessibleName(QString::fromLatin1(e.accessible));
        edit->setMaxLength(99); // the file keeps 99 characters of each text
        form->addRow(QString::fromLatin1(e.label), edit);
        *e.field = edit;
    }
    outer.addWidget(physician);
}

void CSettingInfoDlg::BuildKeptFields() {
    // The digit counts and the limits are kept in the file but not offered: created hidden.
    auto name = [](QWidget* w, const char* id, const char* accessible) {
        w->setObjectName(QString::fromLatin1(id));
        w->setAccessibleName(QString::fromLatin1(accessible));
        w->hide();
    };
    struct Digits {
        QComboBox** field;
        const char *id, *accessible;
        int index;
    };
    for (const Digits& d :
         {Digits{&PidDigits, "1006", "Patient ID Significant digit", state_.pidDigitIndex},
          Digits{&OpidDigits, "1007", "Operator PID Significant digit", state_.opidDigitIndex}}) {
        auto* c = new QComboBox(this);
        for (int i = 1; i <= 14; ++i)
            c->addItem(QString::number(i));
        c->setCurrentIndex(d.index);
        name(c, d.id, d.accessible);
        *d.field = c;
    }
    struct Limit {
        QLineEdit** field;
        QLabel** unit;
        const char *id, *accessible, *unitId, *unitAccessible;
        const std::string& text;
    };
    const Limit limits[] = {
        {&High, &HighUnit, "1000", "High", "1018", "High unit", state_.highText},
        {&Low, &LowUnit, "1005", "Low", "1019", "Low unit", state_.lowText}};
    for (const Limit& l : limits) {
        auto* e = new QLineEdit(Local(l.text), this);
        name(e, l.id, l.accessible);
        e->setEnabled(false);
        *l.field = e;
    }
    for (const Limit& l : limits) {
        auto* unit = new QLabel(Local(state_.unitLabel), this);
        name(unit, l.unitId, l.unitAccessible);
        *l.unit = unit;
    }
}

void CSettingInfoDlg::BuildButtons(QVBoxLayout& outer) {
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
    outer.addLayout(buttons);
    connect(Save, &QAbstractButton::clicked, this, &CSettingInfoDlg::OnSave);
    connect(Close, &QAbstractButton::clicked, this, &QDialog::reject);
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
    command_(kCmdRefreshView);
    accept();
}

void CSettingInfoDlg::keyPressEvent(QKeyEvent* e) {
    // Enter saves wherever the focus is (a focused Close button takes its own Enter first);
    // Escape closes without saving: a way out that changes nothing.
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
