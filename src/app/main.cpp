#include "MessageBoxPrompt.h"
#include "TrevanixApp.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

int main(int argc, char* argv[]) {
    // Answered before QApplication exists, so they need no display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("trevanix %s\n", TREVANIX_VERSION_TEXT);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("usage: trevanix [--help] [--version] [Qt options, e.g. -platform NAME]\n"
                        "The window program of the Trevanix HbA1c analyzer: downloads the\n"
                        "analyzer's results and lists, charts, prints and exports them.\n"
                        "  --help     print this text\n"
                        "  --version  print the version\n"
                        "Files are kept in $TREVANIX_HOME, else ~/.local/share/Trevanix.\n"
                        "trevanix-cli does the same without a window; see trevanix(1).\n");
            return 0;
        }
    }
    QApplication qapp(argc, argv);
    MessageBoxPrompt prompt;
    CTrevanixApp app(prompt);
    if (!app.InitInstance())
        return 1;
    return qapp.exec();
}
