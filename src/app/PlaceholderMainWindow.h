#pragma once
// Stand-in main window until the skinned main frame is built: it owns the result databases and
// the analyzer link, runs the first initialisation, offers a manual download and shows its
// status texts, and shuts the link and the databases down on close.

#include "link/AcquisitionController.h"
#include "link/SerialComm.h"
#include "link/dialogs/GetDataDlg.h"
#include "storage/Databases.h"
#include "app/settings/Settings.h"

#include <QMainWindow>
#include <memory>

class IPrompt;
class QLabel;
class QProgressBar;
class QPushButton;

inline constexpr const char* kMainTitle = "Trevanix Management Software 1.00.03";

class PlaceholderMainWindow : public QMainWindow, public IFrameHost {
public:
    explicit PlaceholderMainWindow(IPrompt& prompt);
    ~PlaceholderMainWindow() override;

    // Opens the databases and the user list, loads the settings, starts the link.
    void FirstInitialisation(const QString& baseFolder, const QString& dataFolder = QString());
    CResultDatabases* Databases() const { return databases_.get(); }
    CAcquisitionController* Link() const { return link_.get(); }

    // IFrameHost: this window stands for the download view.
    int ActiveView() const override { return 2; }
    void ShowView(int) override {}
    void RefreshActiveView() override { ShowCounts(); }
    void FillDownloadList() override;
    void SetStatusPane(int pane, const std::string& text) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ShowAbout();
    void ShowCounts();
    void ShowLinkStatus();
    void Shutdown();

    IPrompt& prompt_;
    std::unique_ptr<CResultDatabases> databases_;
    AppSettings settings_;
    CSerialComm serial_;
    QtEventClock clock_;
    CGetDataDlgChooser chooser_{this};
    PortLists ports_;
    ProcessDlgModel processDlg_;
    CheckingDlgModel checkingDlg_;
    ReceiveProgressModel progress_;
    std::unique_ptr<CAcquisitionController> link_;
    QLabel* status_ = nullptr;
    QLabel* linkText_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* download_ = nullptr;
    QLabel* panes_[7] = {};
};
