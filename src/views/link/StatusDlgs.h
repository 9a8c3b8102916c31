#pragma once
// The windows of the two status dialogs. Their state (text, caption, shown or hidden, progress,
// answer) lives in the models of link/StatusDialogs, which any thread may write; the windows
// follow the models on their own thread and write back only what the user does (Close, OK).

#include "link/StatusDialogs.h"

#include <QDialog>
#include <functional>

class CPercentBar;
class QPushButton;

// The text line: a gradient from white to steel blue behind the text.
class CGradientText : public QWidget {
public:
    explicit CGradientText(QWidget* parent = nullptr);
    void SetText(const QString& text);
    QString Text() const { return text_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString text_;
};

class CProcessDlg : public QDialog {
public:
    CProcessDlg(ProcessDlgModel& model, QWidget* parent = nullptr);
    ~CProcessDlg() override;
    // Brings the window in line with the model (queued from any thread by the model).
    void Sync();
    CGradientText* TextLine() const { return text_; }
    QPushButton* CloseButton() const { return close_; }
    CPercentBar* Bar() const { return bar_; }
    // The user closed the box (after the model was hidden).
    std::function<void()> OnUserClose;

protected:
    void reject() override; // the Close button, Esc and the close box only hide

private:
    ProcessDlgModel& model_;
    CGradientText* text_;
    QPushButton* close_;
    CPercentBar* bar_;
};

class CCheckingDlg : public QDialog {
public:
    CCheckingDlg(CheckingDlgModel& model, QWidget* parent = nullptr);
    ~CCheckingDlg() override;
    void Sync();
    CGradientText* TextLine() const { return text_; }
    QPushButton* OkButton() const { return ok_; }
    // The user answered (OK, NO or the close box), after the model took the answer.
    std::function<void()> OnUserAnswer;

protected:
    void reject() override;

private:
    CheckingDlgModel& model_;
    CGradientText* text_;
    QPushButton* ok_;
    QPushButton* no_;
};
