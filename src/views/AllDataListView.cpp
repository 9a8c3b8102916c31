#include "views/AllDataListView.h"

#include "controls/DateTimeCtrl.h"
#include "platform/Prompt.h"
#include "query/ResultEdit.h"
#include "settings/DisplayFormats.h"
#include "storage/Databases.h"
#include "views/ListCsvExport.h"
#include "views/RecordDialogs.h"
#include "views/list/ListCtrlExt.h"
#include "views/list/ResultListSource.h"
#include "views/print/PrintDialogs.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFont>
#include <QLocale>
#include <QMenu>
#include <QSet>
#include <QStringList>
#include <algorithm>
#include <iterator>

namespace {

const char* const kColumnTitles[kResultColumnCount] = {
    "No.", "Date", "Time", "Result.", "Patient ID.", "Operator ID.", "Note"};

// The IDs into an ID list, "ALL Data" chosen. Shown without the padding the IDs are stored with
// (the search ignores it too); IDs that differ only in it are shown once. A set: a list can hold
// thousands of patients.
void ShowIds(QComboBox& box, const CIdList& ids) {
    QStringList items;
    items.reserve(static_cast<qsizetype>(ids.Items().size()));
    QSet<QString> seen;
    seen.reserve(static_cast<qsizetype>(ids.Items().size()));
    for (const std::string& id : ids.Items()) {
        const QString shown = QString::fromLocal8Bit(TrimmedId(id).c_str());
        const QString key = shown.toLower();
        if (!seen.contains(key)) {
            seen.insert(key);
            items << shown;
        }
    }
    box.clear();
    box.addItems(items);
    box.setCurrentIndex(0);
}

} // namespace

CHbA1cDeskAllDataListView::CHbA1cDeskAllDataListView(FrameCommandFn command,
                                                     IDownloadSession& session, IPrompt& prompt,
                                                     CResultDatabases& db,
                                                     const AppSettings& settings, QWidget* parent)
    : CNavigationPage(262, kViewAllData, std::move(command), session, prompt, parent), db_(db),
      settings_(settings), search_(db.ResultTable), today_([]() { return QDate::currentDate(); }) {
    search_.SetOrder(kResultListOrder);
    Automatic = Nav[kNavAutomatic];

    BuildFilters();
    BuildButtons();
    List = new CListCtrlExt(1001, this);
    List->setGeometry(55, 180, 894, 442);
    List->setAccessibleName(QStringLiteral("All results"));
    SetUpResultList(*List, kColumnTitles, [this]() { return listDateFormat_; });
    List->SetBackgroundSortAbove(backgroundAbove_);
    connect(List, &CListCtrlExt::RowDoubleClicked, this, &CHbA1cDeskAllDataListView::OnDeleteRow);
    connect(List, &CListCtrlExt::RowDeleteKey, this, [this](int row) { OnDeleteRow(row, 0); });
    connect(List, &CListCtrlExt::RowContextMenu, this, &CHbA1cDeskAllDataListView::OnContextMenu);

    // The keyboard goes through the page as it is laid out: the view buttons, the filters left
    // to right, Search, the column headers, the list, then the buttons below it.
    QWidget* order[] = {Nav[kNavHome],
                        Nav[kNavDownload],
                        Nav[kNavAllData],
                        Nav[kNavAutomatic],
                        Nav[kNavGraph],
                        Period,
                        PidList,
                        OpidList,
                        StartDate,
                        EndDate,
                        Search,
                        List->Header(),
                        List,
                        Settings,
                        SignIn,
                        Export,
                        Print};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    RunDialog = [](QDialog& dlg) { return dlg.exec(); };
    RunMenu = [](QMenu& menu, const QPoint& at) { return menu.exec(at); };
    changedToken_ = db_.Changed.Subscribe([this](ResultsChange, int) { OnResultsChanged(); });
}

void CHbA1cDeskAllDataListView::BuildFilters() {
    Period = MakePeriodList(QStringLiteral("ALL"));
    connect(Period, &QComboBox::activated, this, &CHbA1cDeskAllDataListView::OnPeriodChanged);

    PidList = new QComboBox(this);
    PidList->setEditable(true);
    PidList->setGeometry(248, 140, 130, 22);
    PidList->addItem(QString::fromLatin1(kAllDataEntry));
    LabelFilter(PidList, QStringLiteral("Patient ID"), QStringLiteral("Patient ID filter"));
    OpidList = new QComboBox(this);
    OpidList->setEditable(true);
    OpidList->setGeometry(438, 140, 130, 22);
    OpidList->addItem(QString::fromLatin1(kAllDataEntry));
    LabelFilter(OpidList, QStringLiteral("Operator ID"), QStringLiteral("Operator ID filter"));

    StartDate = new CDateTimeCtrl(this);
    StartDate->setGeometry(600, 140, 120, 25);
    LabelFilter(StartDate, QStringLiteral("From"), QStringLiteral("From date"));
    EndDate = new CDateTimeCtrl(this);
    EndDate->setGeometry(730, 140, 120, 25);
    LabelFilter(EndDate, QStringLiteral("To"), QStringLiteral("To date"));
    for (CDateTimeCtrl* picker : {StartDate, EndDate})
        connect(picker, &CDateTimeCtrl::DateRefused, this,
                [this](const QString& why) { Say(why); });
}

void CHbA1cDeskAllDataListView::BuildButtons() {
    Search = ActionButton(273, 863, 137);
    Search->setAccessibleName(QStringLiteral("Search"));
    connect(Search, &QAbstractButton::clicked, this, &CHbA1cDeskAllDataListView::OnSearch);
    Settings = ActionButton(276, 55, 632);
    Settings->setAccessibleName(QStringLiteral("Settings"));
    connect(Settings, &QAbstractButton::clicked, this, [this]() {
        if (OpenSettings)
            OpenSettings();
    });
    Export = ActionButton(134, 775, 632);
    Export->setAccessibleName(QStringLiteral("Export"));
    connect(Export, &QAbstractButton::clicked, this, &CHbA1cDeskAllDataListView::OnExport);
    exportDesktop_ = SystemCsvDesktop(this);
    Print = ActionButton(274, 863, 632);
    Print->setAccessibleName(QStringLiteral("Print"));
    connect(Print, &QAbstractButton::clicked, this, &CHbA1cDeskAllDataListView::OnPrint);
    SignIn = ActionButton(171, 500, 632);
    SignIn->setAccessibleName(QStringLiteral("Sign In"));
    SignIn->hide();
    SignIn->setEnabled(false);
}

CHbA1cDeskAllDataListView::~CHbA1cDeskAllDataListView() {
    if (reader_.joinable())
        reader_.join();
    db_.Changed.Unsubscribe(changedToken_);
    List->SaveColumnLayout();
}

void CHbA1cDeskAllDataListView::OnResultsChanged() {
    // A list the frame put away is read again when it is shown (OnActivate).
    if (PutAway())
        return;
    keepFilter_ = searchActive_;
    FillList();
}

void CHbA1cDeskAllDataListView::ShowSearch(std::string filter) {
    searchFilter_ = std::move(filter);
    searchActive_ = !searchFilter_.empty();
    keepFilter_ = searchActive_;
    FillList();
}

const ListRowKey* CHbA1cDeskAllDataListView::KeyOfRow(int row) const {
    if (!rows_ || row < 0 || row >= List->ItemCount())
        return nullptr;
    if (!rows_->ShownKeyAt(static_cast<int>(List->ItemData(row)), keyOfRow_))
        return nullptr;
    return &keyOfRow_;
}

void CHbA1cDeskAllDataListView::RefreshList() {
    Period->setCurrentIndex(0);
    ShowSearch(std::string());
    SetDefaultDateRange();
}

std::array<std::string, 2> CHbA1cDeskAllDataListView::IdListFilters(const CResultTable& table,
                                                                    const std::string& filter) {
    std::array<std::string, 2> out;
    for (size_t i = 0; i < out.size(); ++i) {
        // The first row of each ID, in the list's order: the IDs in order of first appearance.
        const std::string once = FirstOfEachIdFilter(table, filter, i == 0 ? "[PID]" : "[OPID]");
        out[i] = filter.empty() ? once : "(" + filter + ") AND " + once;
    }
    return out;
}

void CHbA1cDeskAllDataListView::ReadIdLists(CResultTable& table,
                                            const std::array<std::string, 2>& filters,
                                            CIdList& pids, CIdList& opids) {
    for (size_t i = 0; i < filters.size(); ++i) {
        CResultSearch first(table);
        first.SetFilter(filters[i]);
        first.SetOrder(kResultListOrder);
        std::vector<RowKey> keys;
        std::vector<ResultRow> rows;
        if (first.ReadKeys(keys))
            first.ReadRows(keys, 0, keys.size(), rows);
        for (const ResultRow& r : rows)
            (i == 0 ? pids : opids).Add(i == 0 ? r.key.PID : r.key.OPID);
    }
}

void CHbA1cDeskAllDataListView::ShowIdLists(const CIdList& pids, const CIdList& opids,
                                            bool searched) {
    ShowIds(*PidList, pids);
    ShowIds(*OpidList, opids);
    // After a search the boxes keep the IDs searched for.
    if (searched) {
        if (!searchedPid_.empty())
            PidList->setEditText(QString::fromLocal8Bit(searchedPid_.c_str()));
        if (!searchedOpid_.empty())
            OpidList->setEditText(QString::fromLocal8Bit(searchedOpid_.c_str()));
    }
}

void CHbA1cDeskAllDataListView::SetBackgroundReadAbove(int rows) {
    backgroundAbove_ = rows;
    List->SetBackgroundSortAbove(rows);
}

void CHbA1cDeskAllDataListView::WaitForRows() {
    if (reader_.joinable()) {
        reader_.join();
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }
    List->WaitForSort();
}

void CHbA1cDeskAllDataListView::StartBackgroundRead(bool searched) {
    const int generation = generation_;
    const CResultSearch search = rows_->Search();
    // Made here: the thread touches the table only through its statements, under its lock.
    const std::array<std::string, 2> idFilters = IdListFilters(search.Table(), search.Filter());
    reader_ = std::thread([this, generation, search, idFilters, searched]() {
        auto read = std::make_shared<BackgroundRead>();
        search.ReadKeys(read->keys);
        ReadIdLists(search.Table(), idFilters, read->pids, read->opids);
        QMetaObject::invokeMethod(
            this,
            [this, generation, read, searched]() {
                ShowBackgroundRead(generation, *read, searched);
            },
            Qt::QueuedConnection);
    });
}

void CHbA1cDeskAllDataListView::ShowBackgroundRead(int generation, const BackgroundRead& read,
                                                   bool searched) {
    if (generation != generation_ || !rows_)
        return;
    if (reader_.joinable())
        reader_.join(); // it has finished: this is its last step
    const int selected = List->SelectedRow();
    if (static_cast<int>(read.keys.size()) == rows_->RowCount()) {
        rows_->SetKeys(read.keys, rows_->RowCount());
        List->Model()->SourceRowsChanged();
    } else {
        // Rows were stored or deleted meanwhile: the list starts again at its first row.
        rows_->SetKeys(read.keys, static_cast<int>(read.keys.size()));
        List->SetRowSource(rows_);
        if (List->ItemCount() > 0)
            List->SelectRow(std::min(std::max(selected, 0), List->ItemCount() - 1));
    }
    ShowIdLists(read.pids, read.opids, searched);
}

void CHbA1cDeskAllDataListView::FillList() {
    // A reading still under way belongs to the list this one replaces.
    if (reader_.joinable())
        reader_.join();
    ++generation_;
    List->DeleteAllItems();
    rows_.reset();
    hasNewestRow_ = false;
    listDateFormat_ = settings_.Date;
    const bool ready = db_.DatabaseReady && db_.ResultTable.IsOpen();
    search_.SetFilter(keepFilter_ ? searchFilter_ : std::string());
    bool background = false;
    if (ready) {
        // Only the keys are read here; the rows are read when they are shown.
        auto rows = std::make_shared<CResultListSource>(search_, settings_, ListKind::AllData);
        const int count = search_.Count();
        background = count > backgroundAbove_;
        if (background) {
            // The keys of the first page now (the newest rows, one pass without a full sort).
            CResultSearch first(search_);
            first.SetFilter("ROWID IN (SELECT ROWID FROM " + db_.ResultTable.QuotedName() +
                            (search_.Filter().empty() ? "" : " WHERE " + search_.Filter()) +
                            " ORDER BY " + kResultListOrder + " LIMIT " +
                            std::to_string(CListModel::kPageRows) + ")");
            first.SetOrder(kResultListOrder);
            std::vector<RowKey> keys;
            first.ReadKeys(keys);
            rows->SetKeys(std::move(keys), count);
        } else {
            rows->Load();
        }
        ResultRow newest;
        if (rows->ReadRowAt(0, newest)) {
            newestRow_ = newest.key;
            newestDate_ = newest.key.DATE;
            hasNewestRow_ = true;
        }
        rows_ = rows;
        List->SetRowSource(std::move(rows));
        if (List->ItemCount() > 0) {
            List->SelectRow(0);
            List->ItemText(0, 0); // the first page is read before the thread takes the table
        }
    }
    const bool searched = keepFilter_;
    keepFilter_ = false;
    CIdList pids, opids;
    if (ready && !background)
        ReadIdLists(db_.ResultTable, IdListFilters(db_.ResultTable, search_.Filter()), pids, opids);
    ShowIdLists(pids, opids, searched);
    if (background)
        StartBackgroundRead(searched);
    List->SetEmptyText(searched && List->ItemCount() == 0 ? QString::fromLatin1(kNoMatchText)
                                                          : QString());
    if (searched)
        Say(CountText(List->ItemCount()) + searchText_); // the count first: never cut off
    else
        Say(QString());
}

void CHbA1cDeskAllDataListView::SetDefaultDateRange() {
    if (newestDate_.empty())
        newestDate_ = DateKey(today_());
    ShowWeekEndingAt(*StartDate, *EndDate, DateFromKey(newestDate_), settings_.Date);
}

void CHbA1cDeskAllDataListView::OnPeriodChanged(int weeks) {
    if (weeks <= 0) {
        ShowSearch(std::string());
        return;
    }
    // The newest result shown, whatever column the list is sorted by (the rows' keys stay in the
    // order read, newest first).
    const std::string first =
        !hasNewestRow_ ? std::string()
                       : FormatRecordDate(newestRow_.DATE.c_str(), newestRow_.TIME.c_str(),
                                          settings_.Date, DateTimeStyle::List);
    const std::string filter = PeriodFilter(weeks, first, settings_.Date, today_());
    searchedPid_.clear();
    searchedOpid_.clear();
    // "2 weeks to 2024-03-15"
    searchText_ = QStringLiteral("%1 to %2")
                      .arg(Period->itemText(weeks),
                           first.empty() ? today_().toString(StartDate->displayFormat())
                                         : QString::fromLocal8Bit(first.c_str()));
    ShowSearch(filter);
}

std::string CHbA1cDeskAllDataListView::FilterId(const QComboBox* list) {
    // A typed ID counts as chosen; "ALL Data" (the first entry) means no ID condition.
    const QString text = list->currentText();
    if (text.isEmpty() || text == QString::fromLatin1(kAllDataEntry))
        return {};
    return text.toLocal8Bit().toStdString();
}

void CHbA1cDeskAllDataListView::OnSearch() {
    const QDateTime start(StartDate->GetDate(), QTime(0, 0));
    const QDateTime end(EndDate->GetDate(), QTime(0, 0));
    const RangeCheck check = CheckSearchRange(start, end);
    if (check != RangeCheck::Ok) {
        prompt_.Inform(RangeMessage(check), kMessageTitle);
        return;
    }
    searchedPid_ = FilterId(PidList);
    searchedOpid_ = FilterId(OpidList);
    // "2024-03-01..2024-03-15, PID 12, OPID 7"
    searchText_ = StartDate->text() + QStringLiteral("..") + EndDate->text();
    if (!searchedPid_.empty())
        searchText_ += QStringLiteral(", PID ") + QString::fromLocal8Bit(searchedPid_.c_str());
    if (!searchedOpid_.empty())
        searchText_ += QStringLiteral(", OPID ") + QString::fromLocal8Bit(searchedOpid_.c_str());
    ShowSearch(RangeFilter(start, end, searchedPid_, searchedOpid_));
}

QString CHbA1cDeskAllDataListView::DeleteQuestion(const ListRowKey& key) const {
    const char* d = key.DATE.c_str();
    const char* t = key.TIME.c_str();
    return QString::fromLatin1(kDeleteQuestion) +
           QStringLiteral("\r\n\r\n%1  %2  %3  PID %4")
               .arg(QString::fromLatin1(
                        FormatRecordDate(d, t, settings_.Date, DateTimeStyle::List).c_str()),
                    QString::fromLatin1(
                        FormatRecordTime(d, t, settings_.time, DateTimeStyle::List).c_str()),
                    QString::fromLatin1(
                        FormatResultText(key.HbA1c_VALUE.c_str(), settings_.unit).c_str()),
                    QString::fromLocal8Bit(TrimmedId(key.PID).c_str()));
}

void CHbA1cDeskAllDataListView::OnDeleteRow(int row, int column) {
    if (row < 0 || column < 0)
        return;
    if (searchActive_) {
        Say(QString::fromLatin1(kNoEditWhileSearchText));
        return;
    }
    const ListRowKey* key = KeyOfRow(row);
    if (!key)
        return;
    // A copy: the question runs an event loop, and the list is refilled below.
    const ListRowKey picked = *key;
    if (!prompt_.AskDefaultNo(DeleteQuestion(picked).toLocal8Bit().toStdString(), kMessageTitle))
        return;
    const EditOutcome done = DeleteStoredResult(db_.ResultTable, picked, AuditStampNow());
    if (done.kind == EditOutcome::Failed || done.kind == EditOutcome::AuditFailed) {
        prompt_.Inform(EditFailureText(done, true), kMessageTitle);
        return; // the list stays as it was
    }
    if (done.kind == EditOutcome::NotFound) {
        prompt_.Inform(EditFailureText(done, true), kMessageTitle);
        FillList(); // someone else changed the row: show what is stored now
    } else {
        db_.Changed.Notify(ResultsChange::Deleted, done.rows);
    }
    // The row that took the deleted one's place is selected, where the user was.
    if (List->ItemCount() > 0)
        List->SelectRow(std::min(row, List->ItemCount() - 1));
}

bool CHbA1cDeskAllDataListView::OnRowRightClick(int row, int column) {
    if (List->ItemCount() == 0 || searchActive_ || row < 0 || column < 0)
        return false;
    const ListRowKey* key = KeyOfRow(row);
    if (!key)
        return false;
    picked_.Pick(row, *key);
    return true;
}

void CHbA1cDeskAllDataListView::OnContextMenu(int row, int column, const QPoint& globalPos) {
    // The menu is offered only when its commands act on the row under the cursor.
    if (!OnRowRightClick(row, column)) {
        if (searchActive_ && row >= 0)
            Say(QString::fromLatin1(kNoEditWhileSearchText));
        return;
    }
    QMenu menu(window());
    menu.setAccessibleName(QStringLiteral("Result actions"));
    QAction* modify = menu.addAction(QString::fromLatin1(kModifyMenuText));
    QAction* detail = menu.addAction(QString::fromLatin1(kDetailMenuText));
    QAction* chosen = RunMenu(menu, globalPos);
    if (chosen == modify)
        OnModifyData();
    else if (chosen == detail)
        OnDetailView();
}

void CHbA1cDeskAllDataListView::OnModifyData() {
    if (picked_.row <= 0)
        return;
    CDataModifyDlg dlg(picked_, settings_, prompt_, window());
    if (RunDialog(dlg) != QDialog::Accepted)
        return;
    const CCurrentRecord::Edited& e = picked_.edited;
    ResultEdits edits;
    edits.PID = e.pid;
    edits.OPID = e.opid;
    edits.p_NAME = e.name;
    edits.p_DOB = BirthdayText(e.birthday);
    edits.P_DIAGNOSE = e.type;
    edits.P_MEMO = e.remark;
    const EditOutcome done =
        ModifyStoredResult(db_.ResultTable, picked_.key, edits, AuditStampNow());
    if (done.kind == EditOutcome::Failed || done.kind == EditOutcome::AuditFailed) {
        prompt_.Inform(EditFailureText(done, false), kMessageTitle);
        return;
    }
    if (done.kind == EditOutcome::NotFound) {
        prompt_.Inform(EditFailureText(done, false), kMessageTitle);
        FillList(); // someone else changed the row: show what is stored now
    } else {
        db_.Changed.Notify(ResultsChange::Corrected, done.rows);
    }
    if (List->ItemCount() > 0)
        List->SelectRow(std::min(picked_.row - 1, List->ItemCount() - 1));
}

void CHbA1cDeskAllDataListView::OnDetailView() {
    if (picked_.row <= 0)
        return;
    CDataViewDlg dlg(picked_, settings_, window());
    RunDialog(dlg);
}

void CHbA1cDeskAllDataListView::OnPrint() {
    if (!reportPrinter_)
        reportPrinter_ = std::make_unique<CReportPrinter>();
    CPrintDialogs dialogs(this);
    ReportRows rows;
    rows.count = List->ItemCount();
    rows.cell = [this](int row, int column) -> const std::string& {
        return List->ItemText(row, column);
    };
    PrintResultList(*reportPrinter_, printSteps_ ? *printSteps_ : dialogs, prompt_, rows);
}

void CHbA1cDeskAllDataListView::OnExport() {
    // An empty list still writes its header line. Afterwards the base folder is current again.
    if (!prompt_.Ask(kExportAllQuestion, kMessageTitle))
        return;
    // Every row's key is needed: a long list may still be reading them (its first seconds).
    WaitForRows();
    ExportListToCsv(*List, kAllDataCsv, db_.BaseFolder(), prompt_, exportDesktop_,
                    ListCsvThreading{backgroundAbove_, ExportPageHook});
}
