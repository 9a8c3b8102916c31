#pragma once
// The download view: the results of the last download, the manual/automatic switch, and the
// navigation buttons. Showing it in manual mode starts a manual download.
// Export writes the listed rows to a CSV file (not in automatic mode).

#include "query/ResultSearch.h"
#include "report/CsvExport.h"
#include "views/FormPage.h"

class CResultDatabases;
class IDownloadSession;
class ProcessDlgModel;
class CListCtrlExt;
struct AppSettings;

inline constexpr const char* kReceivingCompleted =
    "Receiving data - Completed \r\n(Close this message box)";
inline constexpr const char* kSwitchToManualQuestion = "Do you want to change in Manual-mode?";
// Short: the message pane is about 45 characters wide.
inline constexpr const char* kBusyAutomaticText = "Automatic mode: switch to manual mode first.";
inline constexpr const char* kBusyDownloadText = "Downloading: other views open when it ends.";
inline constexpr const char* kBusyStatusWindowText = "Close the Process window first (Escape).";

class CHbA1cDeskDownLoadView : public CFormPage {
    Q_OBJECT
public:
    CHbA1cDeskDownLoadView(FrameCommandFn command, IDownloadSession& link, CResultDatabases& db,
                           const AppSettings& settings, ProcessDlgModel& processDlg,
                           IPrompt& prompt, QWidget* parent = nullptr);

    void OnActivate() override;
    void Refresh() override { FillDownloadList(); }
    // The rows of the last download (db.Changed tells of them), and the completed notice.
    void FillDownloadList();
    ~CHbA1cDeskDownLoadView() override;
    CListCtrlExt* List() const { return list_; }
    // Home, Download, All data and Graph act only when nothing is running.
    bool Idle() const;
    // Why they do not act now (empty when idle); a click then shows it in the message pane.
    QString BusyReason() const;
    void OnModeSwitch();
    void OnExport();
    // The save dialog and the spreadsheet program; tests give their own.
    void SetExportDesktop(CsvDesktop desktop) { exportDesktop_ = std::move(desktop); }
    // The folder made current after an export: the start directory's DATA folder unless the
    // frame or a test names it.
    void SetDataFolder(const QString& folder) { dataFolder_ = folder; }

    CPngButton* Home = nullptr;
    CPngButton* Download = nullptr;
    CPngButton* AllData = nullptr;
    CPngButton* Mode = nullptr;
    CPngButton* Graph = nullptr;
    CPngButton* Export = nullptr;

private:
    bool IdleOrSayWhy();

    IDownloadSession& link_;
    CResultDatabases& db_;
    const AppSettings& settings_;
    ProcessDlgModel& processDlg_;
    IPrompt& prompt_;
    CListCtrlExt* list_;
    CResultSearch search_; // over the download table, newest first
    int changedToken_ = 0; // the subscription to db_.Changed
    CsvDesktop exportDesktop_;
    QString startDir_;
    int listDateFormat_ = 0; // the date format the shown rows were written in
    QString dataFolder_;
};
