#include "views/DownloadView.h"

#include "link/DownloadSession.h"
#include "link/StatusDialogs.h"
#include "platform/AppFolders.h"
#include "platform/Prompt.h"
#include "settings/DisplayFormats.h"
#include "storage/Databases.h"
#include "views/ListCsvExport.h"
#include "views/list/ListCtrlExt.h"
#include "views/list/ResultListSource.h"

#include <QDir>
#include <QFont>
#include <iterator>
#include <memory>

CHbA1cDeskDownLoadView::CHbA1cDeskDownLoadView(FrameCommandFn command, IDownloadSession& link,
                                               CResultDatabases& db, const AppSettings& settings,
                                               ProcessDlgModel& processDlg, IPrompt& prompt,
                                               QWidget* parent)
    : CFormPage(261, std::move(command), parent), link_(link), db_(db), settings_(settings),
      processDlg_(processDlg), prompt_(prompt), search_(db.DownloadTable),
      startDir_(QDir::currentPath()) {
    search_.SetOrder(kResultListOrder);
    // A download that stored rows shows them here, whichever view is shown.
    changedToken_ = db_.Changed.Subscribe([this](ResultsChange change, int) {
        if (change == ResultsChange::Stored)
            FillDownloadList();
    });
    Home = NavButton(336, 213, 214);
    Download = NavButton(452, 216, 216); // marks the current view
    AllData = NavButton(568, 217, 218);
    Mode = NavButton(684, 219, 220);
    Graph = NavButton(800, 221, 222);
    Export = ActionButton(134, 863, 135);
    connect(Home, &QAbstractButton::clicked, this, [this]() {
        if (IdleOrSayWhy())
            Send(kCmdShowHome);
    });
    connect(Download, &QAbstractButton::clicked, this, [this]() {
        if (!IdleOrSayWhy())
            return;
        list_->DeleteAllItems();
        Send(kCmdDownload); // this view is shown: a new manual download
    });
    connect(AllData, &QAbstractButton::clicked, this, [this]() {
        if (IdleOrSayWhy())
            Send(kCmdShowAllData);
    });
    connect(Graph, &QAbstractButton::clicked, this, [this]() {
        if (IdleOrSayWhy())
            Send(kCmdShowGraph);
    });
    connect(Mode, &QAbstractButton::clicked, this, &CHbA1cDeskDownLoadView::OnModeSwitch);
    connect(Export, &QAbstractButton::clicked, this, &CHbA1cDeskDownLoadView::OnExport);
    exportDesktop_ = SystemCsvDesktop(this);

    NameNavButton(Home, QStringLiteral("Home"));
    NameNavButton(Download, QStringLiteral("Download"));
    NameNavButton(AllData, QStringLiteral("All data"));
    NameNavButton(Mode, QStringLiteral("Manual or automatic mode"));
    NameNavButton(Graph, QStringLiteral("Graph"));
    Export->setAccessibleName(QStringLiteral("Export"));

    list_ = new CListCtrlExt(1000, this);
    list_->setGeometry(55, 180, 894, 488);
    list_->setAccessibleName(QStringLiteral("Downloaded results"));
    const char* const titles[kResultColumnCount] = {"No.", "Date", "Time", "Result.",
                                                    "PID", "OPID", "Note"};
    SetUpResultList(*list_, titles, [this]() { return listDateFormat_; });

    // The keyboard goes through the page as it is laid out.
    QWidget* order[] = {Home, Download, AllData, Mode, Graph, Export, list_->Header(), list_};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

CHbA1cDeskDownLoadView::~CHbA1cDeskDownLoadView() {
    db_.Changed.Unsubscribe(changedToken_);
    list_->SaveColumnLayout();
}

bool CHbA1cDeskDownLoadView::Idle() const {
    const AcquisitionState& s = link_.State();
    return s.AutoMode == 0 && s.ManualPhase < 0 && !processDlg_.IsVisible();
}

QString CHbA1cDeskDownLoadView::BusyReason() const {
    const AcquisitionState& s = link_.State();
    if (s.AutoMode != 0)
        return QString::fromLatin1(kBusyAutomaticText);
    if (s.ManualPhase >= 0)
        return QString::fromLatin1(kBusyDownloadText);
    if (processDlg_.IsVisible())
        return QString::fromLatin1(kBusyStatusWindowText);
    return {};
}

bool CHbA1cDeskDownLoadView::IdleOrSayWhy() {
    const QString why = BusyReason();
    if (!why.isEmpty())
        Say(why);
    return why.isEmpty();
}

void CHbA1cDeskDownLoadView::OnActivate() {
    list_->DeleteAllItems();
    // Showing the view starts a manual download. In automatic mode the start that showed this
    // view is already under way: starting again here would run two cycles for one request.
    if (link_.State().AutoMode == 0)
        link_.StartManual();
}

void CHbA1cDeskDownLoadView::OnModeSwitch() {
    const AcquisitionState& s = link_.State();
    if (s.AutoMode == 1) {
        if (s.AutoStep > kStepAwaitMeasurement)
            return;
        if (!prompt_.Ask(kSwitchToManualQuestion, kMessageTitle))
            return;
        list_->DeleteAllItems();
        processDlg_.Hide();
        link_.SwitchToManual();
    } else {
        // The list and the status dialog are cleared before automatic mode starts.
        if (!prompt_.Ask(kSwitchToAutoQuestion, kMessageTitle))
            return;
        list_->DeleteAllItems();
        processDlg_.Hide();
        link_.StartAutomatic();
    }
}

void CHbA1cDeskDownLoadView::OnExport() {
    if (link_.State().AutoMode == 1)
        return;
    if (list_->ItemCount() == 0) {
        prompt_.Inform(kNothingToExportText, kMessageTitle);
        return;
    }
    if (!prompt_.Ask(kExportDownloadQuestion, kMessageTitle))
        return;
    // Every row, selected or not; afterwards the data folder is current again.
    const QString data =
        dataFolder_.isEmpty() ? AppFolders::MakeDataFolder(startDir_) : dataFolder_;
    ExportListToCsv(*list_, kDownloadCsv, data, prompt_, exportDesktop_);
}

void CHbA1cDeskDownLoadView::FillDownloadList() {
    const bool automatic = link_.State().AutoMode == 1;
    if (!automatic)
        list_->DeleteAllItems();
    listDateFormat_ = settings_.Date;
    if (db_.DatabaseReady && db_.DownloadTable.IsOpen() && !automatic) {
        // The keys only; the rows are read when they are shown.
        auto rows = std::make_shared<CResultListSource>(search_, settings_, ListKind::Download);
        rows->Load();
        list_->SetRowSource(std::move(rows));
        if (list_->ItemCount() > 0)
            list_->SelectRow(0);
    } else if (db_.DatabaseReady && db_.DownloadTable.IsOpen()) {
        // Automatic mode keeps its rows: each result read is added below the earlier ones.
        if (list_->Model()->Source())
            list_->DeleteAllItems();
        std::vector<ResultRow> rows;
        std::vector<RowKey> keys;
        if (search_.ReadKeys(keys))
            search_.ReadRows(keys, 0, keys.size(), rows);
        // In automatic mode the new rows go below the earlier ones, their numbers continuing.
        const int start = list_->ItemCount();
        std::vector<CListRowRecord> records(rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            const ListCells cells = ResultCells(rows[i], start + static_cast<int>(i) + 1, settings_,
                                                ListKind::Download);
            records[i].cells.assign(cells.begin(), cells.end());
        }
        list_->AppendItems(std::move(records));
        if (list_->ItemCount() > 0)
            list_->SelectRow(0);
    }
    processDlg_.SetText(kReceivingCompleted);
    processDlg_.Show();
}
