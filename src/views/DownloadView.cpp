#include "views/DownloadView.h"

#include "settings/DisplayFormats.h"
#include "link/AcquisitionController.h"
#include "platform/Prompt.h"
#include "storage/Databases.h"

#include <QFont>
#include <QHeaderView>
#include <QTableWidget>

CHbA1cDeskDownLoadView::CHbA1cDeskDownLoadView(FrameCommandFn command,
                                               CAcquisitionController& link, CResultDatabases& db,
                                               const AppSettings& settings,
                                               ProcessDlgModel& processDlg, IPrompt& prompt,
                                               QWidget* parent)
    : CFormPage(261, std::move(command), parent), link_(link), db_(db), settings_(settings),
      processDlg_(processDlg), prompt_(prompt) {
    Home = NavButton(336, 213, 214);
    Download = NavButton(452, 216, 216); // marks the current view
    AllData = NavButton(568, 217, 218);
    Mode = NavButton(684, 219, 220);
    Graph = NavButton(800, 221, 222);
    Export = ActionButton(134, 863, 135);
    connect(Home, &QAbstractButton::clicked, this, [this]() {
        if (Idle())
            Send(1);
    });
    connect(Download, &QAbstractButton::clicked, this, [this]() {
        if (!Idle())
            return;
        list_->setRowCount(0);
        Send(2);
    });
    connect(AllData, &QAbstractButton::clicked, this, [this]() {
        if (Idle())
            Send(3);
    });
    connect(Graph, &QAbstractButton::clicked, this, [this]() {
        if (Idle())
            Send(4);
    });
    connect(Mode, &QAbstractButton::clicked, this, &CHbA1cDeskDownLoadView::OnModeSwitch);

    list_ = new QTableWidget(0, 7, this);
    list_->setGeometry(55, 180, 894, 488);
    list_->setHorizontalHeaderLabels({QStringLiteral("No."), QStringLiteral("Date"),
                                      QStringLiteral("Time"), QStringLiteral("Result."),
                                      QStringLiteral("PID"), QStringLiteral("OPID"),
                                      QStringLiteral("Note")});
    const int widths[] = {60, 150, 130, 120, 130, 130, 130};
    for (int i = 0; i < 7; ++i)
        list_->setColumnWidth(i, widths[i]);
    QFont f = list_->font();
    f.setBold(true);
    f.setPixelSize(15);
    list_->setFont(f);
    list_->horizontalHeader()->setFont(f);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(32);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setShowGrid(true);
}

bool CHbA1cDeskDownLoadView::Idle() const {
    const AcquisitionState& s = link_.State();
    return s.AutoMode == 0 && s.ManualPhase < 0 && !processDlg_.IsVisible();
}

void CHbA1cDeskDownLoadView::OnActivate() {
    list_->setRowCount(0);
    AcquisitionState& s = link_.State();
    if (s.AutoMode == 1)
        Send(30); // automatic mode goes on with this view shown
    else
        link_.SignalScan(); // showing the view starts a manual download
}

void CHbA1cDeskDownLoadView::OnModeSwitch() {
    AcquisitionState& s = link_.State();
    if (s.AutoMode == 1) {
        if (s.AutoStep > 25)
            return;
        if (!prompt_.Ask(kSwitchToManualQuestion, kMessageTitle))
            return;
        list_->setRowCount(0);
        processDlg_.Hide();
        s.AutoMode = 0;
        s.ManualPhase = 0;
        Send(50);
    } else {
        // The list and the status dialog are cleared before automatic mode starts.
        if (!prompt_.Ask(kSwitchToAutoQuestion, kMessageTitle))
            return;
        list_->setRowCount(0);
        processDlg_.Hide();
        s.AutoMode = 1;
        Send(30);
    }
}

void CHbA1cDeskDownLoadView::FillDownloadList() {
    const bool automatic = link_.State().AutoMode == 1;
    if (!automatic)
        list_->setRowCount(0);
    CResultTable& t = db_.DownloadTable;
    if (db_.DatabaseReady && t.IsOpen()) {
        auto lock = t.Lock();
        const int n = t.RowCount();
        t.MoveFirst();
        RequeryDefault(t);
        // In automatic mode the new rows go below the earlier ones, their numbers continuing.
        const int start = automatic ? list_->rowCount() : 0;
        for (int i = start; i < start + n; ++i) {
            if (t.IsEOF())
                break;
            const HbA1cRecord& r = t.Record;
            list_->insertRow(i);
            const std::string texts[7] = {
                std::to_string(i + 1),
                FormatRecordDate(r.DATE.c_str(), r.TIME.c_str(), settings_.Date,
                                 DateTimeStyle::List),
                FormatRecordTime(r.DATE.c_str(), r.TIME.c_str(), settings_.time,
                                 DateTimeStyle::List),
                FormatResultText(r.HbA1c_VALUE.c_str(), settings_.unit),
                r.PID.c_str(),
                r.OPID.c_str(),
                r.EQ_TYPE.c_str()};
            for (int c = 0; c < 7; ++c) {
                auto* item = new QTableWidgetItem(QString::fromLocal8Bit(texts[c].c_str()));
                item->setTextAlignment(Qt::AlignCenter);
                list_->setItem(i, c, item);
            }
            t.MoveNext();
        }
        if (list_->rowCount() > 0)
            list_->selectRow(0);
    }
    processDlg_.SetText(kReceivingCompleted);
    processDlg_.Show();
}
