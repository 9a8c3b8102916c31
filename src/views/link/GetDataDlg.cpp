#include "views/link/GetDataDlg.h"

#include "controls/PngButton.h"
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

CGetDataDlg::CGetDataDlg(GetDataDlgModel& model, QWidget* parent) : QDialog(parent), model_(model) {
    setWindowTitle(QStringLiteral("Get HbA1c data"));
    setFixedSize(404, 207);
    background_ = QPixmap(ResourcePath(275, "BITMAP"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 52, 24, 20); // below the title drawn in the background
    auto* label = new QLabel(QStringLiteral("Serial port of the analyzer:"), this);
    ports_ = new QComboBox(this);
    ports_->setEditable(true); // a port the system does not list can be typed in
    ports_->setMinimumHeight(30);
    label->setBuddy(ports_);
    layout->addWidget(label);
    layout->addWidget(ports_);
    layout->addStretch();
    auto* buttons = new QHBoxLayout;
    search_ = new QPushButton(QStringLiteral("Search ports"), this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    ok->setDefault(true);
    for (QPushButton* b : {search_, ok, cancel})
        b->setMinimumSize(96, 32);
    buttons->addWidget(search_);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &CGetDataDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CGetDataDlg::reject);
    connect(search_, &QPushButton::clicked, this, [this]() {
        setCursor(Qt::WaitCursor);
        model_.Search();
        Refill();
        unsetCursor();
    });
    Refill();
}

void CGetDataDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, background_);
}

void CGetDataDlg::Refill() {
    model_.Refill();
    ports_->clear();
    for (const std::string& item : model_.Items())
        ports_->addItem(QString::fromStdString(item));
    ports_->setCurrentIndex(model_.Selected());
    ports_->setEditText(QString::fromStdString(model_.Text()));
}

void CGetDataDlg::accept() {
    model_.SetText(ports_->currentText().trimmed().toStdString());
    choice_ = model_.Accept();
    QDialog::accept();
}

bool CGetDataDlgChooser::ChoosePort(GetDataDlgModel& model, GetDataDlgModel::Choice& choice) {
    CGetDataDlg dlg(model, parent_);
    open_ = &dlg;
    const int result = dlg.exec();
    open_ = nullptr;
    if (result != QDialog::Accepted)
        return false;
    choice = dlg.Choice();
    return true;
}

void CGetDataDlgChooser::Refresh() {
    if (open_)
        open_->Refill();
}
