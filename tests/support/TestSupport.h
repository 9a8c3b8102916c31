#pragma once
// Shared by every test program: a prompt that records what the program said and answers from a
// script, and small helpers for files.

#include "platform/Prompt.h"

#include <QByteArray>
#include <QString>
#include <deque>
#include <string>
#include <vector>

class ScriptedPrompt : public IPrompt {
public:
    struct Message {
        std::string text;
        std::string title;
        bool question;
    };
    void Inform(const std::string& text, const std::string& title) override {
        messages.push_back({text, title, false});
    }
    bool Ask(const std::string& text, const std::string& title) override {
        messages.push_back({text, title, true});
        if (answers.empty())
            return false;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
    bool AskDefaultNo(const std::string& text, const std::string& title) override {
        ++askedDefaultNo;
        return Ask(text, title);
    }
    std::vector<Message> messages;
    std::deque<bool> answers;
    int askedDefaultNo = 0; // questions asked with No as the default answer
};

QByteArray ReadAll(const QString& path);
bool WriteAll(const QString& path, const QByteArray& data);
