#pragma once
// The main window: the skinned frame, the status bar with its seven panes, the four views of
// which one is shown, the status dialogs, and the host of the analyzer link (it owns the
// acquisition state through the controller and answers the controller's view requests).

#include "controls/RaravFrame.h"
#include "link/LinkCodes.h"
#include "link/LinkStack.h"
#include "settings/Settings.h"
#include "storage/Databases.h"
#include "views/link/GetDataDlg.h"

#include <functional>
#include <memory>
#include <set>

class IPrompt;
class QLabel;
class CProcessDlg;
class CCheckingDlg;
class CHbA1cDeskMainView;
class CHbA1cDeskDownLoadView;
class QDialog;
class QTimer;

inline constexpr const char* kMainTitle = "Trevanix Management Software 1.00.03";
inline constexpr int kFirstPaneId = 0xE900;
// The frame's empty first view (before and beside the ViewIndex ones), and how many there are.
inline constexpr int kViewEmpty = 0;
inline constexpr int kViewCount = kViewGraph + 1;
// The status bar's panes: the message pane (0), then the link's StatusPane ones.
inline constexpr int kPaneTotal = kPanePortIndex + 1;

class CMainFrame : public CRaravFrame, public IFrameHost {
    Q_OBJECT
public:
    // The link runs on the given stack: the real port and clock unless a test gives others.
    CMainFrame(IPrompt& prompt, const QString& baseFolder, const QString& dataFolder,
               std::unique_ptr<LinkStack> link = LinkStack::Real());
    ~CMainFrame() override;

    // Databases, acquisition state, views, status dialogs, settings, home view.
    void FirstInitialisation();

    // A FrameCommandCode from a view, the settings window or the link: the link decides what
    // it does (views, downloads, the automatic sequence).
    void FrameCommand(int tag, int code) { controller_->FrameCommand(tag, code); }
    void SwitchView(int from, int to);
    // The position of a view in the views array; a view not in it counts as 0.
    int IndexOfView(const QWidget* view) const;
    QWidget* View(int i) const { return views_[i]; }
    int ActiveIndex() const { return active_; }
    bool InDocument(const QWidget* view) const { return document_.count(view) > 0; }

    // IFrameHost
    int ActiveView() const override { return active_; }
    void ShowView(int index) override;
    void RefreshActiveView() override;
    void SetStatusPane(int pane, const std::string& text) override;
    // The message pane: what the shown view says (a search, why a click did nothing).
    void ShowMessage(const QString& text);
    QString Message() const;
    QLabel* MessagePane() const { return message_; }

    CAcquisitionController& Link() { return *controller_; }
    CResultDatabases& Databases() { return *db_; }
    ISerialPort& Port() { return *linkStack_->port; }
    LinkStack& Stack() { return *linkStack_; }
    ProcessDlgModel& ProcessModel() { return linkStack_->processDlg; }
    CheckingDlgModel& CheckingModel() { return linkStack_->checkingDlg; }
    CProcessDlg* ProcessDialog() const { return processDlg_; }
    CCheckingDlg* CheckingDialog() const { return checkingDlg_; }
    AppSettings& Settings() { return settings_; }
    // The settings window of the all-data list's settings button. Tests run it their own way.
    void OpenSettingsDialog();
    // "Lab system", from the settings window.
    void OpenLabSystemDialog();
    std::function<int(QDialog&)> RunLabSystemDialog = [](QDialog& dlg) { return dlg.exec(); };
    QLabel* LabPane() const { return labPane_; }
    std::function<int(QDialog&)> RunSettingsDialog = [](QDialog& dlg) { return dlg.exec(); };

    // The shutdown the system close runs first; safe to call more than once.
    void PrepareShutdown();

protected:
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    IPrompt& prompt_;
    QString baseFolder_, dataFolder_;
    std::unique_ptr<CResultDatabases> db_;
    AppSettings settings_;
    std::unique_ptr<LinkStack> linkStack_;
    CGetDataDlgChooser chooser_{this};
    std::unique_ptr<CAcquisitionController> controller_;
    QWidget* stack_ = nullptr;
    QWidget* views_[kViewCount] = {};
    int active_ = 0;
    std::set<const QWidget*> document_;
    CProcessDlg* processDlg_ = nullptr;
    CCheckingDlg* checkingDlg_ = nullptr;
    QLabel* panes_[kPaneTotal] = {};
    QLabel* message_ = nullptr;
    QLabel* labPane_ = nullptr; // "Lab: 3 waiting"
    std::unique_ptr<class CLabLink> lab_;
    QTimer* labTimer_ = nullptr;
    int changedToken_ = 0; // the lab link's subscription to db_->Changed
    void UpdateLabPane();
    bool automaticShown_ = false; // the mode pane says "automatic"
    bool shutDown_ = false;
};
