#include "TrevanixApp.h"

#include "MainFrame.h"
#include "platform/AppFolders.h"
#include "platform/Prompt.h"

#include <QCoreApplication>
#include <QDir>
#include <chrono>

CTrevanixApp::CTrevanixApp(IPrompt& prompt) : CTrevanixApp(prompt, Options{}) {}

CTrevanixApp::CTrevanixApp(IPrompt& prompt, Options options)
    : prompt_(prompt), options_(std::move(options)), guard_(options_.lockDir) {}

CTrevanixApp::~CTrevanixApp() = default;

bool CTrevanixApp::InitInstance() {
    if (!guard_.TryAcquire()) {
        prompt_.Inform(kAlreadyRunningText, kMessageTitle);
        return false;
    }

    // The list layouts are kept under the same names the program has always used.
    QCoreApplication::setOrganizationName(QString::fromLatin1(kRegistryKey));
    QCoreApplication::setApplicationName(QString::fromLatin1(kAppName));

    // Timing of the link uses the steady clock; its ticks per millisecond.
    using Period = std::chrono::steady_clock::period;
    counterTicksPerMs_ =
        static_cast<double>(Period::den) / static_cast<double>(Period::num) * 0.001;

    dataFolder_ = AppFolders::MakeDataFolder(options_.startDir.isEmpty() ? QDir::currentPath()
                                                                         : options_.startDir);
    baseFolder_ = AppFolders::MakeBaseFolder(
        options_.baseFolder.isEmpty() ? AppFolders::DefaultBaseFolder() : options_.baseFolder);
    // The base folder has a lock of its own, which trevanix-cli takes too: another user's copy
    // (or a command-line download under another runtime folder) may not write the same files.
    folderGuard_ = std::make_unique<SingleInstanceGuard>(baseFolder_);
    if (!folderGuard_->TryAcquire()) {
        prompt_.Inform(kAlreadyRunningText, kMessageTitle);
        return false;
    }

    mainWindow_ = std::make_unique<CMainFrame>(prompt_, baseFolder_, dataFolder_);
    if (options_.showWindow)
        mainWindow_->show();
    mainWindow_->FirstInitialisation();
    return true;
}
