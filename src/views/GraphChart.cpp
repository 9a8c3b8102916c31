// The graph view's chart: its series, axes and bands, the eight points in view with their
// labels, scrolling, tooltips and saving the picture.

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

namespace {

const QColor kBandColours[3] = {QColor(46, 160, 90, 60), QColor(240, 180, 40, 80),
                                QColor(214, 60, 50, 60)};
const QColor kPointColour(20, 110, 140);
const QColor kTargetColour(40, 40, 40);

QString Latin(const std::string& s) {
    return QString::fromLatin1(s.c_str());
}

// The point's x position on the chart: its place in the list.
double X(size_t index) {
    return static_cast<double>(index);
}

} // namespace

void CHbA1cDeskGraphDataView::BuildChart() {
    chart_ = new QChart();
    chart_->legend()->setAlignment(Qt::AlignBottom);
    QFont legendFont = chart_->legend()->font();
    legendFont.setPointSizeF(legendFont.pointSizeF() * 0.85);
    chart_->legend()->setFont(legendFont);

    xAxis_ = new QCategoryAxis();
    xAxis_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    xAxis_->setLabelsAngle(315);
    xAxis_->setTruncateLabels(false); // the slanted date and time fit whole
    xAxis_->setRange(-0.5, kPointsInView - 0.5);
    yAxis_ = new QValueAxis();
    yAxis_->setLabelFormat(QStringLiteral("%.0f"));
    chart_->addAxis(xAxis_, Qt::AlignBottom);
    chart_->addAxis(yAxis_, Qt::AlignLeft);

    // Bands first, so the points are drawn over them.
    for (int b = 0; b < 3; ++b) {
        // An area series does not own its edges: the chart does.
        bandEdges_[b][0] = new QLineSeries(chart_);
        bandEdges_[b][1] = new QLineSeries(chart_);
        bands_[b] = new QAreaSeries(bandEdges_[b][0], bandEdges_[b][1]);
        bands_[b]->setPen(Qt::NoPen);
        bands_[b]->setBrush(kBandColours[b]);
        chart_->addSeries(bands_[b]);
        bands_[b]->attachAxis(xAxis_);
        bands_[b]->attachAxis(yAxis_);
    }
    target_ = new QLineSeries();
    QPen dashed(kTargetColour, 1.5, Qt::DashLine);
    target_->setPen(dashed);
    chart_->addSeries(target_);
    target_->attachAxis(xAxis_);
    target_->attachAxis(yAxis_);

    BuildPointSeries();
}

void CHbA1cDeskGraphDataView::BuildPointSeries() {
    series_ = new QScatterSeries();
    series_->setName(QString::fromLatin1(kChartSeriesName));
    series_->setMarkerShape(QScatterSeries::MarkerShapeCircle);
    series_->setMarkerSize(11);
    series_->setColor(kPointColour);
    series_->setBorderColor(Qt::white);
    chart_->addSeries(series_);
    series_->attachAxis(xAxis_);
    series_->attachAxis(yAxis_);
    connect(series_, &QScatterSeries::hovered, this, [this](const QPointF& p, bool state) {
        const double i = std::round(p.x());
        if (!state || i < 0 || i >= static_cast<double>(count_)) {
            QToolTip::hideText();
            return;
        }
        QToolTip::showText(QCursor::pos(), PointToolTip(static_cast<size_t>(i)), ChartView);
    });

    emptyText_ = new QGraphicsSimpleTextItem(chart_);
    QFont f = emptyText_->font();
    f.setPointSizeF(f.pointSizeF() * 1.4);
    f.setBold(true);
    emptyText_->setFont(f);
    emptyText_->setBrush(QColor(90, 90, 90));
    emptyText_->setZValue(20);
    emptyText_->hide();
    connect(chart_, &QChart::plotAreaChanged, this, [this]() { PlaceEmptyText(); });
}

void CHbA1cDeskGraphDataView::BuildChartView() {
    ChartView = new QChartView(chart_, this);
    ChartView->setGeometry(55, 180, 894, 470);
    ChartView->setRenderHint(QPainter::Antialiasing);
    ChartView->setAccessibleName(QStringLiteral("HbA1c chart"));
    ChartView->setFocusPolicy(Qt::StrongFocus);
    ChartView->installEventFilter(this);
    ChartView->viewport()->installEventFilter(this);

    ScrollBar = new QScrollBar(Qt::Horizontal, this);
    ScrollBar->setGeometry(55, 650, 894, 18);
    ScrollBar->setAccessibleName(QStringLiteral("Scroll the chart"));
    ScrollBar->setRange(0, 0);
    ScrollBar->setPageStep(kPointsInView);
    connect(ScrollBar, &QScrollBar::valueChanged, this, &CHbA1cDeskGraphDataView::ScrollTo);
}

void CHbA1cDeskGraphDataView::DrawGraph() {
    chart_->setTitle(ChartTitle());
    firstDraw_ = false;
    xAxis_->setTitleText(Latin(ChartDateAxisTitle(fillDateFormat_)));
    yAxis_->setTitleText(Latin(ChartResultAxisTitle(fillUnit_)));
    xAxis_->setTitleVisible(true);
    yAxis_->setTitleVisible(true);

    const ChartBandLimits limits = BandLimitsFor(fillUnit_);
    yAxis_->setRange(0, limits.axisMax);
    // Labels at every 5 % or 50 mmol/mol, a line at every 1 % or 10 mmol/mol.
    yAxis_->setTickCount(4);
    yAxis_->setMinorTickCount(4);
    const HbA1cCategory cats[3] = {HbA1cCategory::Normal, HbA1cCategory::Prediabetes,
                                   HbA1cCategory::Diabetes};
    for (int b = 0; b < 3; ++b)
        bands_[b]->setName(Latin(BandName(cats[b], fillUnit_)));
    target_->setName(Latin(TargetName(fillUnit_)));

    if (count_ == 0)
        emptyText_->setText(QString::fromLatin1(filtered_ ? kNoMatchText : kNoResultsText));
    emptyText_->setVisible(count_ == 0);
    PlaceEmptyText();
    first_ = 0;
    ShowWindow();
}

void CHbA1cDeskGraphDataView::ScrollTo(int first) {
    const int last = std::max(0, count_ - kPointsInView);
    first = std::clamp(first, 0, last);
    if (first == first_)
        return;
    first_ = first;
    ShowWindow();
}

void CHbA1cDeskGraphDataView::ShowWindow() {
    const ChartBandLimits limits = BandLimitsFor(fillUnit_);
    const size_t n = static_cast<size_t>(count_);
    // One point either side of the view, so a marker half in view is drawn whole.
    const size_t lo = first_ > 0 ? static_cast<size_t>(first_) - 1 : 0;
    const size_t hi = std::min(n, static_cast<size_t>(first_) + kPointsInView + 1);
    std::vector<ChartPoint> points;
    std::vector<IndexPlace> places;
    ReadWindow(static_cast<int>(lo), static_cast<int>(hi - lo), points, places);
    window_ = std::move(points);
    windowPlaces_ = std::move(places);
    windowFirst_ = static_cast<int>(lo);
    QList<QPointF> shown;
    shown.reserve(static_cast<qsizetype>(window_.size()));
    for (size_t i = 0; i < window_.size(); ++i)
        shown.append(QPointF(X(lo + i), window_[i].value));
    series_->replace(shown);

    // Labels of the points in view only (the axis would draw one beyond its end). The axis
    // wants distinct labels: results of the same minute get invisible zero-width marks.
    for (const QString& l : shownLabels_)
        xAxis_->remove(l);
    shownLabels_.clear();
    const size_t labelsFrom = static_cast<size_t>(first_);
    const size_t labelsTo = std::min(n, labelsFrom + kPointsInView);
    xAxis_->setStartValue(first_ - 0.5);
    for (size_t i = labelsFrom; i < labelsTo; ++i) {
        QString label = Latin(ArgumentText(i));
        while (std::find(shownLabels_.begin(), shownLabels_.end(), label) != shownLabels_.end())
            label += QChar(0x200B);
        xAxis_->append(label, X(i));
        shownLabels_.push_back(label);
    }
    if (shownLabels_.empty()) {
        // An axis without categories keeps drawing its last grid lines: one blank label.
        xAxis_->append(QStringLiteral(" "), 0);
        shownLabels_.push_back(QStringLiteral(" "));
    }
    xAxis_->setRange(first_ - 0.5, first_ + kPointsInView - 0.5);

    // Bands and the target line across the view.
    const double left = first_ - 1.0, right = first_ + kPointsInView + 1.0;
    const double edges[4] = {0, limits.prediabetes, limits.diabetes, limits.axisMax};
    for (int b = 0; b < 3; ++b) {
        bandEdges_[b][0]->replace({QPointF(left, edges[b + 1]), QPointF(right, edges[b + 1])});
        bandEdges_[b][1]->replace({QPointF(left, edges[b]), QPointF(right, edges[b])});
    }
    target_->replace({QPointF(left, limits.target), QPointF(right, limits.target)});

    const QSignalBlocker block(ScrollBar);
    ScrollBar->setRange(0, std::max(0, static_cast<int>(n) - kPointsInView));
    ScrollBar->setValue(first_);
}

void CHbA1cDeskGraphDataView::PlaceEmptyText() {
    const QRectF area = chart_->plotArea();
    const QRectF text = emptyText_->boundingRect();
    emptyText_->setPos(area.center() - QPointF(text.width() / 2, text.height() / 2));
}

bool CHbA1cDeskGraphDataView::ReadWindow(int first, int count, std::vector<ChartPoint>& points,
                                         std::vector<IndexPlace>& places) const {
    points.clear();
    places.clear();
    first = std::max(0, first);
    count = std::min(count, count_ - first);
    if (count <= 0)
        return true;
    // Seek from the nearest point known: the skipped points cost a step each in the index, a
    // scroll step none. From the first point, from the last, or from the window around the view.
    const IndexPlace* from = nullptr;
    bool backward = false;
    int skip = first;
    if (count_ - first - count < skip) {
        backward = true;
        skip = count_ - first - count;
    }
    const int held = static_cast<int>(windowPlaces_.size());
    if (held > 0) {
        const int below = std::min(windowFirst_ + held - 1, first - 1);
        if (below >= windowFirst_ && first - below - 1 < skip) {
            from = &windowPlaces_[static_cast<size_t>(below - windowFirst_)];
            backward = false;
            skip = first - below - 1;
        }
        const int above = std::max(windowFirst_, first + count);
        if (above < windowFirst_ + held && above - first - count < skip) {
            from = &windowPlaces_[static_cast<size_t>(above - windowFirst_)];
            backward = true;
            skip = above - first - count;
        }
    }
    if (!search_.ReadPlaces(from, backward, static_cast<size_t>(skip), static_cast<size_t>(count),
                            places))
        return false;
    if (backward)
        std::reverse(places.begin(), places.end());
    points.reserve(places.size());
    for (const IndexPlace& p : places)
        points.push_back({ChartRow{p.DATE, p.TIME, p.HbA1c_VALUE, p.PID},
                          ChartResultValue(p.HbA1c_VALUE.c_str(), fillUnit_)});
    return true;
}

std::vector<ChartPoint> CHbA1cDeskGraphDataView::ReadPoints(int first, int count) const {
    std::vector<ChartPoint> points;
    std::vector<IndexPlace> places;
    ReadWindow(first, count, points, places);
    return points;
}

bool CHbA1cDeskGraphDataView::PointAt(size_t index, ChartPoint& point) const {
    if (index >= static_cast<size_t>(count_))
        return false;
    const size_t from = static_cast<size_t>(windowFirst_);
    if (index >= from && index - from < window_.size()) {
        point = window_[index - from];
        return true;
    }
    const std::vector<ChartPoint> one = ReadPoints(static_cast<int>(index), 1);
    if (one.empty())
        return false;
    point = one.front();
    return true;
}

std::string CHbA1cDeskGraphDataView::ArgumentText(size_t index) const {
    ChartPoint p;
    if (!PointAt(index, p))
        return {};
    const ChartRow& r = p.row;
    return FormatChartLabel(r.DATE.c_str(), r.TIME.c_str(), fillDateFormat_);
}

QString CHbA1cDeskGraphDataView::PointToolTip(size_t index) const {
    ChartPoint p;
    if (!PointAt(index, p))
        return {};
    const ChartRow& r = p.row;
    const char* d = r.DATE.c_str();
    const char* t = r.TIME.c_str();
    return QStringLiteral("%1 %2\n%3\nPID: %4")
        .arg(Latin(FormatRecordDate(d, t, fillDateFormat_, DateTimeStyle::List)),
             Latin(FormatRecordTime(d, t, fillTimeFormat_, DateTimeStyle::List)),
             Latin(FormatResultText(r.HbA1c_VALUE.c_str(), fillUnit_)),
             QString::fromLocal8Bit(r.PID.c_str()).trimmed());
}

QString CHbA1cDeskGraphDataView::EmptyChartText() const {
    return emptyText_->isVisible() ? emptyText_->text() : QString();
}

bool CHbA1cDeskGraphDataView::SaveChart(const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (QFileInfo(path).suffix().compare(QStringLiteral("pdf"), Qt::CaseInsensitive) == 0) {
        // A page the size of the chart, drawn as vectors.
        const QSize size = ChartView->viewport()->size();
        QPdfWriter pdf(&file);
        pdf.setTitle(ChartTitle());
        pdf.setResolution(96);
        pdf.setPageSize(QPageSize(QSizeF(size.width() * 72.0 / 96, size.height() * 72.0 / 96),
                                  QPageSize::Point));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter p;
        if (!p.begin(&pdf))
            return false;
        ChartView->render(&p, QRectF(0, 0, pdf.width(), pdf.height()),
                          ChartView->viewport()->rect());
        p.end();
    } else if (!ChartView->grab().save(&file, "PNG")) {
        return false;
    }
    return file.commit();
}

bool CHbA1cDeskGraphDataView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ChartView->viewport() && event->type() == QEvent::Wheel) {
        const auto* w = static_cast<QWheelEvent*>(event);
        const QPoint d = w->angleDelta();
        const int delta = std::abs(d.x()) > std::abs(d.y()) ? -d.x() : -d.y();
        if (delta != 0)
            ScrollBy(delta > 0 ? std::max(1, delta / 120) : std::min(-1, delta / 120));
        return true;
    }
    if (watched == ChartView && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Left:
            ScrollBy(-1);
            return true;
        case Qt::Key_Right:
            ScrollBy(1);
            return true;
        case Qt::Key_PageUp:
            ScrollBy(-kPointsInView);
            return true;
        case Qt::Key_PageDown:
            ScrollBy(kPointsInView);
            return true;
        case Qt::Key_Home:
            ScrollTo(0);
            return true;
        case Qt::Key_End:
            ScrollTo(count_);
            return true;
        default:
            break;
        }
    }
    return CNavigationPage::eventFilter(watched, event);
}
