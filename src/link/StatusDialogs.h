#pragma once
// The state behind the two status dialogs and the progress window. The link controller and the
// decoder write into them from any thread; the windows (built with the main frame) observe them
// and repaint only when the shown text really changes.

#include <functional>
#include <mutex>
#include <string>

// What a status dialog promises to its writers.
class IStatusDialog {
public:
    virtual ~IStatusDialog() = default;
    // Stores the text; the screen changes only when it differs from what is shown.
    virtual void SetText(const std::string& text) = 0;
    virtual std::string Text() const = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual bool IsVisible() const = 0;
};

// CProcessDlg's state: a text line and one button whose caption the link sets.
class ProcessDlgModel : public IStatusDialog {
public:
    // Called (on the writer's thread, without the model's lock held) after a change that the
    // window must show: a new text, a new caption, shown or hidden.
    using Observer = std::function<void()>;
    void SetObserver(Observer observer);

    void SetText(const std::string& text) override;
    std::string Text() const override;
    void Show() override;
    void Hide() override;
    bool IsVisible() const override;
    void SetCaption(const std::string& caption);
    std::string Caption() const;
    // How many times the text on the screen had to change (a repeated text does not count).
    int Repaints() const;

    // Progress of a long transfer: -1 when no bar is shown, else 0-100 and a line of detail.
    void SetProgress(int percent, const std::string& detail);
    int ProgressPercent() const;
    std::string ProgressDetail() const;

protected:
    void Notify();
    mutable std::mutex mutex_;
    std::string text_;
    std::string shown_;
    std::string caption_ = "Close";
    bool visible_ = false;
    int repaints_ = 0;
    int percent_ = -1;
    std::string detail_;
    Observer observer_;
};

// CCheckingDlg's state: as the process dialog, plus the answer flag (1 after "OK").
class CheckingDlgModel : public ProcessDlgModel {
public:
    void SetText(const std::string& text) override; // also resets the answer to 0
    void AnswerOk();                                // answer 1, hide
    void AnswerNo();                                // answer 0, hide
    int Answer() const;

private:
    int answer_ = 0;
};

// CReceiveProgressWnd: the decoder reports the check pass to it. It has no window of its own;
// the last position is kept for whoever shows it.
class ReceiveProgressModel {
public:
    void SetPosition(int percent);
    void Hide();
    int Position() const;
    bool IsVisible() const;

private:
    mutable std::mutex mutex_;
    int position_ = 0;
    bool visible_ = false;
};
