#pragma once
// Message boxes for the window build.

#include "platform/Prompt.h"

class QWidget;

class MessageBoxPrompt : public IPrompt {
public:
    void SetParent(QWidget* parent) { parent_ = parent; }
    void Inform(const std::string& text, const std::string& title) override;
    bool Ask(const std::string& text, const std::string& title) override;
    bool AskOkCancel(const std::string& text, const std::string& title) override;
    bool AskDefaultNo(const std::string& text, const std::string& title) override;

private:
    QWidget* parent_ = nullptr;
};
