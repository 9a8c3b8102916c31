#pragma once
// The all-data list: every stored result, newest first, narrowed by a date range with a PID and
// an OPID, or by a period of 1 to 12 weeks. The search itself (filters, periods, the day rule)
// is done by query/ResultQuery; this view wires it to its controls.

#include "query/ResultQuery.h"
#include "query/ResultSearch.h"
#include "report/CsvExport.h"
#include "views/FormPage.h"
#include "views/RecordDialogs.h"

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class CDateTimeCtrl;
class CListCtrlExt;
class CResultListSource;
class CReportPrinter;
class IPrintSteps;
class CResultDatabases;
class QComboBox;
class QDialog;
class QMenu;
class QAction;

// The message pane is about 45 characters wide beside the link's panes: its texts are short.
inline constexpr const char* kNoEditWhileSearchText =
    "Search shown: delete or change under Period ALL.";

class CHbA1cDeskAllDataListView : public CNavigationPage {
    Q_OBJECT
public:
    CHbA1cDeskAllDataListView(FrameCommandFn command, IDownloadSession& session, IPrompt& prompt,
                              CResultDatabases& db, const AppSettings& settings,
                              QWidget* parent = nullptr);
    ~CHbA1cDeskAllDataListView() override;

    void OnActivate() override { RefreshList(); }
    void Refresh() override { RefreshList(); }

    void RefreshList();
    void FillList();
    void SetDefaultDateRange();
    void OnPeriodChanged(int weeks);
    void OnSearch();
    void OnSwitchToAutomatic() { AskForAutomaticMode(session_, prompt_); }
    // Prints the shown rows in the shown order (print dialog, preview, progress).
    void OnPrint();
    // The print job's dialogs; tests give scripted ones. Without, the system's dialogs.
    void SetPrintSteps(IPrintSteps* steps) { printSteps_ = steps; }

    // One result at a time. A double-click (or Delete) deletes the row's result after asking; a
    // right-click picks it (PickedRecord) and offers "Modify Data" and "Detail view of the
    // data". None of them acts while a search or period is shown.
    void OnDeleteRow(int row, int column);
    // True when the row's result was picked.
    bool OnRowRightClick(int row, int column);
    void OnContextMenu(int row, int column, const QPoint& globalPos);
    void OnModifyData();
    void OnDetailView();

    // How dialogs and the pop-up menu run; tests drive them through their controls instead.
    std::function<int(QDialog&)> RunDialog;
    std::function<QAction*(QMenu&, const QPoint&)> RunMenu;
    // The settings button; the main frame opens its settings window.
    std::function<void()> OpenSettings;
    // Asks, then writes the list as it is shown to a CSV file and opens it.
    void OnExport();
    // The save dialog and the spreadsheet program; tests give their own.
    void SetExportDesktop(CsvDesktop desktop) { exportDesktop_ = std::move(desktop); }
    // Tests: called on the thread that writes a long list, before each page it reads (its
    // first row); false stops the writing as the progress dialog's Cancel does.
    std::function<bool(int firstRow)> ExportPageHook;

    // The delete question: the fixed question, then the result it deletes (date, time, result,
    // PID).
    QString DeleteQuestion(const ListRowKey& key) const;

    // The row's own key, found through the row's binding (it survives a re-sort) and read from
    // the table; valid until the next call. Null when the row is gone.
    const ListRowKey* KeyOfRow(int row) const;
    const std::string& NewestDate() const { return newestDate_; }
    bool KeepFilter() const { return keepFilter_; }
    // True while the list shows a search or a period selection; the row actions wait until it
    // shows every result again.
    bool SearchActive() const { return searchActive_; }
    // The result the last right-click picked, and what the modify dialog returned for it.
    CCurrentRecord& PickedRecord() { return picked_; }
    // The list's own search over the result table (the table's filter and sort stay as they are).
    const CResultSearch& ListSearch() const { return search_; }
    // A list of more rows than this shows its first rows at once and reads the keys of the
    // others and its ID lists on a thread of its own; until they are read those rows show empty
    // and the list does not sort. Its header sorts and its export run on threads too.
    void SetBackgroundReadAbove(int rows);
    // Waits for that reading and for a sort running, and shows what they read.
    void WaitForRows();
    // Today's date; tests give a fixed one.
    void SetToday(std::function<QDate()> today) { today_ = std::move(today); }

    CListCtrlExt* List = nullptr;
    CDateTimeCtrl* StartDate = nullptr;
    CDateTimeCtrl* EndDate = nullptr;
    QComboBox* Period = nullptr;
    QComboBox* PidList = nullptr;
    QComboBox* OpidList = nullptr;
    CPngButton* Search = nullptr;
    CPngButton* Export = nullptr;
    CPngButton* Print = nullptr;
    CPngButton* Automatic = nullptr;
    CPngButton* Settings = nullptr;
    CPngButton* SignIn = nullptr;

private:
    // The period list, the ID lists and the date pickers; the buttons beside and below the list.
    void BuildFilters();
    void BuildButtons();
    // The typed or chosen ID; empty for "ALL Data".
    static std::string FilterId(const QComboBox* list);
    // Shows the rows of the search `filter` (with searchActive_ set), or every row for "".
    void ShowSearch(std::string filter);
    // A change of the stored results: re-read what is shown, when it is shown.
    void OnResultsChanged();
    // The filters of the PID and OPID lists of the rows of `filter`, and the lists read with
    // them, each from one query (on any thread: the reading takes the table's lock).
    static std::array<std::string, 2> IdListFilters(const CResultTable& table,
                                                    const std::string& filter);
    static void ReadIdLists(CResultTable& table, const std::array<std::string, 2>& filters,
                            CIdList& pids, CIdList& opids);
    void ShowIdLists(const CIdList& pids, const CIdList& opids, bool searched);
    // What the reading thread read, shown when it still belongs to the list shown.
    struct BackgroundRead {
        std::vector<RowKey> keys;
        CIdList pids, opids;
    };
    void StartBackgroundRead(bool searched);
    void ShowBackgroundRead(int generation, const BackgroundRead& read, bool searched);

    CResultDatabases& db_;
    const AppSettings& settings_;
    CResultSearch search_;
    std::string searchFilter_; // the filter of the search shown (empty: every row)
    int changedToken_ = 0;     // the subscription to db_.Changed
    bool searchActive_ = false;
    bool keepFilter_ = false; // the next fill reads the search shown, not every row
    CCurrentRecord picked_;
    int listDateFormat_ = 0;                 // the date format the shown rows were written in
    std::string searchedPid_, searchedOpid_; // the IDs of the search shown
    QString searchText_;                     // what the search shown is, for the message pane
    std::string newestDate_;
    ListRowKey newestRow_; // the first row in the order read (the newest), when there are rows
    bool hasNewestRow_ = false;
    std::shared_ptr<CResultListSource> rows_;
    mutable ListRowKey keyOfRow_;
    int backgroundAbove_ = 20000;
    int generation_ = 0; // of the list shown; a reading of an earlier one is dropped
    std::thread reader_; // uses the table under its lock, as every reader does
    std::function<QDate()> today_;
    std::unique_ptr<CReportPrinter> reportPrinter_;
    IPrintSteps* printSteps_ = nullptr;
    CsvDesktop exportDesktop_;
};
