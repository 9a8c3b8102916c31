#include "MessageBoxPrompt.h"

#include <QMessageBox>

namespace {
QString Text(const std::string& s) {
    return QString::fromLocal8Bit(s.c_str());
}
} // namespace

void MessageBoxPrompt::Inform(const std::string& text, const std::string& title) {
    QMessageBox::information(parent_, Text(title), Text(text));
}

bool MessageBoxPrompt::Ask(const std::string& text, const std::string& title) {
    return QMessageBox::question(parent_, Text(title), Text(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool MessageBoxPrompt::AskOkCancel(const std::string& text, const std::string& title) {
    return QMessageBox::question(parent_, Text(title), Text(text),
                                 QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Ok) == QMessageBox::Ok;
}

bool MessageBoxPrompt::AskDefaultNo(const std::string& text, const std::string& title) {
    return QMessageBox::question(parent_, Text(title), Text(text),
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}
