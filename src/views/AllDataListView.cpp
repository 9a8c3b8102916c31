#include "views/AllDataListView.h"

#include "controls/DateTimeCtrl.h"
#include "platform/Prompt.h"
#include "print/PrintDialogs.h"
#include "storage/Databases.h"
#include "storage/ResultEdit.h"
#include "views/RecordDialogs.h"
#include "views/ListCsvExport.h"
#include "views/list/ListCtrlExt.h"

#include <QAction>
#include <algorithm>
#include <QComboBox>
#include <QDialog>
#include <QFont>
#include <QMenu>
#include <QStringList>

namespace {

struct ColumnSpec {
    const char* title;
    int width;
};
const ColumnSpec kColumns[kListColumnCount] = {
    {"No.", 60},          {"Date", 150},         {"Time", 90}, {"Result.", 120},
    {"Patient ID.", 140}, {"Operator ID.", 140}, {"Note", 140}};

QFont ListFont() {
    QFont f(QStringLiteral("Malgun Gothic"));
    f.setPixelSize(15);
    f.setBold(true);
    return f;
}

} // namespace

CHbA1cDeskAllDataListView::CHbA1cDeskAllDataListView(FrameCommandFn command,
                                                     IDownloadSession& session, IPrompt& prompt,
                                                     CResultDatabases& db,
                                                     const AppSettings& settings, QWidget* parent)
    : CNavigationPage(262, 3, std::move(command), session, prompt, parent), db_(db),
      settings_(settings), today_([]() { return QDate::currentDate(); }) {
    Automatic = Nav[3];

    Period = MakePeriodList(QStringLiteral("ALL"));
    connect(Period, &QComboBox::activated, this, &CHbA1cDeskAllDataListView::OnPeriodChanged);

    PidList = new QComboBox(this);
    PidList->setEditable(true);
    PidList->setGeometry(248, 140, 130, 22);
    PidList->setAccessibleName(QStringLiteral("Patient ID"));
    PidList->addItem(QString::fromLatin1(kAllDataEntry));
    OpidList = new QComboBox(this);
    OpidList->setEditable(true);
    OpidList->setGeometry(438, 140, 130, 22);
    OpidList->setAccessibleName(QStringLiteral("Operator ID"));
    OpidList->addItem(QString::fromLatin1(kAllDataEntry));

    StartDate = new CDateTimeCtrl(this);
    StartDate->setGeometry(600, 140, 120, 25);
    StartDate->setAccessibleName(QStringLiteral("Start date"));
    EndDate = new CDateTimeCtrl(this);
    EndDate->setGeometry(730, 140, 120, 25);
    EndDate->setAccessibleName(QStringLiteral("End date"));

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

    List = new CListCtrlExt(1001, this);
    List->setGeometry(55, 180, 894, 442);
    List->setAccessibleName(QStringLiteral("All results"));
    List->setFont(ListFont());
    List->Header()->setFont(ListFont());
    List->SetCellNavigation(true);
    for (int c = 0; c < kListColumnCount; ++c) {
        List->InsertColumn(c, QString::fromLatin1(kColumns[c].title), Qt::AlignCenter,
                           kColumns[c].width);
        List->SetColumnSort(c, kSortToggle, kCompareInteger);
    }
    List->SetColumnHideable(0, false);
    List->LoadColumnLayout();
    connect(List, &CListCtrlExt::RowDoubleClicked, this, &CHbA1cDeskAllDataListView::OnDeleteRow);
    connect(List, &CListCtrlExt::RowDeleteKey, this, [this](int row) { OnDeleteRow(row, 0); });
    connect(List, &CListCtrlExt::RowContextMenu, this, &CHbA1cDeskAllDataListView::OnContextMenu);

    RunDialog = [](QDialog& dlg) { return dlg.exec(); };
    RunMenu = [](QMenu& menu, const QPoint& at) { return menu.exec(at); };
}

CHbA1cDeskAllDataListView::~CHbA1cDeskAllDataListView() {
    List->SaveColumnLayout();
}

const ListRowKey* CHbA1cDeskAllDataListView::KeyOfRow(int row) const {
    if (row < 0 || row >= List->ItemCount())
        return nullptr;
    const size_t k = static_cast<size_t>(List->ItemData(row));
    return k < rowKeys_.size() ? &rowKeys_[k] : nullptr;
}

void CHbA1cDeskAllDataListView::RefreshList() {
    Period->setCurrentIndex(0);
    SearchActive = 0;
    keepFilter_ = false;
    FillList();
    SetDefaultDateRange();
}

void CHbA1cDeskAllDataListView::FillList() {
    CIdList pids, opids;
    List->DeleteAllItems();
    rowKeys_.clear();
    CResultTable& t = db_.ResultTable;
    if (db_.DatabaseReady && t.IsOpen()) {
        std::vector<ResultRow> rows;
        ReadResultRows(t, keepFilter_, rows);
        std::vector<CListRowRecord> records(rows.size());
        rowKeys_.reserve(rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            const ListCells cells =
                ResultCells(rows[i], static_cast<int>(i) + 1, settings_, ListKind::AllData);
            records[i].cells.assign(cells.begin(), cells.end());
            records[i].itemData = static_cast<qintptr>(i);
            pids.Add(rows[i].key.PID);
            opids.Add(rows[i].key.OPID);
            if (i == 0)
                newestDate_ = rows[i].key.DATE;
            rowKeys_.push_back(std::move(rows[i].key));
        }
        List->AppendItems(std::move(records));
        if (List->ItemCount() > 0)
            List->SelectRow(0);
    }
    keepFilter_ = false;
    auto fillIds = [](QComboBox* box, const CIdList& ids) {
        QStringList items;
        items.reserve(static_cast<qsizetype>(ids.Items().size()));
        for (const std::string& id : ids.Items())
            items << QString::fromLocal8Bit(id.c_str());
        box->clear();
        box->addItems(items);
        box->setCurrentIndex(0);
    };
    fillIds(PidList, pids);
    fillIds(OpidList, opids);
}

void CHbA1cDeskAllDataListView::SetDefaultDateRange() {
    if (newestDate_.empty())
        newestDate_ = DateKey(today_());
    ShowWeekEndingAt(*StartDate, *EndDate, DateFromKey(newestDate_), settings_.Date);
}

void CHbA1cDeskAllDataListView::OnPeriodChanged(int weeks) {
    if (weeks <= 0) {
        SearchActive = 0;
        keepFilter_ = false;
        FillList();
        return;
    }
    const std::string first = List->ItemCount() > 0 ? List->ItemText(0, 1) : std::string();
    ApplyFilter(db_.ResultTable, PeriodFilter(weeks, first, settings_.Date, today_()));
    keepFilter_ = true;
    SearchActive = 1;
    FillList();
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
    ApplyFilter(db_.ResultTable, RangeFilter(start, end, FilterId(PidList), FilterId(OpidList)));
    keepFilter_ = true;
    SearchActive = 1;
    FillList();
}

void CHbA1cDeskAllDataListView::OnDeleteRow(int row, int column) {
    if (SearchActive == 1 || row < 0 || column < 0)
        return;
    const ListRowKey* key = KeyOfRow(row);
    if (!key)
        return;
    // A copy: the question runs an event loop, and the list is refilled below.
    const ListRowKey picked = *key;
    if (!prompt_.Ask(kDeleteQuestion, kMessageTitle))
        return;
    const EditOutcome done = DeleteStoredResult(db_.ResultTable, picked, AuditStampNow());
    if (done.kind == EditOutcome::Failed || done.kind == EditOutcome::AuditFailed) {
        prompt_.Inform(EditFailureText(done, true), kMessageTitle);
        return; // the list stays as it was
    }
    if (done.kind == EditOutcome::NotFound)
        prompt_.Inform(EditFailureText(done, true), kMessageTitle);
    FillList();
    // The row that took the deleted one's place is selected, where the user was.
    if (List->ItemCount() > 0)
        List->SelectRow(std::min(row, List->ItemCount() - 1));
}

bool CHbA1cDeskAllDataListView::OnRowRightClick(int row, int column) {
    if (List->ItemCount() == 0 || SearchActive == 1 || row < 0 || column < 0)
        return false;
    const ListRowKey* key = KeyOfRow(row);
    if (!key)
        return false;
    CurrentRecord.Pick(row, *key);
    return true;
}

void CHbA1cDeskAllDataListView::OnContextMenu(int row, int column, const QPoint& globalPos) {
    // The menu is offered only when its commands act on the row under the cursor.
    if (!OnRowRightClick(row, column))
        return;
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
    if (CurrentRecord.row <= 0)
        return;
    CDataModifyDlg dlg(settings_, prompt_, window());
    if (RunDialog(dlg) != QDialog::Accepted)
        return;
    const CCurrentRecord::Edited& e = CurrentRecord.edited;
    ResultEdits edits;
    edits.PID = e.pid;
    edits.OPID = e.opid;
    edits.p_NAME = e.name;
    edits.p_DOB = BirthdayText(e.birthday);
    edits.P_DIAGNOSE = e.type;
    edits.P_MEMO = e.remark;
    const EditOutcome done =
        ModifyStoredResult(db_.ResultTable, CurrentRecord.key, edits, AuditStampNow());
    if (done.kind == EditOutcome::Failed || done.kind == EditOutcome::AuditFailed) {
        prompt_.Inform(EditFailureText(done, false), kMessageTitle);
        return;
    }
    if (done.kind == EditOutcome::NotFound)
        prompt_.Inform(EditFailureText(done, false), kMessageTitle);
    FillList();
    if (List->ItemCount() > 0)
        List->SelectRow(std::min(CurrentRecord.row - 1, List->ItemCount() - 1));
}

void CHbA1cDeskAllDataListView::OnDetailView() {
    if (CurrentRecord.row <= 0)
        return;
    CDataViewDlg dlg(settings_, window());
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
    if (prompt_.Ask(kExportAllQuestion, kMessageTitle))
        ExportListToCsv(*List, kAllDataCsv, db_.BaseFolder(), prompt_, exportDesktop_);
}
