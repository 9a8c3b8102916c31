#include "views/link/StatusDlgs.h"

#include "controls/PercentBar.h"
#include "controls/PngButton.h"

#include <QHBoxLayout>
#include <QLinearGradient>
#include <QMetaObject>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString FromModel(const std::string& text) {
    QString s = QString::fromLocal8Bit(text.c_str());
    s.remove(QLatin1Char('\r'));
    return s;
}

QPushButton* IconButton(const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(QIcon(ResourcePath(171, "PNG")), caption, parent);
    b->setMinimumSize(96, 30);
    return b;
}

} // namespace

CGradientText::CGradientText(QWidget* parent) : QWidget(parent) {
    setMinimumSize(300, 60);
    setAccessibleName(QStringLiteral("Status"));
}

void CGradientText::SetText(const QString& text) {
    if (text == text_)
        return; // the same text does not repaint
    text_ = text;
    // Painted, not a label: screen readers get the text as the line's name.
    QString spoken = text;
    spoken.replace(QLatin1Char('\n'), QLatin1Char(' '));
    setAccessibleName(spoken.simplified().isEmpty() ? QStringLiteral("Status")
                                                    : spoken.simplified());
    update();
}

void CGradientText::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, Qt::white);
    g.setColorAt(1, QColor(70, 130, 180));
    p.fillRect(rect(), g);
    QFont f = font();
    f.setPixelSize(15);
    p.setFont(f);
    p.setPen(QColor(0x1c, 0x26, 0x2b));
    p.drawText(rect().adjusted(12, 6, -12, -6), Qt::AlignCenter | Qt::TextWordWrap, text_);
}

CProcessDlg::CProcessDlg(ProcessDlgModel& model, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), model_(model) {
    setWindowTitle(QStringLiteral("Process"));
    setAccessibleName(QStringLiteral("Process"));
    setModal(false);
    setFixedSize(440, 190);
    text_ = new CGradientText(this);
    bar_ = new CPercentBar(this);
    bar_->hide();
    close_ = IconButton(QStringLiteral("Close"), this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_, 1);
    layout->addWidget(bar_);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(close_);
    layout->addLayout(row);
    connect(close_, &QPushButton::clicked, this, &CProcessDlg::reject);
    model_.SetObserver([this]() {
        QMetaObject::invokeMethod(
            this, [this]() { Sync(); }, Qt::QueuedConnection);
    });
    Sync();
}

CProcessDlg::~CProcessDlg() {
    model_.SetObserver(nullptr);
}

void CProcessDlg::Sync() {
    text_->SetText(FromModel(model_.Text()));
    close_->setText(QString::fromStdString(model_.Caption()));
    const int percent = model_.ProgressPercent();
    bar_->setVisible(percent >= 0);
    bar_->setAccessibleName(percent >= 0 ? QString::fromStdString(model_.ProgressDetail())
                                         : QStringLiteral("Progress"));
    if (percent >= 0) {
        bar_->SetPos(percent);
        bar_->SetDetail(QString::fromStdString(model_.ProgressDetail()));
    }
    if (model_.IsVisible() && !isVisible())
        show();
    else if (!model_.IsVisible() && isVisible())
        hide();
}

void CProcessDlg::reject() {
    model_.Hide(); // the model's observer hides the window
    hide();
    if (OnUserClose)
        OnUserClose();
}

CCheckingDlg::CCheckingDlg(CheckingDlgModel& model, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), model_(model) {
    setWindowTitle(QStringLiteral("Checking"));
    setAccessibleName(QStringLiteral("Checking"));
    setModal(false);
    setFixedSize(440, 160);
    text_ = new CGradientText(this);
    ok_ = IconButton(QStringLiteral("OK"), this);
    no_ = IconButton(QStringLiteral("NO"), this);
    no_->hide(); // the answer NO exists for the model, but the user is never offered it
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_, 1);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok_);
    row->addWidget(no_);
    layout->addLayout(row);
    connect(ok_, &QPushButton::clicked, this, [this]() {
        model_.AnswerOk();
        hide();
        if (OnUserAnswer)
            OnUserAnswer();
    });
    connect(no_, &QPushButton::clicked, this, [this]() {
        model_.AnswerNo();
        hide();
        if (OnUserAnswer)
            OnUserAnswer();
    });
    model_.SetObserver([this]() {
        QMetaObject::invokeMethod(
            this, [this]() { Sync(); }, Qt::QueuedConnection);
    });
    Sync();
}

CCheckingDlg::~CCheckingDlg() {
    model_.SetObserver(nullptr);
}

void CCheckingDlg::Sync() {
    text_->SetText(FromModel(model_.Text()));
    if (model_.IsVisible() && !isVisible())
        show();
    else if (!model_.IsVisible() && isVisible())
        hide();
}

void CCheckingDlg::reject() {
    model_.AnswerNo(); // closing the box is not an OK
    hide();
    if (OnUserAnswer)
        OnUserAnswer();
}
