#include "views/LabSystemDlg.h"

#include "lab/LabSender.h"
#include "platform/Prompt.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>
#include <QVBoxLayout>

namespace {

QString Q(const std::string& s) {
    return QString::fromLocal8Bit(s.c_str());
}
std::string S(const QString& s) {
    return s.trimmed().toLocal8Bit().toStdString();
}

} // namespace

CLabSystemDlg::CLabSystemDlg(const QString& baseFolder, IPrompt& prompt, QWidget* parent)
    : QDialog(parent), baseFolder_(baseFolder), prompt_(prompt) {
    setWindowTitle(QStringLiteral("Lab system"));
    setAccessibleName(QStringLiteral("Lab system"));
    LabConfig c;
    std::string problem;
    if (!LoadLabConfig(baseFolder_, c, &problem))
        prompt_.Inform(problem, kMessageTitle);

    QFormLayout* form = BuildForm(c);
    Answer = new QLabel(this);
    Answer->setWordWrap(true);
    Answer->setAccessibleName(QStringLiteral("Test message answer"));
    Answer->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    QHBoxLayout* buttons = BuildButtons();

    auto* outer = new QVBoxLayout(this);
    outer->addLayout(form);
    outer->addWidget(Answer);
    outer->addLayout(buttons);

    connect(SendTest, &QPushButton::clicked, this, &CLabSystemDlg::OnSendTest);
    connect(Save, &QPushButton::clicked, this, [this]() {
        if (OnSave())
            accept();
    });
    connect(Close, &QPushButton::clicked, this, &QDialog::reject);
}

QFormLayout* CLabSystemDlg::BuildForm(const LabConfig& c) {
    auto* form = new QFormLayout;
    const auto edit = [&](const char* label, const std::string& value) {
        auto* e = new QLineEdit(Q(value), this);
        e->setAccessibleName(QString::fromLatin1(label));
        form->addRow(QString::fromLatin1(label) + QLatin1Char(':'), e);
        return e;
    };
    Enabled = new QCheckBox(QStringLiteral("&Send results to the lab system"), this);
    Enabled->setAccessibleName(QStringLiteral("Send results to the lab system"));
    Enabled->setChecked(c.enabled);
    form->addRow(Enabled);
    Host = edit("Host", c.host);
    Port = new QSpinBox(this);
    Port->setRange(1, 65535);
    Port->setValue(c.port > 0 ? c.port : 2575);
    Port->setAccessibleName(QStringLiteral("Port"));
    form->addRow(QStringLiteral("Port:"), Port);
    Tls = new QCheckBox(QStringLiteral("Use &TLS"), this);
    Tls->setAccessibleName(QStringLiteral("Use TLS"));
    Tls->setChecked(c.tls);
    form->addRow(Tls);
    CaFile = new QLineEdit(Q(c.caFile), this);
    CaFile->setAccessibleName(QStringLiteral("CA certificate file"));
    CaFile->setPlaceholderText(QStringLiteral("empty: the system's certificates"));
    auto* browse = new QPushButton(QStringLiteral("&Browse..."), this);
    browse->setAccessibleName(QStringLiteral("Browse for the CA certificate file"));
    auto* caRow = new QHBoxLayout;
    caRow->addWidget(CaFile, 1);
    caRow->addWidget(browse);
    form->addRow(QStringLiteral("CA certificate file:"), caRow);
    SendingApplication = edit("Sending application", c.sendingApplication);
    SendingFacility = edit("Sending facility", c.sendingFacility);
    ReceivingApplication = edit("Receiving application", c.receivingApplication);
    ReceivingFacility = edit("Receiving facility", c.receivingFacility);
    IdAuthority = edit("Patient ID authority", c.idAuthority);
    AckTimeout = new QSpinBox(this);
    AckTimeout->setRange(1, 3600);
    AckTimeout->setSuffix(QStringLiteral(" s"));
    AckTimeout->setValue(c.ackTimeout);
    AckTimeout->setAccessibleName(QStringLiteral("Answer timeout"));
    form->addRow(QStringLiteral("Answer timeout:"), AckTimeout);
    connect(browse, &QPushButton::clicked, this, [this]() {
        const QString f = QFileDialog::getOpenFileName(
            this, QStringLiteral("CA certificate file"), CaFile->text(),
            QStringLiteral("PEM files (*.pem *.crt);;All files (*)"));
        if (!f.isEmpty())
            CaFile->setText(f);
    });
    return form;
}

QHBoxLayout* CLabSystemDlg::BuildButtons() {
    SendTest = new QPushButton(QStringLiteral("Send &test message"), this);
    SendTest->setAccessibleName(QStringLiteral("Send test message"));
    Save = new QPushButton(QStringLiteral("&Save"), this);
    Save->setAccessibleName(QStringLiteral("Save"));
    Save->setDefault(true);
    Close = new QPushButton(QStringLiteral("&Close"), this);
    Close->setAccessibleName(QStringLiteral("Close"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(SendTest);
    buttons->addStretch();
    buttons->addWidget(Save);
    buttons->addWidget(Close);
    return buttons;
}

CLabSystemDlg::~CLabSystemDlg() {
    // A test still waiting for its answer ends on its own and then deletes itself; closing
    // the dialog does not wait for it.
    if (test_ && test_->isRunning()) {
        disconnect(test_, nullptr, this, nullptr);
        connect(test_, &QThread::finished, test_, &QObject::deleteLater);
    } else {
        delete test_;
    }
}

LabConfig CLabSystemDlg::FromControls() const {
    LabConfig c;
    c.enabled = Enabled->isChecked();
    c.host = S(Host->text());
    c.port = Port->value();
    c.tls = Tls->isChecked();
    c.caFile = S(CaFile->text());
    c.sendingApplication = S(SendingApplication->text());
    c.sendingFacility = S(SendingFacility->text());
    c.receivingApplication = S(ReceivingApplication->text());
    c.receivingFacility = S(ReceivingFacility->text());
    c.idAuthority = S(IdAuthority->text());
    c.ackTimeout = AckTimeout->value();
    return c;
}

bool CLabSystemDlg::OnSave() {
    const LabConfig c = FromControls();
    const std::string problem = CheckLabConfig(c);
    if (!problem.empty()) {
        prompt_.Inform(problem, kMessageTitle);
        return false;
    }
    if (!SaveLabConfig(baseFolder_, c)) {
        prompt_.Inform(
            "The lab link settings could not be saved: " + S(LabConfigPath(baseFolder_)) +
                " cannot be written. The previous settings stay in use.",
            kMessageTitle);
        return false;
    }
    if (Saved)
        Saved(c);
    return true;
}

void CLabSystemDlg::OnSendTest() {
    if (test_ && test_->isRunning())
        return;
    LabConfig c = FromControls();
    c.enabled = true;
    const std::string problem = CheckLabConfig(c);
    if (!problem.empty()) {
        ShowAnswer(Q(problem));
        return;
    }
    SendTest->setEnabled(false);
    ShowAnswer(QStringLiteral("Sending a test message to %1:%2 ...").arg(Q(c.host)).arg(c.port));
    delete test_;
    auto answer = std::make_shared<std::string>();
    test_ = QThread::create([c, answer]() { *answer = CLabSender::SendTest(c); });
    connect(test_, &QThread::finished, this, [this, answer]() {
        SendTest->setEnabled(true);
        ShowAnswer(Q(*answer));
    });
    test_->start();
}

void CLabSystemDlg::ShowAnswer(const QString& text) {
    Answer->setText(text);
    Answer->setAccessibleDescription(text);
}
