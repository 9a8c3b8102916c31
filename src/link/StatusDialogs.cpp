#include "StatusDialogs.h"

void ProcessDlgModel::SetObserver(Observer observer) {
    std::lock_guard<std::mutex> lock(mutex_);
    observer_ = std::move(observer);
}

void ProcessDlgModel::Notify() {
    Observer observer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        observer = observer_;
    }
    if (observer)
        observer();
}

void ProcessDlgModel::SetText(const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        text_ = text;
        if (text_ == shown_)
            return;
        shown_ = text_;
        ++repaints_;
    }
    Notify();
}

std::string ProcessDlgModel::Text() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
}

void ProcessDlgModel::Show() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (visible_)
            return;
        visible_ = true;
    }
    Notify();
}

void ProcessDlgModel::Hide() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!visible_)
            return;
        visible_ = false;
    }
    Notify();
}

bool ProcessDlgModel::IsVisible() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return visible_;
}

void ProcessDlgModel::SetCaption(const std::string& caption) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (caption_ == caption)
            return;
        caption_ = caption;
    }
    Notify();
}

std::string ProcessDlgModel::Caption() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return caption_;
}

int ProcessDlgModel::Repaints() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return repaints_;
}

void ProcessDlgModel::SetProgress(int percent, const std::string& detail) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const int p = percent < -1 ? -1 : percent > 100 ? 100 : percent;
        if (p == percent_ && detail == detail_)
            return;
        percent_ = p;
        detail_ = detail;
    }
    Notify();
}

int ProcessDlgModel::ProgressPercent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return percent_;
}

std::string ProcessDlgModel::ProgressDetail() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return detail_;
}

void CheckingDlgModel::SetText(const std::string& text) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        answer_ = 0;
    }
    ProcessDlgModel::SetText(text);
}

void CheckingDlgModel::AnswerOk() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        answer_ = 1;
    }
    Hide();
}

void CheckingDlgModel::AnswerNo() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        answer_ = 0;
    }
    Hide();
}

int CheckingDlgModel::Answer() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return answer_;
}

void ReceiveProgressModel::SetPosition(int percent) {
    std::lock_guard<std::mutex> lock(mutex_);
    position_ = percent;
    visible_ = true;
}

void ReceiveProgressModel::Hide() {
    std::lock_guard<std::mutex> lock(mutex_);
    visible_ = false;
}

int ReceiveProgressModel::Position() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return position_;
}

bool ReceiveProgressModel::IsVisible() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return visible_;
}
