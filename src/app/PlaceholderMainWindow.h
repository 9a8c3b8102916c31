#pragma once
// Stand-in main window until the skinned main frame is built: it owns the result databases,
// runs the first initialisation and closes the databases on close.

#include "storage/Databases.h"

#include <QMainWindow>
#include <memory>

class IPrompt;
class QLabel;

inline constexpr const char* kMainTitle = "Trevanix Management Software 1.00.03";

class PlaceholderMainWindow : public QMainWindow {
public:
    explicit PlaceholderMainWindow(IPrompt& prompt);
    ~PlaceholderMainWindow() override;

    // Opens the databases and the user list, then shows what was found.
    void FirstInitialisation(const QString& baseFolder);
    CResultDatabases* Databases() const { return databases_.get(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowAbout();

    IPrompt& prompt_;
    std::unique_ptr<CResultDatabases> databases_;
    QLabel* status_ = nullptr;
};
