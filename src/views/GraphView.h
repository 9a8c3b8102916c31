#pragma once
// The graph view: the stored results in time order as points on a chart, eight at a time, with
// a period list, a patient-ID list and a date-range search of at most 366 days. It reads the
// main result table through a search of its own; the filters themselves are in
// query/ResultQuery.
//
// The view holds only the number of points and the points around the eight in view (with the
// labels of those), read from the result index by a seek: opening and a scroll step cost the
// same with ten thousand results as with a million. The patient list is filled from the index
// in slices, the first at once and the rest while the window stays free.

#include "query/ResultQuery.h"
#include "query/ResultSearch.h"
#include "views/FormPage.h"
#include "views/graph/ChartBands.h"
#include "views/list/PostingThreads.h"

#include <QSet>
#include <QString>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

class CDateTimeCtrl;
class CResultDatabases;
class QAreaSeries;
class QCategoryAxis;
class QChart;
class QChartView;
class QComboBox;
class QGraphicsSimpleTextItem;
class QLineSeries;
class QScatterSeries;
class QScrollBar;
class QValueAxis;

inline constexpr const char* kChartTitle = "Trevanix HbA1c Chart";
inline constexpr const char* kChartSeriesName = "HbA1C";
inline constexpr const char* kNoResultsText = "No results are stored yet.";
inline constexpr int kPointsInView = 8;

// One plotted result: the stored texts (the argument and the tooltip are made from them for the
// points in view only) and the plotted value.
struct ChartPoint {
    ChartRow row;
    float value = 0;
};

class CHbA1cDeskGraphDataView : public CNavigationPage {
    Q_OBJECT
public:
    CHbA1cDeskGraphDataView(FrameCommandFn command, IDownloadSession& session, IPrompt& prompt,
                            CResultDatabases& db, const AppSettings& settings,
                            QWidget* parent = nullptr);
    ~CHbA1cDeskGraphDataView() override;

    void OnActivate() override { RefreshGraph(); }
    void Refresh() override { RefreshGraph(); }

    // Back to every stored result with no filter (activation and kCmdRefreshView).
    void RefreshGraph();
    // Counts the points of the search and starts the patient list; returns the number of points.
    int FillGraphData();
    // End picker at the reference date, start picker 7 days before it.
    void ResetDatePickers();
    // The chart for the point list: titles, ranges, bands, the first eight points.
    void DrawGraph();
    void OnPeriodChanged(int weeks);
    void OnPatientChosen();
    void OnSearch();
    // Asks for a file name and saves the chart; tells the user when it could not be written.
    void OnSaveChart();
    // PNG, or PDF for a name ending in ".pdf"; false when the file could not be written.
    bool SaveChart(const QString& path);
    // The chart's title and the file name "Save chart" offers: with a patient shown, both name
    // the patient and the period (the period list's, the search's, or first to last result).
    QString ChartTitle() const;
    QString DefaultChartFileName() const;

    // The first point in view, and a move of the view (clamped to the points).
    int FirstVisible() const { return first_; }
    void ScrollTo(int first);
    void ScrollBy(int steps) { ScrollTo(first_ + steps); }

    // How many points the chart shows, and points first .. first+count-1 read from the index
    // (a seek from the nearest point known: the first, the last or one near the view).
    int PointCount() const { return count_; }
    std::vector<ChartPoint> ReadPoints(int first, int count) const;
    // Every point: a read of the whole search, for tests and small tables only.
    std::vector<ChartPoint> Points() const { return ReadPoints(0, count_); }
    // True once the patient list holds the IDs of every point of the last fill.
    bool PatientListComplete() const { return !patientScan_.isActive() && !scanPaused_; }
    // Index entries read per slice of the patient list (tests make it small).
    void SetPatientSliceRows(size_t rows) { patientSliceRows_ = std::max<size_t>(1, rows); }
    // A patient's results under period All are counted (and their first and last found) by a
    // walk through the whole index: with more results stored than this, that runs on a thread
    // of its own and the chart shows what it showed until the patient's chart is drawn. A new
    // fill drops a count still running.
    void SetBackgroundCountAbove(int results) { backgroundAbove_ = results; }
    bool CountRunning() const { return countRunning_; }
    // Waits for a count on a thread and shows the chart it was for.
    void WaitForCount();
    // "2024-03-15 14:05": the point's argument in the date format of the last fill.
    std::string ArgumentText(size_t index) const;
    // Date, time, value in the unit of the last fill, and PID.
    QString PointToolTip(size_t index) const;
    // The date the period list counts back from: the newest result shown.
    const std::string& ReferenceDate() const { return referenceDate_; }
    bool KeepFilter() const { return keepFilter_; }
    // True while the chart shows a search, a period or one patient.
    bool SearchActive() const { return searchActive_; }
    const CResultSearch& ChartSearch() const { return search_; }
    // The text over an empty chart, empty while points are shown.
    QString EmptyChartText() const;
    QChart* Chart() const { return chart_; }
    QScatterSeries* Series() const { return series_; }
    QCategoryAxis* DateAxis() const { return xAxis_; }
    QValueAxis* ResultAxis() const { return yAxis_; }
    QAreaSeries* Band(HbA1cCategory c) const { return bands_[static_cast<int>(c)]; }

    // Today's date; tests give a fixed one.
    void SetToday(std::function<QDate()> today) { today_ = std::move(today); }
    // The file name of "Save chart" (a file dialog; tests give a name). Empty: cancelled.
    void SetSaveFileChooser(std::function<QString()> choose) { chooseFile_ = std::move(choose); }

    CDateTimeCtrl* StartDate = nullptr;
    CDateTimeCtrl* EndDate = nullptr;
    QComboBox* Period = nullptr;
    QComboBox* PidList = nullptr;
    CPngButton* Search = nullptr;
    CPngButton* SaveButton = nullptr;
    CPngButton* Unused = nullptr; // kept hidden, as the page always had it
    CPngButton* Automatic = nullptr;
    QChartView* ChartView = nullptr;
    QScrollBar* ScrollBar = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The number of points of a search and its first and last point.
    struct Counted {
        int count = 0;
        std::vector<IndexPlace> first, last;
    };
    static Counted CountPoints(const CResultSearch& search);
    // The fill from points counted (null: counted now).
    int FillFrom(const Counted* counted);
    // Fills and then calls `shown`: at once, or when the count on a thread is read.
    void Fill(const std::function<void()>& shown);
    // True when a walk through every index entry runs on a thread (a long table).
    bool CountOnThread() const;
    // The count of the patient's results (`filter`, every date) on a thread; the filter and
    // the patient shown take effect when it is read.
    void StartCount(std::string filter, std::string pid, const std::function<void()>& shown);

    // The page's parts: the filters and buttons, the chart, the chart's view and scroll bar.
    void BuildFilters();
    void BuildChart();
    // The points over the bands, and the text over an empty chart.
    void BuildPointSeries();
    void BuildChartView();
    // The points around the view into the series, with their labels, bands and scroll bar.
    void ShowWindow();
    void PlaceEmptyText();
    std::string ChosenPid() const;
    // The filter of what the chart shows from the next fill on (empty: every result).
    void ShowFilter(std::string filter);
    QString ShownPeriod(bool forFileName) const;
    // Points first .. first+count-1 with their places in the index.
    bool ReadWindow(int first, int count, std::vector<ChartPoint>& points,
                    std::vector<IndexPlace>& places) const;
    // The point at `index`: from the window around the view, else read.
    bool PointAt(size_t index, ChartPoint& point) const;
    // One slice of the patient list: the IDs of the next index entries of the search.
    void ScanPatients();
    // The IDs pids_ gained since `known` into the patient list, once each, case aside.
    void AddNewPatients(size_t known);
    // The message pane: what the chart shows and how many results.
    void SayWhatIsShown();

    CResultDatabases& db_;
    const AppSettings& settings_;
    CResultSearch search_;
    int changedToken_ = 0; // the subscription to db_.Changed
    bool searchActive_ = false;
    bool pidOnly_ = false; // the filter is a patient's, without dates
    int count_ = 0;        // the points of the last fill
    // The oldest and newest point of the last fill (empty without points).
    std::string firstDate_, lastDate_;
    // The points around the view (from windowFirst_ on) and their places in the index.
    std::vector<ChartPoint> window_;
    std::vector<IndexPlace> windowPlaces_;
    int windowFirst_ = 0;
    // The patient list's walk through the points of a fill (every result, or a search's): its
    // own copy of the search, where it stands, the points counted, entries per slice.
    QTimer patientScan_;
    CResultSearch patientSearch_;
    IndexPlace patientScanAt_;
    size_t patientScanned_ = 0;
    size_t patientCount_ = 0;
    size_t patientSliceRows_ = 5000; // about 10 ms at a million results
    CIdList pids_;
    QSet<QString> shownPids_; // the patient list's entries, lower case
    std::string referenceDate_;
    bool keepFilter_ = false;
    bool firstDraw_ = true;
    int first_ = 0;
    // The formats the points were read with: a settings change shows at the next refresh.
    int fillDateFormat_ = 0;
    int fillUnit_ = 0;
    int fillTimeFormat_ = 1;
    bool filtered_ = false;
    std::string shownPid_;      // the patient the chart is narrowed to (empty: every patient)
    QDate shownFrom_, shownTo_; // the period or search range shown (invalid: none)

    QChart* chart_ = nullptr;
    QScatterSeries* series_ = nullptr;
    QCategoryAxis* xAxis_ = nullptr;
    QValueAxis* yAxis_ = nullptr;
    QAreaSeries* bands_[3] = {};
    QLineSeries* bandEdges_[3][2] = {}; // per band: upper, lower
    QLineSeries* target_ = nullptr;
    QGraphicsSimpleTextItem* emptyText_ = nullptr;
    std::vector<QString> shownLabels_;

    std::function<QDate()> today_;
    std::function<QString()> chooseFile_;

    int backgroundAbove_ = 20000;
    int allResults_ = 0;     // the points of the last fill of every result
    int fillGeneration_ = 0; // of the fill shown; a count for an earlier one is dropped
    bool countRunning_ = false;
    // What the running count is for, so that a store meanwhile counts for the same choice.
    std::string pendingFilter_, pendingPid_;
    std::function<void()> pendingShown_;
    bool scanPaused_ = false;  // the patient list's walk waits for a count on a thread
    CPostingThreads counters_; // each joined when its count comes back, or at the end
};
