#include "views/GraphView.h"

#include "controls/DateTimeCtrl.h"
#include "platform/Prompt.h"
#include "settings/DisplayFormats.h"
#include "storage/Databases.h"

#include <QAreaSeries>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGraphicsSimpleTextItem>
#include <QKeyEvent>
#include <QLegend>
#include <QLineSeries>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScatterSeries>
#include <QScrollBar>
#include <QToolTip>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>

CHbA1cDeskGraphDataView::CHbA1cDeskGraphDataView(FrameCommandFn command, IDownloadSession& session,
                                                 IPrompt& prompt, CResultDatabases& db,
                                                 const AppSettings& settings, QWidget* parent)
    : CNavigationPage(264, kViewGraph, std::move(command), session, prompt, parent), db_(db),
      settings_(settings), search_(db.ResultTable), patientSearch_(db.ResultTable),
      today_([]() { return QDate::currentDate(); }) {
    search_.SetOrder(kChartSort);
    patientScan_.setInterval(0);
    connect(&patientScan_, &QTimer::timeout, this, &CHbA1cDeskGraphDataView::ScanPatients);
    changedToken_ = db_.Changed.Subscribe([this](ResultsChange, int) {
        // A chart the frame put away is read again when it is shown (OnActivate).
        if (PutAway())
            return;
        Fill([this]() { DrawGraph(); });
    });
    Automatic = Nav[kNavAutomatic];
    chooseFile_ = [this]() {
        return QFileDialog::getSaveFileName(
            this, QStringLiteral("Save chart"), QDir::home().filePath(DefaultChartFileName()),
            QStringLiteral("PNG image (*.png);;PDF document (*.pdf)"));
    };

    BuildFilters();
    BuildChart();
    BuildChartView();

    // The keyboard goes through the page as it is laid out.
    QWidget* order[] = {Nav[kNavHome],    Nav[kNavDownload],
                        Nav[kNavAllData], Nav[kNavAutomatic],
                        Nav[kNavGraph],   Period,
                        PidList,          StartDate,
                        EndDate,          SaveButton,
                        Search,           ChartView,
                        ScrollBar};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void CHbA1cDeskGraphDataView::BuildFilters() {
    StartDate = new CDateTimeCtrl(this);
    StartDate->setGeometry(438, 140, 110, 25);
    LabelFilter(StartDate, QStringLiteral("From"), QStringLiteral("From date"));
    EndDate = new CDateTimeCtrl(this);
    EndDate->setGeometry(568, 140, 110, 25);
    LabelFilter(EndDate, QStringLiteral("To"), QStringLiteral("To date"));
    for (CDateTimeCtrl* picker : {StartDate, EndDate})
        connect(picker, &CDateTimeCtrl::DateRefused, this,
                [this](const QString& why) { Say(why); });

    Period = MakePeriodList(QStringLiteral("All"));
    connect(Period, &QComboBox::activated, this, &CHbA1cDeskGraphDataView::OnPeriodChanged);

    // Editable, as in the all-data list: with many patients, typing the ID is quicker.
    PidList = new QComboBox(this);
    PidList->setEditable(true);
    PidList->setInsertPolicy(QComboBox::NoInsert);
    PidList->setGeometry(248, 140, 130, 22);
    PidList->addItem(QString::fromLatin1(kAllDataEntry));
    LabelFilter(PidList, QStringLiteral("Patient ID"), QStringLiteral("Patient ID filter"));
    connect(PidList, &QComboBox::activated, this, &CHbA1cDeskGraphDataView::OnPatientChosen);

    Search = ActionButton(273, 863, 135);
    Search->setAccessibleName(QStringLiteral("Search"));
    connect(Search, &QAbstractButton::clicked, this, &CHbA1cDeskGraphDataView::OnSearch);
    SaveButton = ActionButton(294, 763, 135);
    SaveButton->setAccessibleName(QStringLiteral("Save chart"));
    SaveButton->setToolTip(QStringLiteral("Save chart (PNG or PDF)"));
    connect(SaveButton, &QAbstractButton::clicked, this, &CHbA1cDeskGraphDataView::OnSaveChart);
    Unused = new CPngButton(this);
    Unused->setAccessibleName(QStringLiteral("Unused"));
    Unused->hide();
    Unused->setEnabled(false);
}

CHbA1cDeskGraphDataView::~CHbA1cDeskGraphDataView() {
    db_.Changed.Unsubscribe(changedToken_);
    // The threads use their own searches over the table, but post to the view.
    counters_.JoinAll();
}

void CHbA1cDeskGraphDataView::ShowFilter(std::string filter) {
    keepFilter_ = searchActive_ = !filter.empty();
    pidOnly_ = false;
    search_.SetFilter(std::move(filter));
}

void CHbA1cDeskGraphDataView::RefreshGraph() {
    Period->setCurrentIndex(0);
    ShowFilter(std::string());
    shownPid_.clear();
    shownFrom_ = shownTo_ = QDate();
    FillGraphData();
    ResetDatePickers();
    DrawGraph();
    Say(QString());
}

CHbA1cDeskGraphDataView::Counted CHbA1cDeskGraphDataView::CountPoints(const CResultSearch& search) {
    Counted c;
    c.count = std::max(0, search.Count());
    if (c.count > 0 && search.ReadPlaces(nullptr, false, 0, 1, c.first) &&
        search.ReadPlaces(nullptr, true, 0, 1, c.last) && !c.first.empty() && !c.last.empty())
        return c;
    return Counted();
}

int CHbA1cDeskGraphDataView::FillGraphData() {
    return FillFrom(nullptr);
}

void CHbA1cDeskGraphDataView::Fill(const std::function<void()>& shown) {
    // Only a patient's results among every result need the whole index read.
    if (countRunning_) {
        // The patient the user chose last is still being counted: count again for that one,
        // not for the one shown until then (its result would replace the choice); what is
        // done when it is counted draws the chart.
        const std::function<void()> chosenShown = pendingShown_;
        StartCount(pendingFilter_, pendingPid_, chosenShown);
        return;
    }
    if (pidOnly_ && CountOnThread()) {
        StartCount(search_.Filter(), shownPid_, shown);
        return;
    }
    FillGraphData();
    shown();
}

bool CHbA1cDeskGraphDataView::CountOnThread() const {
    return allResults_ > backgroundAbove_ && db_.DatabaseReady && db_.ResultTable.IsOpen();
}

void CHbA1cDeskGraphDataView::StartCount(std::string filter, std::string pid,
                                         const std::function<void()>& shown) {
    const int generation = ++fillGeneration_;
    countRunning_ = true;
    pendingFilter_ = filter;
    pendingPid_ = pid;
    pendingShown_ = shown;
    // The patient list's slices wait meanwhile: each would wait for the table the count holds.
    if (patientScan_.isActive()) {
        patientScan_.stop();
        scanPaused_ = true;
    }
    CResultSearch search(search_);
    search.SetFilter(filter);
    // What the chart shows now (its search, patient and points) stays until the count is read.
    counters_.Start([this, search, generation, filter, pid, shown]() {
        auto counted = std::make_shared<Counted>(CountPoints(search));
        const std::thread::id self = std::this_thread::get_id();
        QMetaObject::invokeMethod(
            this,
            [=]() {
                counters_.Join(self);
                if (generation != fillGeneration_)
                    return; // a later fill replaced it
                countRunning_ = false;
                ShowFilter(filter);
                pidOnly_ = true;
                shownPid_ = pid;
                shownFrom_ = shownTo_ = QDate();
                FillFrom(counted.get());
                shown();
            },
            Qt::QueuedConnection);
    });
}

void CHbA1cDeskGraphDataView::WaitForCount() {
    if (counters_.JoinAll())
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

int CHbA1cDeskGraphDataView::FillFrom(const Counted* counted) {
    ++fillGeneration_; // a count still running belongs to the fill this one replaces
    countRunning_ = false;
    if (scanPaused_) {
        scanPaused_ = false;
        patientScan_.start();
    }
    if (!keepFilter_) {
        pids_.Clear();
        shownPids_ = {QString::fromLatin1(kAllDataEntry).toLower()};
        PidList->clear();
        PidList->addItem(QString::fromLatin1(kAllDataEntry));
    }
    count_ = 0;
    firstDate_.clear();
    lastDate_.clear();
    window_.clear();
    windowPlaces_.clear();
    windowFirst_ = 0;
    filtered_ = keepFilter_;
    fillDateFormat_ = settings_.Date;
    fillUnit_ = settings_.unit;
    fillTimeFormat_ = settings_.time;
    if (!db_.DatabaseReady || !db_.ResultTable.IsOpen())
        return 0;
    const Counted c = counted ? *counted : CountPoints(search_);
    const std::vector<IndexPlace>& first = c.first;
    count_ = c.count;
    if (count_ > 0) {
        firstDate_ = first.front().DATE;
        lastDate_ = c.last.front().DATE;
    }
    if (search_.Filter().empty())
        allResults_ = count_;
    // The newest result shown: the periods count back from it, as in the all-data list.
    if (count_ > 0)
        referenceDate_ = lastDate_;
    else if (!keepFilter_)
        referenceDate_ = DateKey(today_());
    if (keepFilter_ && patientScan_.isActive() && patientSearch_.Filter().empty()) {
        // The walk through every result goes on: it finds the IDs of these points too, in the
        // order the list has always had.
    } else if (pidOnly_) {
        // Every point is the chosen patient's (the blanks after the ID aside): one ID to add.
        patientScan_.stop();
        if (count_ > 0) {
            const size_t known = pids_.Items().size();
            pids_.Add(first.front().PID);
            AddNewPatients(known);
        }
    } else {
        patientScan_.stop();
        patientSearch_.SetFilter(search_.Filter());
        patientScanAt_ = IndexPlace();
        patientScanned_ = 0;
        patientCount_ = static_cast<size_t>(count_);
        if (count_ > 0)
            ScanPatients();
    }
    if (!keepFilter_)
        PidList->setCurrentIndex(0);
    return count_;
}

void CHbA1cDeskGraphDataView::ScanPatients() {
    std::vector<IndexPlace> run;
    // No more than the points counted: a slice ends at the last point, not at the end of the
    // table (the seek does not see where the filter's dates end).
    const size_t want = std::min(patientSliceRows_, patientCount_ - patientScanned_);
    if (!patientSearch_.ReadPlaces(patientScanned_ == 0 ? nullptr : &patientScanAt_, false, 0, want,
                                   run)) {
        patientScan_.stop();
        return;
    }
    patientScanned_ += run.size();
    const size_t known = pids_.Items().size();
    for (const IndexPlace& p : run)
        pids_.Add(p.PID);
    AddNewPatients(known);
    if (run.size() < want || patientScanned_ >= patientCount_) {
        patientScan_.stop();
    } else {
        // The rest in slices: the chart is shown and answers meanwhile.
        patientScanAt_ = run.back();
        if (!patientScan_.isActive())
            patientScan_.start();
    }
}

void CHbA1cDeskGraphDataView::AddNewPatients(size_t known) {
    QStringList added;
    for (size_t i = known; i < pids_.Items().size(); ++i) {
        // Shown without the padding the IDs are stored with (the search ignores it too).
        const QString shown = QString::fromLocal8Bit(TrimmedId(pids_.Items()[i]).c_str());
        const QString key = shown.toLower();
        if (!shownPids_.contains(key)) {
            shownPids_.insert(key);
            added << shown;
        }
    }
    if (added.isEmpty())
        return;
    // Adding entries must not change what the user typed or chose.
    const QString text = PidList->currentText();
    const int index = PidList->currentIndex();
    PidList->addItems(added);
    if (PidList->currentIndex() != index)
        PidList->setCurrentIndex(index);
    if (PidList->currentText() != text)
        PidList->setEditText(text);
}

void CHbA1cDeskGraphDataView::ResetDatePickers() {
    if (referenceDate_.empty())
        referenceDate_ = DateKey(today_());
    ShowWeekEndingAt(*StartDate, *EndDate, DateFromKey(referenceDate_), settings_.Date);
}

std::string CHbA1cDeskGraphDataView::ChosenPid() const {
    // A typed ID counts as chosen; "ALL Data" means every patient.
    const QString text = PidList->currentText();
    if (text.isEmpty() || text == QString::fromLatin1(kAllDataEntry))
        return {};
    return text.toLocal8Bit().toStdString();
}

void CHbA1cDeskGraphDataView::OnPeriodChanged(int weeks) {
    const std::string pid = ChosenPid();
    auto shown = [this]() {
        // An empty result shows an empty chart that says so, not the chart of before.
        if (count_ > 0)
            ResetDatePickers();
        DrawGraph();
        if (keepFilter_)
            SayWhatIsShown();
        else
            Say(QString());
    };
    if (weeks <= 0 && !pid.empty() && CountOnThread()) {
        StartCount(PidCondition(pid), TrimmedId(pid), shown);
        return;
    }
    shownPid_ = TrimmedId(pid);
    shownFrom_ = shownTo_ = QDate();
    if (weeks <= 0) {
        ShowFilter(PidCondition(pid)); // empty without a patient: every result
        pidOnly_ = !pid.empty();
    } else {
        const QDate reference =
            QDate::fromString(QString::fromLatin1(referenceDate_.c_str()), "yyyyMMdd");
        const QDate to = reference.isValid() ? reference : today_();
        ShowFilter(ChartPeriodFilter(weeks, to, pid));
        shownFrom_ = to.addDays(-7 * weeks);
        shownTo_ = to;
    }
    FillGraphData();
    shown();
}

void CHbA1cDeskGraphDataView::SayWhatIsShown() {
    // "3 results: 2024-03-01..2024-03-15, PID 12" (short: the pane is about 45 characters wide)
    QString text = ShownPeriod(false);
    text.replace(QStringLiteral(" to "), QStringLiteral(".."));
    if (!shownPid_.empty())
        text += (text.isEmpty() ? QString() : QStringLiteral(", ")) + QStringLiteral("PID ") +
                QString::fromLocal8Bit(shownPid_.c_str());
    Say(CountText(count_) + text); // the count first: never cut off
}

void CHbA1cDeskGraphDataView::OnPatientChosen() {
    // The chosen patient in the chosen period.
    OnPeriodChanged(Period->currentIndex());
}

void CHbA1cDeskGraphDataView::OnSearch() {
    const QDateTime start(StartDate->GetDate(), QTime(0, 0));
    const QDateTime end(EndDate->GetDate(), QTime(0, 0));
    const RangeCheck check = CheckSearchRange(start, end);
    if (check != RangeCheck::Ok) {
        prompt_.Inform(RangeMessage(check), kMessageTitle);
        return;
    }
    ShowFilter(RangeFilter(start, end, ChosenPid(), std::string()));
    shownPid_ = TrimmedId(ChosenPid());
    shownFrom_ = start.date();
    shownTo_ = end.date();
    // The filter stays in force when nothing matched: the chart says so instead of showing
    // every result under a search the user believes is in force.
    if (FillGraphData() > 0)
        ResetDatePickers();
    DrawGraph();
    SayWhatIsShown();
}

QString CHbA1cDeskGraphDataView::ShownPeriod(bool forFileName) const {
    QDate from = shownFrom_, to = shownTo_;
    if (!from.isValid() && count_ > 0) { // every result of the patient: first to last
        from = DateFromKey(firstDate_);
        to = DateFromKey(lastDate_);
    }
    if (!from.isValid() || !to.isValid())
        return {};
    // File names never hold "/": they take the year-first form.
    const QString format = forFileName
                               ? QStringLiteral("yyyy-MM-dd")
                               : QString::fromStdString(DatePickerQtFormat(fillDateFormat_));
    return QStringLiteral("%1 to %2").arg(from.toString(format), to.toString(format));
}

QString CHbA1cDeskGraphDataView::ChartTitle() const {
    if (shownPid_.empty())
        return QString::fromLatin1(kChartTitle);
    const QString period = ShownPeriod(false);
    return QStringLiteral("%1 - Patient %2%3")
        .arg(QString::fromLatin1(kChartTitle), QString::fromLocal8Bit(shownPid_.c_str()),
             period.isEmpty() ? QString() : QStringLiteral(", ") + period);
}

QString CHbA1cDeskGraphDataView::DefaultChartFileName() const {
    if (shownPid_.empty())
        return QStringLiteral("HbA1c chart.png");
    QString pid = QString::fromLocal8Bit(shownPid_.c_str());
    pid.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
    const QString period = ShownPeriod(true);
    return QStringLiteral("HbA1c chart patient %1%2.png")
        .arg(pid, period.isEmpty() ? QString() : QStringLiteral(" ") + period);
}

void CHbA1cDeskGraphDataView::OnSaveChart() {
    const QString path = chooseFile_ ? chooseFile_() : QString();
    if (path.isEmpty())
        return;
    if (!SaveChart(path))
        prompt_.Inform("The chart could not be saved to\r\n" + path.toLocal8Bit().toStdString() +
                           "\r\nPlease choose another folder or file name.",
                       kMessageTitle);
}
