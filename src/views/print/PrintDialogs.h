#pragma once
// The print job's windows: the system print dialog, a preview of the pages and a progress
// dialog that can cancel a long job.

#include "report/ResultListReport.h"

#include <QPointer>
#include <QSize>

class QProgressDialog;
class QWidget;

class CPrintDialogs : public IPrintSteps {
public:
    explicit CPrintDialogs(QWidget* parent) : parent_(parent) {}
    ~CPrintDialogs() override;

    bool ChoosePrinter(QPrinter& printer) override;
    bool Preview(QPrinter& printer, const std::function<void(QPrinter&)>& draw) override;
    bool Progress(int done, int total) override;
    void EndProgress() override;
    // The preview's size: what a page wants, within the screen the parent is on.
    static QSize PreviewSize(const QWidget* parent);

private:
    QWidget* parent_;
    QPointer<QProgressDialog> progress_;
    bool cancelled_ = false;
};
