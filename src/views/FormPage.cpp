#include "views/FormPage.h"

#include "controls/DateTimeCtrl.h"
#include "link/DownloadSession.h"
#include "platform/Prompt.h"

#include <QAccessibleWidget>
#include <QComboBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <algorithm>

CFormPage::CFormPage(int backgroundId, FrameCommandFn command, QWidget* parent)
    : QWidget(parent), background_(ResourcePath(backgroundId, "BITMAP")),
      sendCommand_(std::move(command)) {
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

void CFormPage::NameNavButton(CPngButton* b, const QString& name) {
    b->setAccessibleName(name);
    const int slot = (b->x() - 336 + 58) / 116; // 336, 452, 568, 684, 800
    if (slot < 0 || slot > 4) {
        b->setToolTip(name);
        return;
    }
    const QKeySequence key(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_1 + slot));
    b->setShortcut(key);
    b->setToolTip(QStringLiteral("%1 (%2)").arg(name, key.toString(QKeySequence::NativeText)));
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
    NameNavButton(Home, QStringLiteral("Home"));
    NameNavButton(Download, QStringLiteral("Download"));
    NameNavButton(AllData, QStringLiteral("All data"));
    NameNavButton(Automatic, QStringLiteral("Automatic mode"));
    NameNavButton(Graph, QStringLiteral("Graph"));
    connect(Download, &QAbstractButton::clicked, this, [this]() { Send(kCmdDownload); });
    connect(AllData, &QAbstractButton::clicked, this, [this]() { Send(kCmdShowAllData); });
    connect(Graph, &QAbstractButton::clicked, this, [this]() { Send(kCmdShowGraph); });
    connect(Automatic, &QAbstractButton::clicked, this, &CHbA1cDeskMainView::OnAutomatic);
}

void CHbA1cDeskMainView::OnAutomatic() {
    AskForAutomaticMode(session_, prompt_);
}

CNavigationPage::CNavigationPage(int backgroundId, ViewIndex currentView, FrameCommandFn command,
                                 IDownloadSession& session, IPrompt& prompt, QWidget* parent)
    : CFormPage(backgroundId, std::move(command), parent), session_(session), prompt_(prompt) {
    // The buttons that show a view send that view's command; the automatic-mode switch (no
    // command) asks first.
    struct NavSpec {
        int view; // a ViewIndex, 0 for the automatic-mode switch
        FrameCommandCode command;
        int x, image;
        const char* name;
    };
    const NavSpec navs[] = {{kViewHome, kCmdShowHome, 336, 213, "Home"},
                            {kViewDownload, kCmdDownload, 452, 215, "Download"},
                            {kViewAllData, kCmdShowAllData, 568, 217, "All data"},
                            {0, kCmdShowHome, 684, 219, "Automatic mode"},
                            {kViewGraph, kCmdShowGraph, 800, 221, "Graph"}};
    int slot = kNavHome;
    for (const NavSpec& n : navs) {
        const bool current = n.view == currentView;
        CPngButton* b = NavButton(n.x, current ? n.image + 1 : n.image, n.image + 1);
        NameNavButton(b, QString::fromLatin1(n.name));
        Nav[slot++] = b;
        if (n.view == 0) {
            connect(b, &QAbstractButton::clicked, this,
                    [this]() { AskForAutomaticMode(session_, prompt_); });
        } else if (!current) {
            const FrameCommandCode command = n.command;
            connect(b, &QAbstractButton::clicked, this, [this, command]() { Send(command); });
        }
    }
}

namespace {

// On Linux the toolkit names a combo box after its contents (a screen reader is meant to follow
// the label relation); the filters carry names of their own, and the contents are their value.
class NamedComboAccessible : public QAccessibleWidget {
public:
    explicit NamedComboAccessible(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}
    QString text(QAccessible::Text t) const override {
        const QComboBox* box = static_cast<const QComboBox*>(object());
        if (t == QAccessible::Value)
            return box->currentText();
        if (t == QAccessible::Name && !box->accessibleName().isEmpty())
            return box->accessibleName();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.editable = static_cast<const QComboBox*>(object())->isEditable();
        return s;
    }
    QStringList actionNames() const override {
        return QAccessibleWidget::actionNames() << showMenuAction();
    }
    void doAction(const QString& action) override {
        if (action == showMenuAction())
            static_cast<QComboBox*>(object())->showPopup();
        else
            QAccessibleWidget::doAction(action);
    }
};

constexpr const char* kNamedFilter = "trevanixNamedFilter";

QAccessibleInterface* NamedComboFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("QComboBox") && object && object->isWidgetType() &&
        object->property(kNamedFilter).toBool())
        return new NamedComboAccessible(static_cast<QComboBox*>(object));
    return nullptr;
}

} // namespace

QLabel* CNavigationPage::LabelFilter(QWidget* control, const QString& label,
                                     const QString& accessibleName) {
    auto* box = qobject_cast<QComboBox*>(control);
    if (box) {
        static const bool installed = (QAccessible::installFactory(NamedComboFactory), true);
        (void)installed;
        box->setProperty(kNamedFilter, true);
        // An interface the toolkit made and keeps for the box goes; the next one is ours.
        QAccessibleInterface* made = QAccessible::queryAccessibleInterface(box);
        if (made && !dynamic_cast<NamedComboAccessible*>(made))
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    }
    auto* l = new QLabel(label, this);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    l->setBuddy(control);
    // Below the artwork's edge (y 115) and above the control.
    l->setGeometry(control->x(), 118, std::max(control->width(), 80), 20);
    control->setAccessibleName(accessibleName);
    if (auto* picker = qobject_cast<CDateTimeCtrl*>(control))
        picker->SetAccessibleName(accessibleName);
    if (box && box->lineEdit())
        box->lineEdit()->setAccessibleName(accessibleName);
    return l;
}

QComboBox* CNavigationPage::MakePeriodList(const QString& allText) {
    auto* period = new QComboBox(this);
    period->setGeometry(55, 140, 130, 25);
    LabelFilter(period, QStringLiteral("Period"), QStringLiteral("Period"));
    QStringList periods{allText, QStringLiteral("1 week")};
    for (int k = 2; k <= 12; ++k)
        periods << QStringLiteral("%1 weeks").arg(k);
    period->addItems(periods);
    return period;
}
