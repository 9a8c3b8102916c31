#include "views/FormPage.h"

#include "link/DownloadSession.h"
#include "platform/Prompt.h"

#include <QComboBox>
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

bool CFormPage::AskForAutomaticMode(IDownloadSession& session, IPrompt& prompt) {
    if (session.State().AutoMode != 0 || !prompt.Ask(kSwitchToAutoQuestion, kMessageTitle))
        return false;
    session.StartAutomatic();
    return true;
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

CHbA1cDeskMainView::CHbA1cDeskMainView(FrameCommandFn command, IDownloadSession& session,
                                       IPrompt& prompt, QWidget* parent)
    : CFormPage(209, std::move(command), parent), session_(session), prompt_(prompt) {
    // Only normal images: the highlighted Home marks this view.
    Home = NavButton(336, 214);
    Download = NavButton(452, 215);
    AllData = NavButton(568, 217);
    Automatic = NavButton(684, 219);
    Graph = NavButton(800, 221);
    Home->setToolTip(QStringLiteral("Home"));
    Home->setAccessibleName(QStringLiteral("Home"));
    Download->setAccessibleName(QStringLiteral("Download"));
    AllData->setAccessibleName(QStringLiteral("All data"));
    Automatic->setAccessibleName(QStringLiteral("Automatic mode"));
    Graph->setAccessibleName(QStringLiteral("Graph"));
    connect(Download, &QAbstractButton::clicked, this, [this]() { Send(2); });
    connect(AllData, &QAbstractButton::clicked, this, [this]() { Send(3); });
    connect(Graph, &QAbstractButton::clicked, this, [this]() { Send(4); });
    connect(Automatic, &QAbstractButton::clicked, this, &CHbA1cDeskMainView::OnAutomatic);
}

void CHbA1cDeskMainView::OnAutomatic() { AskForAutomaticMode(session_, prompt_); }

CNavigationPage::CNavigationPage(int backgroundId, int currentView, FrameCommandFn command,
                                 IDownloadSession& session, IPrompt& prompt, QWidget* parent)
    : CFormPage(backgroundId, std::move(command), parent), session_(session), prompt_(prompt) {
    struct NavSpec {
        int view, x, image;
    };
    const NavSpec navs[] = {{1, 336, 213}, {2, 452, 215}, {3, 568, 217}, {0, 684, 219}, {4, 800, 221}};
    const char* const names[] = {"Home", "Download", "All data", "Automatic mode", "Graph"};
    int slot = 0;
    for (const NavSpec& n : navs) {
        const bool current = n.view == currentView;
        CPngButton* b = NavButton(n.x, current ? n.image + 1 : n.image, n.image + 1);
        b->setAccessibleName(QString::fromLatin1(names[slot]));
        Nav[slot++] = b;
        if (n.view == 0) {
            connect(b, &QAbstractButton::clicked, this,
                    [this]() { AskForAutomaticMode(session_, prompt_); });
        } else if (!current) {
            const int view = n.view;
            connect(b, &QAbstractButton::clicked, this, [this, view]() { Send(view); });
        }
    }
}

QComboBox* CNavigationPage::MakePeriodList(const QString& allText) {
    auto* period = new QComboBox(this);
    period->setGeometry(55, 140, 130, 25);
    period->setAccessibleName(QStringLiteral("Period"));
    QStringList periods{allText, QStringLiteral("1 week")};
    for (int k = 2; k <= 12; ++k)
        periods << QStringLiteral("%1 weeks").arg(k);
    period->addItems(periods);
    return period;
}
