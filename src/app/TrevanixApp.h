#pragma once
// The application object: refuses a second copy, measures the counter rate, makes the base and
// data folders, creates and shows the main window and hands over to its first initialisation.

#include "platform/SingleInstance.h"

#include <QString>
#include <memory>

class IPrompt;
class CMainFrame;

inline constexpr const char* kAlreadyRunningText =
    "HbA1c is already running..\r\n Will automatically terminate the program.";
inline constexpr const char* kRegistryKey = "Local AppWizard-Generated Applications";
inline constexpr const char* kAppName = "Trevanix";

class CTrevanixApp {
public:
    struct Options {
        QString lockDir;    // empty: the user's runtime folder
        QString baseFolder; // empty: from the environment (TREVANIX_HOME, else the data folder)
        QString startDir;   // empty: the current directory
        bool showWindow = true;
    };

    explicit CTrevanixApp(IPrompt& prompt);
    CTrevanixApp(IPrompt& prompt, Options options);
    ~CTrevanixApp();

    // True to run the event loop; false to end the process (second copy).
    bool InitInstance();

    bool AlreadyRunning() const {
        return guard_.AlreadyRunning() || (folderGuard_ && folderGuard_->AlreadyRunning());
    }
    const QString& BaseFolder() const { return baseFolder_; }
    const QString& DataFolder() const { return dataFolder_; }
    double CounterTicksPerMs() const { return counterTicksPerMs_; }
    CMainFrame* MainWindow() const { return mainWindow_.get(); }

private:
    IPrompt& prompt_;
    Options options_;
    SingleInstanceGuard guard_;
    std::unique_ptr<SingleInstanceGuard> folderGuard_;
    QString baseFolder_;
    QString dataFolder_;
    double counterTicksPerMs_ = 0.0;
    std::unique_ptr<CMainFrame> mainWindow_;
};
