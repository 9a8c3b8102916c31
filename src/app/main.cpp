#include "MessageBoxPrompt.h"
#include "TrevanixApp.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication qapp(argc, argv);
    MessageBoxPrompt prompt;
    CTrevanixApp app(prompt);
    if (!app.InitInstance())
        return 1;
    return qapp.exec();
}
