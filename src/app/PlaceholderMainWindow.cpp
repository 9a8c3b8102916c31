#include "PlaceholderMainWindow.h"

#include "AboutDlg.h"
#include "platform/Prompt.h"

#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {
QString Html(const std::string& text) {
    QString s = QString::fromLocal8Bit(text.c_str()).toHtmlEscaped();
    s.replace(QLatin1String("\r\n"), QLatin1String("<br>"));
    return s;
}
} // namespace

PlaceholderMainWindow::PlaceholderMainWindow(IPrompt& prompt) : prompt_(prompt) {
    setWindowTitle(QString::fromLatin1(kMainTitle));
    resize(1024, 768);
    auto* central = new QWidget(this);
    status_ = new QLabel(central);
    status_->setAlignment(Qt::AlignCenter);
    status_->setWordWrap(true);
    download_ = new QPushButton(QStringLiteral("Download results from the analyzer..."), central);
    download_->setMinimumSize(320, 40);
    download_->setEnabled(false);
    linkText_ = new QLabel(central);
    linkText_->setAlignment(Qt::AlignCenter);
    linkText_->setWordWrap(true);
    linkText_->setMinimumHeight(60);
    bar_ = new QProgressBar(central);
    bar_->setRange(0, 100);
    bar_->setMinimumWidth(420);
    bar_->hide();
    auto* about = new QPushButton(QStringLiteral("About Trevanix..."), central);
    connect(about, &QPushButton::clicked, this, &PlaceholderMainWindow::ShowAbout);
    auto* layout = new QVBoxLayout(central);
    layout->addStretch();
    layout->addWidget(status_);
    layout->addSpacing(16);
    layout->addWidget(download_, 0, Qt::AlignCenter);
    layout->addWidget(linkText_);
    layout->addWidget(bar_, 0, Qt::AlignCenter);
    layout->addSpacing(16);
    layout->addWidget(about, 0, Qt::AlignCenter);
    layout->addStretch();
    setCentralWidget(central);
    for (int i = 1; i < 7; ++i) {
        panes_[i] = new QLabel(this);
        panes_[i]->setMinimumWidth(i == 2 ? 160 : 110);
        statusBar()->addPermanentWidget(panes_[i]);
    }
}

PlaceholderMainWindow::~PlaceholderMainWindow() { Shutdown(); }

void PlaceholderMainWindow::FirstInitialisation(const QString& baseFolder,
                                                const QString& dataFolder) {
    databases_ = std::make_unique<CResultDatabases>(baseFolder, &prompt_);
    databases_->OpenDatabases();
    LoadSettings(settings_, baseFolder);

    // The decoder writes status texts from the worker thread: repaint on this one.
    processDlg_.SetObserver([this]() {
        QMetaObject::invokeMethod(this, [this]() { ShowLinkStatus(); }, Qt::QueuedConnection);
    });
    link_ = std::make_unique<CAcquisitionController>(LinkContext{
        serial_, clock_, prompt_, chooser_, *this, *databases_, settings_, ports_, processDlg_,
        checkingDlg_, progress_,
        DecoderFolders{baseFolder, dataFolder.isEmpty() ? baseFolder + "/DATA" : dataFolder},
        nullptr});
    link_->Initialise();
    connect(download_, &QPushButton::clicked, this, [this]() {
        if (link_->State().ManualPhase >= 0)
            return; // a download is already under way
        link_->State().AutoMode = 0;
        link_->FrameCommand(FRAME_COMMAND_TAG, 2); // the download view is shown: scan, then ask
    });
    download_->setEnabled(databases_->DatabaseReady != 0);
    ShowCounts();
}

void PlaceholderMainWindow::ShowCounts() {
    QString text = QStringLiteral("<p style='font-size:16pt'>Trevanix</p>");
    text += QStringLiteral("<p>Result folder: %1</p>")
                .arg(QDir::toNativeSeparators(databases_->BaseFolder()).toHtmlEscaped());
    if (databases_->DatabaseReady) {
        int all, last;
        {
            auto lock = databases_->ResultTable.Lock();
            all = databases_->ResultTable.CountRows();
        }
        {
            auto lock = databases_->DownloadTable.Lock();
            last = databases_->DownloadTable.IsOpen() ? databases_->DownloadTable.CountRows() : 0;
        }
        text += QStringLiteral("<p>%1 results stored, %2 in the last download.</p>")
                    .arg(all)
                    .arg(last);
    } else {
        text += QStringLiteral("<p><b>The result database could not be opened.</b></p>");
    }
    status_->setText(text);
}

void PlaceholderMainWindow::ShowLinkStatus() {
    linkText_->setText(processDlg_.IsVisible() ? Html(processDlg_.Text()) : QString());
    const int percent = processDlg_.ProgressPercent();
    bar_->setVisible(percent >= 0);
    if (percent >= 0) {
        bar_->setValue(percent);
        bar_->setFormat(QString::fromStdString(processDlg_.ProgressDetail()) +
                        QStringLiteral("  (%p%)"));
    }
}

void PlaceholderMainWindow::FillDownloadList() { ShowCounts(); }

void PlaceholderMainWindow::SetStatusPane(int pane, const std::string& text) {
    if (pane >= 1 && pane < 7)
        panes_[pane]->setText(QString::fromLocal8Bit(text.c_str()));
}

void PlaceholderMainWindow::Shutdown() {
    // The link first: a decode under way finishes storing before the tables close.
    if (link_)
        link_->Shutdown();
    if (databases_)
        databases_->CloseDatabases();
}

void PlaceholderMainWindow::closeEvent(QCloseEvent* event) {
    Shutdown();
    event->accept();
}

void PlaceholderMainWindow::ShowAbout() {
    CAboutDlg dlg(this);
    dlg.exec();
}
