#include "views/FormPage.h"

#include "link/AcquisitionController.h"
#include "platform/Prompt.h"

#include <QPainter>

CFormPage::CFormPage(int backgroundId, FrameCommandFn command, QWidget* parent)
    : QWidget(parent), background_(ResourcePath(backgroundId, "BITMAP")),
      command_(std::move(command)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CFormPage::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Button)); // the button-face colour
    p.drawPixmap(0, 0, background_);
}

CPngButton* CFormPage::NavButton(int x, int normalImage, int secondImage) {
    auto* b = new CPngButton(this);
    b->SetImage(normalImage, "PNG");
    if (secondImage)
        b->SetSecondImage(secondImage, "PNG");
    b->setGeometry(x, 0, 105, 105);
    return b;
}

CPngButton* CFormPage::ActionButton(int image, int x, int y) {
    auto* b = new CPngButton(this);
    b->SetImage(image, "PNG");
    b->SetSecondImage(image, "PNG");
    b->setGeometry(x, y, 86, 30);
    return b;
}

CHbA1cDeskMainView::CHbA1cDeskMainView(FrameCommandFn command, AcquisitionState& state,
                                       IPrompt& prompt, QWidget* parent)
    : CFormPage(209, std::move(command), parent), state_(state), prompt_(prompt) {
    // Only normal images: the highlighted Home marks this view.
    Home = NavButton(336, 214);
    Download = NavButton(452, 215);
    AllData = NavButton(568, 217);
    Automatic = NavButton(684, 219);
    Graph = NavButton(800, 221);
    Home->setToolTip(QStringLiteral("Home"));
    connect(Download, &QAbstractButton::clicked, this, [this]() { Send(2); });
    connect(AllData, &QAbstractButton::clicked, this, [this]() { Send(3); });
    connect(Graph, &QAbstractButton::clicked, this, [this]() { Send(4); });
    connect(Automatic, &QAbstractButton::clicked, this, &CHbA1cDeskMainView::OnAutomatic);
}

void CHbA1cDeskMainView::OnAutomatic() {
    if (state_.AutoMode != 0)
        return;
    if (!prompt_.Ask(kSwitchToAutoQuestion, kMessageTitle))
        return;
    state_.AutoMode = 1;
    Send(30);
}
