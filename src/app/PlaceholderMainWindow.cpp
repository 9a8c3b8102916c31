#include "PlaceholderMainWindow.h"

#include "AboutDlg.h"

#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

PlaceholderMainWindow::PlaceholderMainWindow(IPrompt& prompt) : prompt_(prompt) {
    setWindowTitle(QString::fromLatin1(kMainTitle));
    resize(1024, 768);
    auto* central = new QWidget(this);
    status_ = new QLabel(central);
    status_->setAlignment(Qt::AlignCenter);
    status_->setWordWrap(true);
    auto* about = new QPushButton(QStringLiteral("About Trevanix..."), central);
    connect(about, &QPushButton::clicked, this, &PlaceholderMainWindow::ShowAbout);
    auto* layout = new QVBoxLayout(central);
    layout->addStretch();
    layout->addWidget(status_);
    layout->addWidget(about, 0, Qt::AlignCenter);
    layout->addStretch();
    setCentralWidget(central);
}

PlaceholderMainWindow::~PlaceholderMainWindow() {
    if (databases_)
        databases_->CloseDatabases();
}

void PlaceholderMainWindow::FirstInitialisation(const QString& baseFolder) {
    databases_ = std::make_unique<CResultDatabases>(baseFolder, &prompt_);
    databases_->OpenDatabases();

    QString text = QStringLiteral("<p style='font-size:16pt'>Trevanix</p>");
    text += QStringLiteral("<p>Result folder: %1</p>")
                .arg(QDir::toNativeSeparators(baseFolder).toHtmlEscaped());
    if (databases_->DatabaseReady)
        text += QStringLiteral("<p>%1 results stored, %2 in the last download.</p>")
                    .arg(databases_->ResultTable.RowCount())
                    .arg(databases_->DownloadTable.IsOpen() ? databases_->DownloadTable.RowCount()
                                                            : 0);
    else
        text += QStringLiteral("<p><b>The result database could not be opened.</b></p>");
    status_->setText(text);
}

void PlaceholderMainWindow::closeEvent(QCloseEvent* event) {
    if (databases_)
        databases_->CloseDatabases();
    event->accept();
}

void PlaceholderMainWindow::ShowAbout() {
    CAboutDlg dlg(this);
    dlg.exec();
}
