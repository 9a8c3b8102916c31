#include "app/MainFrame.h"

#include "lab/LabLink.h"
#include "platform/Prompt.h"
#include "views/AllDataListView.h"
#include "views/DownloadView.h"
#include "views/FormPage.h"
#include "views/GraphView.h"
#include "views/LabSystemDlg.h"
#include "views/SettingInfoDlg.h"
#include "views/link/StatusDlgs.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <iterator>

namespace {
// Pane widths: the texts the status bar was sized by, or the longest text a pane shows.
const char* const kPaneSizeText[kPaneTotal] = {
    "",          "_____________",        "2026/12/31 - 23:59:59", "automatic",
    "SEQ : 130", "Scan Port Count : 10", "Current Port Index : 5"};
} // namespace

CMainFrame::CMainFrame(IPrompt& prompt, const QString& baseFolder, const QString& dataFolder,
                       std::unique_ptr<LinkStack> link)
    : prompt_(prompt), baseFolder_(baseFolder), dataFolder_(dataFolder),
      linkStack_(std::move(link)) {
    setWindowTitle(QString::fromLatin1(kMainTitle));
    setWindowIcon(QIcon(QStringLiteral(":/png/128.png")));
    // Maximised, the window is 1024 x 768 as well.
    setMinimumSize(0, 0);
    setMaximumSize(1024, 768);
    setGeometry(0, 0, 1024, 768);

    // Status bar: the stretching message pane and six panes for the link's texts.
    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(false);
    // The message pane: a label (not the bar's painted message), so screen readers read it.
    message_ = new QLabel(bar);
    message_->setAccessibleName(QStringLiteral("Message"));
    message_->setTextFormat(Qt::PlainText);
    // Takes the room the other panes leave; a text longer than that is cut at the end.
    message_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bar->addWidget(message_, 1);
    const QFontMetrics fm(bar->font());
    for (int i = kPanePort; i < kPaneTotal; ++i) {
        panes_[i] = new QLabel(bar);
        panes_[i]->setFixedWidth(fm.horizontalAdvance(QString::fromLatin1(kPaneSizeText[i])) + 16);
        panes_[i]->setAlignment(Qt::AlignCenter);
        bar->addPermanentWidget(panes_[i]);
    }

    // The lab link's pane, shown while the link is on or messages are left.
    labPane_ = new QLabel(bar);
    labPane_->setAccessibleName(QStringLiteral("Lab link status"));
    labPane_->hide();
    bar->addPermanentWidget(labPane_);

    stack_ = new QWidget(this);
    setCentralWidget(stack_);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        // Centred on the screen; on a screen no bigger than the window, at its top left, so the
        // caption and the buttons stay in reach.
        const QRect room = screen->availableGeometry();
        QPoint at = room.center() - rect().center();
        at.setX(std::max(at.x(), room.left()));
        at.setY(std::max(at.y(), room.top()));
        move(at);
    }

    // The link's state and worker start with the window.
    db_ = std::make_unique<CResultDatabases>(baseFolder_, &prompt_);
    controller_ = std::make_unique<CAcquisitionController>(linkStack_->Context(
        prompt_, chooser_, *this, *db_, settings_, DecoderFolders{baseFolder_, dataFolder_}));
}

CMainFrame::~CMainFrame() {
    PrepareShutdown();
    // The views go before the databases they listen to (the frame's members go before its
    // child widgets).
    delete stack_;
    stack_ = nullptr;
    std::fill(std::begin(views_), std::end(views_), nullptr);
    // The dialogs follow models that nothing writes any more (the worker has ended).
    delete processDlg_;
    processDlg_ = nullptr;
    delete checkingDlg_;
    checkingDlg_ = nullptr;
}

void CMainFrame::FirstInitialisation() {
    db_->OpenDatabases();
    controller_->Initialise();
    auto send = [this](int code) { FrameCommand(FRAME_COMMAND_TAG, code); };
    views_[kViewEmpty] = new CTrevanixView(stack_);
    views_[kViewHome] = new CHbA1cDeskMainView(send, *controller_, prompt_, stack_);
    auto* download = new CHbA1cDeskDownLoadView(send, *controller_, *db_, settings_,
                                                linkStack_->processDlg, prompt_, stack_);
    download->SetDataFolder(dataFolder_); // where its CSV export leaves the current folder
    views_[kViewDownload] = download;
    auto* allData =
        new CHbA1cDeskAllDataListView(send, *controller_, prompt_, *db_, settings_, stack_);
    allData->OpenSettings = [this]() { OpenSettingsDialog(); };
    views_[kViewAllData] = allData;
    views_[kViewGraph] =
        new CHbA1cDeskGraphDataView(send, *controller_, prompt_, *db_, settings_, stack_);
    for (int i = 0; i < kViewCount; ++i) {
        if (auto* page = dynamic_cast<CFormPage*>(views_[i]))
            page->ShowMessage = [this](const QString& text) { ShowMessage(text); };
        views_[i]->setGeometry(0, 0, 1024, 768);
        views_[i]->setProperty("controlId", i == 0 ? kFirstPaneId : kFirstPaneId + i);
        views_[i]->setVisible(i == 0);
    }
    document_.insert(views_[kViewEmpty]);
    active_ = kViewEmpty;
    processDlg_ = new CProcessDlg(linkStack_->processDlg, this);
    checkingDlg_ = new CCheckingDlg(linkStack_->checkingDlg, this);
    // Closing a box is the user's answer to the session's prompt.
    processDlg_->OnUserClose = [this]() { controller_->AcknowledgePrompt(SessionPrompt::Status); };
    checkingDlg_->OnUserAnswer = [this]() {
        controller_->AcknowledgePrompt(SessionPrompt::Termination);
    };
    LoadSettings(settings_, baseFolder_);
    // The link to the lab system: queued in the stores' transactions, sent by a thread of its own.
    LabConfig lab;
    std::string labProblem;
    if (!LoadLabConfig(baseFolder_, lab, &labProblem))
        prompt_.Inform(labProblem, kMessageTitle);
    lab_ = std::make_unique<CLabLink>(lab, settings_.unit);
    // Stored results are queued for the lab in the store's transaction: send them now.
    changedToken_ = db_->Changed.Subscribe([this](ResultsChange change, int) {
        if (change == ResultsChange::Stored && lab_)
            lab_->Wake();
    });
    db_->ResultTable.SetJournal(&lab_->Journal());
    if (db_->DatabaseReady)
        lab_->Start(db_->MainDbPath, db_->CurrentTable);
    labTimer_ = new QTimer(this);
    connect(labTimer_, &QTimer::timeout, this, &CMainFrame::UpdateLabPane);
    labTimer_->start(2000);
    UpdateLabPane();
    SwitchView(kViewEmpty, kViewHome);
}

void CMainFrame::UpdateLabPane() {
    if (!lab_)
        return;
    const CLabLink::Status status = lab_->CurrentStatus();
    const QString text = QString::fromLocal8Bit(LabStatusText(status).c_str());
    labPane_->setVisible(!text.isEmpty());
    labPane_->setToolTip(QString::fromLocal8Bit(status.problem.c_str()));
    if (labPane_->text() == text)
        return;
    labPane_->setText(text);
    labPane_->setAccessibleName(text.isEmpty() ? QStringLiteral("Lab link status") : text);
}

void CMainFrame::OpenLabSystemDialog() {
    CLabSystemDlg dlg(baseFolder_, prompt_, this);
    dlg.Saved = [this](const LabConfig& config) {
        if (lab_)
            lab_->Reconfigure(config);
        UpdateLabPane();
    };
    RunLabSystemDialog(dlg);
}

void CMainFrame::SwitchView(int from, int to) {
    if (from < 0 || from >= kViewCount || to < 0 || to >= kViewCount || !views_[to])
        return;
    QWidget* f = views_[from];
    QWidget* t = views_[to];
    if (f != t)
        ShowMessage(QString()); // the message was about the view left
    f->setProperty("controlId", kFirstPaneId + from);
    t->setProperty("controlId", kFirstPaneId); // the one laid out in the client area
    t->show();
    if (f != t)
        f->hide();
    document_.insert(t);
    if (from != kViewEmpty && f != t)
        document_.erase(f);
    active_ = to;
    t->raise();
    t->update();
    if (f != t)
        if (auto* page = dynamic_cast<CFormPage*>(t))
            page->OnActivate();
}

int CMainFrame::IndexOfView(const QWidget* view) const {
    for (int i = 0; i < kViewCount; ++i)
        if (views_[i] == view)
            return i;
    return kViewEmpty;
}

void CMainFrame::ShowView(int index) {
    SwitchView(active_, index);
}

void CMainFrame::OpenSettingsDialog() {
    CSettingInfoDlg dlg(
        settings_, baseFolder_, [this](int code) { FrameCommand(FRAME_COMMAND_TAG, code); },
        prompt_, this);
    dlg.OpenLabSystem = [this]() { OpenLabSystemDialog(); };
    RunSettingsDialog(dlg);
    if (lab_)
        lab_->Journal().SetUnit(settings_.unit); // the messages queued from now on
}

void CMainFrame::RefreshActiveView() {
    if (auto* page = dynamic_cast<CFormPage*>(views_[active_]))
        page->Refresh();
}

void CMainFrame::ShowMessage(const QString& text) {
    message_->setText(text);
    message_->setToolTip(text);
    message_->setAccessibleDescription(text);
    message_->setAccessibleName(text.isEmpty() ? QStringLiteral("Message") : text);
}

QString CMainFrame::Message() const {
    return message_->text();
}

void CMainFrame::SetStatusPane(int pane, const std::string& text) {
    if (pane < kPanePort || pane >= kPaneTotal)
        return;
    if (pane == kPaneMode) {
        // Automatic mode starts without the bar of the last manual download.
        const bool automatic = text == "automatic";
        if (automatic && !automaticShown_)
            linkStack_->processDlg.SetProgress(-1, std::string());
        automaticShown_ = automatic;
    }
    // A long device path is shortened in the middle; the whole of it is in the tooltip.
    const QString full = QString::fromLocal8Bit(text.c_str());
    QLabel* label = panes_[pane];
    label->setText(label->fontMetrics().elidedText(full, Qt::ElideMiddle, label->width() - 8));
    label->setToolTip(full);
}

void CMainFrame::PrepareShutdown() {
    if (shutDown_)
        return;
    shutDown_ = true;
    // The link first (no more work, port closed, worker ended), so a download being stored
    // finishes its transaction before the tables close.
    controller_->Shutdown();
    if (changedToken_)
        db_->Changed.Unsubscribe(changedToken_);
    changedToken_ = 0;
    if (lab_) {
        lab_->Stop();
        db_->ResultTable.SetJournal(nullptr);
    }
    if (labTimer_)
        labTimer_->stop();
    db_->CloseDatabases();
    if (views_[kViewHome] && active_ != kViewHome)
        SwitchView(active_, kViewHome);
}

void CMainFrame::changeEvent(QEvent* e) {
    CRaravFrame::changeEvent(e);
    // Maximised, the window keeps 1024 x 768, at the top left of the screen.
    if (e->type() == QEvent::WindowStateChange && isMaximized() && size() != QSize(1024, 768)) {
        QTimer::singleShot(0, this, [this]() {
            if (!isMaximized())
                return;
            const QScreen* screen = this->screen();
            const QPoint at = screen ? screen->availableGeometry().topLeft() : QPoint(0, 0);
            setGeometry(QRect(at, QSize(1024, 768)));
        });
    }
}

void CMainFrame::closeEvent(QCloseEvent* e) {
    PrepareShutdown();
    if (processDlg_)
        processDlg_->hide();
    if (checkingDlg_)
        checkingDlg_->hide();
    e->accept();
}
