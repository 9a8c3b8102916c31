#include "views/print/PrintDialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

CPrintDialogs::~CPrintDialogs() {
    EndProgress();
}

bool CPrintDialogs::ChoosePrinter(QPrinter& printer) {
    QPrintDialog dialog(&printer, parent_);
    dialog.setWindowTitle(QStringLiteral("Print"));
    // No selection, no page ranges, copies left to the printer. On Linux "Print to File (PDF)"
    // is the way to a PDF file, so the file choice stays.
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
    dialog.setAccessibleName(QStringLiteral("Print"));
    return dialog.exec() == QDialog::Accepted;
}

QSize CPrintDialogs::PreviewSize(const QWidget* parent) {
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    QSize size(820, 900);
    if (screen) {
        // Room for the window frame and its title bar.
        const QSize room = screen->availableGeometry().size() - QSize(16, 48);
        size = size.boundedTo(room);
    }
    return size;
}

bool CPrintDialogs::Preview(QPrinter& printer, const std::function<void(QPrinter&)>& draw) {
    QDialog dialog(parent_);
    dialog.setWindowTitle(QStringLiteral("Print Preview"));
    dialog.setAccessibleName(QStringLiteral("Print Preview"));
    // As tall as a page wants, but never beyond the screen: Print and Close stay in reach on a
    // 1024 x 768 screen.
    dialog.resize(PreviewSize(parent_));
    auto* layout = new QVBoxLayout(&dialog);
    auto* tools = new QHBoxLayout;
    auto* preview = new QPrintPreviewWidget(&printer, &dialog);
    preview->setAccessibleName(QStringLiteral("Pages"));
    auto tool = [&](const QString& text, auto slot) {
        auto* b = new QToolButton(&dialog);
        b->setText(text);
        b->setAccessibleName(text);
        QObject::connect(b, &QToolButton::clicked, preview, slot);
        tools->addWidget(b);
    };
    tool(QStringLiteral("Fit width"), &QPrintPreviewWidget::fitToWidth);
    tool(QStringLiteral("Whole page"), &QPrintPreviewWidget::fitInView);
    tool(QStringLiteral("Zoom in"), [preview]() { preview->zoomIn(); });
    tool(QStringLiteral("Zoom out"), [preview]() { preview->zoomOut(); });
    tool(QStringLiteral("Previous page"),
         [preview]() { preview->setCurrentPage(preview->currentPage() - 1); });
    tool(QStringLiteral("Next page"),
         [preview]() { preview->setCurrentPage(preview->currentPage() + 1); });
    tools->addStretch(1);
    layout->addLayout(tools);
    layout->addWidget(preview, 1);
    auto* buttons = new QDialogButtonBox(&dialog);
    QPushButton* print = buttons->addButton(QStringLiteral("Print"), QDialogButtonBox::AcceptRole);
    print->setAccessibleName(QStringLiteral("Print"));
    QPushButton* close = buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::RejectRole);
    close->setAccessibleName(QStringLiteral("Close"));
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

    cancelled_ = false;
    QObject::connect(preview, &QPrintPreviewWidget::paintRequested, &dialog, [&](QPrinter* shown) {
        draw(*shown);
        // Stopping the preview's drawing stops the job.
        if (cancelled_)
            QTimer::singleShot(0, &dialog, &QDialog::reject);
    });
    preview->fitToWidth();
    return dialog.exec() == QDialog::Accepted && !cancelled_;
}

bool CPrintDialogs::Progress(int done, int total) {
    if (!progress_) {
        cancelled_ = false;
        progress_ = new QProgressDialog(QStringLiteral("Printing the result list..."),
                                        QStringLiteral("Cancel"), 0, total, parent_);
        progress_->setWindowTitle(QStringLiteral("Trevanix"));
        progress_->setAccessibleName(QStringLiteral("Printing"));
        progress_->setWindowModality(Qt::WindowModal);
        progress_->setMinimumDuration(500);
    }
    progress_->setMaximum(total);
    progress_->setValue(done); // a modal progress dialog keeps the window painting
    if (progress_->wasCanceled())
        cancelled_ = true;
    return !cancelled_;
}

void CPrintDialogs::EndProgress() {
    delete progress_.data();
}
