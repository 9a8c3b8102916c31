#pragma once
// The one way the program asks or tells the user something. The window build shows message
// boxes, the command-line front end answers on the terminal, tests script the answers; so no
// code below the windows depends on a dialog, and no test ever blocks on one.

#include <string>

class IPrompt {
public:
    virtual ~IPrompt() = default;
    // Shows a message and returns when the user has acknowledged it.
    virtual void Inform(const std::string& text, const std::string& title) = 0;
    // Asks a yes/no question; true for yes.
    virtual bool Ask(const std::string& text, const std::string& title) = 0;
    // Asks for a confirmation with OK and Cancel; true for OK. Where the two pairs of buttons
    // look alike (the terminal, tests), it is the yes/no question.
    virtual bool AskOkCancel(const std::string& text, const std::string& title) {
        return Ask(text, title);
    }
    // A yes/no question whose Yes destroys something: No is the default answer, so Enter says
    // No. Where there is no default button (the terminal, tests), it is the yes/no question.
    virtual bool AskDefaultNo(const std::string& text, const std::string& title) {
        return Ask(text, title);
    }
};

// Title of the program's own message boxes.
inline constexpr const char* kMessageTitle = "Trevanix";
