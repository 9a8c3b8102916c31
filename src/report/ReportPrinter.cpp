#include "report/ReportPrinter.h"

#include <QPagedPaintDevice>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <cmath>

namespace {

// A text that ends inside a word is cut at its last blank when that blank lies this close to
// the cut.
constexpr int kWordBreakReach = 20;

} // namespace

CReportPrinter::CReportPrinter() = default;

CReportPrinter::~CReportPrinter() {
    if (painter_.isActive())
        painter_.end();
}

bool CReportPrinter::AttachNamedPrinter(const QString& name) {
    const QPrinterInfo info = QPrinterInfo::printerInfo(name);
    if (info.isNull()) {
        error_ = kErrorNoContext;
        return false;
    }
    ownPrinter_ = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    if (!ownPrinter_->isValid()) {
        ownPrinter_.reset();
        error_ = kErrorNoContext;
        return false;
    }
    return Attach(ownPrinter_.get());
}

bool CReportPrinter::Attach(QPagedPaintDevice* device) {
    if (!device)
        return false;
    return Attach(device, [device]() { return device->newPage(); });
}

bool CReportPrinter::Attach(QPaintDevice* device, std::function<bool()> newPage) {
    if (!device || painter_.isActive())
        return false;
    if (ownPrinter_ && device != ownPrinter_.get())
        ownPrinter_.reset();
    device_ = device;
    newPage_ = std::move(newPage);
    return true;
}

int CReportPrinter::PointsToDevice(int points) const {
    return static_cast<int>(std::lround(static_cast<double>(points) * dpiY_ / 72.0));
}

void CReportPrinter::BuildFonts(FontSet& set) const {
    // Sizes in points become pixels of this device, so a set made for one printer is right on
    // the next one too.
    const int sizes[4] = {set.size1, set.size1, set.size2, set.size2};
    for (int v = 0; v < 4; ++v) {
        QFont f(set.face);
        f.setStyleHint(QFont::SansSerif);
        f.setPixelSize(std::max(1, PointsToDevice(sizes[v])));
        f.setBold(v == kBold1 || v == kBold2);
        set.fonts[v] = f;
        set.metrics[v] = std::make_unique<QFontMetrics>(f, device_);
    }
}

bool CReportPrinter::StartDocument(const QString& name) {
    if (!device_ || painter_.isActive())
        return false;
    if (auto* printer = dynamic_cast<QPrinter*>(device_))
        printer->setDocName(name);
    if (!painter_.begin(device_))
        return false;
    pageWidth_ = device_->width();
    pageHeight_ = device_->height();
    dpiY_ = std::max(1, device_->logicalDpiY());
    for (FontSet& s : sets_)
        BuildFonts(s);
    page_ = 0;
    y_ = 0;
    inBreak_ = false;
    pageOpen_ = false;
    pageUsed_ = false;
    error_ = kNoError;
    return true;
}

bool CReportPrinter::EndDocument() {
    if (!painter_.isActive())
        return false;
    return painter_.end();
}

void CReportPrinter::AbortDocument() {
    if (auto* printer = dynamic_cast<QPrinter*>(device_))
        printer->abort();
    if (painter_.isActive())
        painter_.end();
}

int CReportPrinter::AddFontSet(const QString& face, int size1, int size2) {
    FontSet s;
    s.face = face;
    s.size1 = size1;
    s.size2 = size2;
    if (device_)
        BuildFonts(s);
    sets_.push_back(std::move(s));
    currentSet_ = static_cast<int>(sets_.size()) - 1;
    return currentSet_;
}

void CReportPrinter::ClearFontSets() {
    sets_.clear();
    currentSet_ = -1;
}

void CReportPrinter::Detach() {
    if (painter_.isActive())
        painter_.end();
    if (!ownPrinter_ || device_ != ownPrinter_.get())
        device_ = nullptr;
    newPage_ = nullptr;
}

CReportPrinter::FontSet* CReportPrinter::Set(int set) {
    return set >= 0 && set < FontSetCount() ? &sets_[static_cast<size_t>(set)] : nullptr;
}

void CReportPrinter::SelectFontVariant(int set, int variant) {
    if (FontSet* s = Set(set)) {
        s->variant = std::clamp(variant, 0, 3);
        SelectFontSet(set);
    }
}

int CReportPrinter::FontVariant(int set) const {
    return set >= 0 && set < FontSetCount() ? sets_[static_cast<size_t>(set)].variant : -1;
}

void CReportPrinter::SelectFontSet(int set) {
    FontSet* s = Set(set);
    if (!s)
        return;
    currentSet_ = set;
    if (painter_.isActive())
        painter_.setFont(s->fonts[s->variant]);
}

const QFontMetrics& CReportPrinter::Metrics() {
    FontSet& s = sets_[static_cast<size_t>(currentSet_)];
    if (!s.metrics[s.variant])
        BuildFonts(s);
    return *s.metrics[s.variant];
}

void CReportPrinter::SetMargins(int top, int bottom, int left, int right) {
    if (top != -1)
        topPt_ = top;
    if (bottom != -1)
        bottom_ = bottom;
    if (left != -1)
        left_ = left;
    if (right != -1)
        right_ = right;
}

void CReportPrinter::NewDevicePage() {
    if (pageUsed_ && !(newPage_ && newPage_()))
        error_ = kErrorStartPage;
    pageOpen_ = true;
    pageUsed_ = true;
}

void CReportPrinter::StartPage() {
    if (!painter_.isActive())
        return;
    NewDevicePage();
    y_ = TopMarginDevice();
}

void CReportPrinter::EndPage() {
    if (callback_)
        callback_(*this, page_, false);
    pageOpen_ = false;
}

void CReportPrinter::SetPageCallback(PageCallback callback) {
    callback_ = std::move(callback);
}

void CReportPrinter::FirstPageIfNeeded() {
    if (page_ != 0)
        return;
    page_ = 1;
    if (!pageOpen_)
        NewDevicePage();
    if (callback_) {
        y_ = TopMarginDevice();
        callback_(*this, 1, true);
    }
}

void CReportPrinter::BreakPage() {
    inBreak_ = true;
    ++page_;
    if (callback_)
        callback_(*this, page_ - 1, false);
    pageOpen_ = false;
    NewDevicePage();
    y_ = TopMarginDevice();
    if (callback_)
        callback_(*this, page_, true);
    inBreak_ = false;
}

QString CReportPrinter::ToText(const std::string& text) const {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

void CReportPrinter::PrintBlankLines(int set, int count) {
    for (int i = 0; i < count; ++i)
        PrintText(set, std::string(), kAlignLeft, true);
}

void CReportPrinter::PrintText(int set, const std::string& text, int align, bool newline,
                               int xOffset) {
    if (!Set(set) || !painter_.isActive())
        return;
    SelectFontSet(set);
    FirstPageIfNeeded();
    SelectFontSet(set); // the page frame may have chosen another
    painter_.setPen(textColor_);
    const QFontMetrics& fm = Metrics();
    const QString whole = ToText(text);
    const int height = fm.height();
    const int available = pageWidth_ - left_ - right_;

    // Cut a text wider than the page into pieces, each the longest run that fits; a piece
    // ending inside a word ends after its last blank when that blank is near the cut. The
    // pieces go on until the text is used up, so nothing of it is lost.
    std::vector<QString> pieces;
    if (whole.isEmpty() || fm.horizontalAdvance(whole) <= available || available <= 0) {
        pieces.push_back(whole);
    } else {
        qsizetype at = 0;
        while (at < whole.size()) {
            qsizetype len = 1;
            while (at + len < whole.size() &&
                   fm.horizontalAdvance(whole.mid(at, len + 1)) <= available)
                ++len;
            const bool insideWord = at + len < whole.size() &&
                                    whole[at + len] != QLatin1Char(' ') &&
                                    whole[at + len - 1] != QLatin1Char(' ');
            if (insideWord) {
                const qsizetype blank = whole.lastIndexOf(QLatin1Char(' '), at + len - 1);
                if (blank >= at && (at + len) - (blank + 1) <= kWordBreakReach)
                    len = blank + 1 - at;
            }
            pieces.push_back(whole.mid(at, len));
            at += len;
        }
    }

    const int gap = LineGapDevice();
    const int ascent = fm.ascent();
    for (const QString& piece : pieces) {
        const int width = fm.horizontalAdvance(piece.isEmpty() ? QStringLiteral("A") : piece);
        int x = left_ + xOffset;
        if (align == kAlignCentre)
            x += (available - width) / 2;
        else if (align == kAlignRight)
            x += available - width;
        if (!inBreak_ && pageHeight_ - bottom_ < y_ + gap + height) {
            BreakPage();
            SelectFontSet(set);
            painter_.setPen(textColor_);
        }
        if (!piece.isEmpty())
            painter_.drawText(QPoint(x, y_ + ascent), piece);
        if (newline)
            y_ += height + gap;
    }
}

void CReportPrinter::SetColumns(const std::vector<Column>& columns, bool scale) {
    nominal_ = columns;
    scaleColumns_ = scale;
    ScaleColumns();
}

void CReportPrinter::SetColumnGap(int gap) {
    gapNominal_ = gap;
    ScaleColumns();
}

void CReportPrinter::SetRulePenWidth(int width) {
    penNominal_ = width;
    ScaleColumns();
}

void CReportPrinter::ScaleColumns() {
    columns_ = nominal_;
    columnGap_ = gapNominal_;
    rulePenWidth_ = penNominal_;
    if (!scaleColumns_)
        return;
    long long sum = 0;
    for (const Column& c : columns_)
        sum += c.width;
    const long long available = pageWidth_ - left_ - right_;
    if (sum <= 0 || available <= 0)
        return;
    const long long factor = available / sum;
    if (factor >= 1) {
        for (Column& c : columns_)
            c.width = static_cast<int>(c.width * factor);
        return;
    }
    // The whole factor would be 0 and print every column 0 wide: scale the table, gaps
    // included, by the fraction that fits it to the page.
    const long long whole = sum + static_cast<long long>(gapNominal_) * columns_.size();
    for (Column& c : columns_)
        c.width = static_cast<int>(c.width * available / whole);
    columnGap_ = static_cast<int>(gapNominal_ * available / whole);
    rulePenWidth_ = std::max(1, static_cast<int>(penNominal_ * available / whole));
}

int CReportPrinter::ColumnWidth(int k) const {
    return k >= 0 && k < ColumnCount() ? columns_[static_cast<size_t>(k)].width : 0;
}

std::vector<std::string> CReportPrinter::SplitCells(const std::string& joined) const {
    std::vector<std::string> cells;
    size_t start = 0;
    for (;;) {
        const size_t bar = joined.find('|', start);
        cells.push_back(joined.substr(start, bar == std::string::npos ? bar : bar - start));
        if (bar == std::string::npos)
            break;
        start = bar + 1;
    }
    return cells;
}

void CReportPrinter::PrintRow(int set, const std::string& joined) {
    PrintRow(set, SplitCells(joined));
}

void CReportPrinter::PrintRow(int set, const std::vector<std::string>& cells) {
    if (!Set(set) || !painter_.isActive())
        return;
    SelectFontSet(set);
    FirstPageIfNeeded();
    SelectFontSet(set);
    const QPen rulePen(Qt::black, rulePenWidth_, Qt::SolidLine, Qt::FlatCap);
    const QPen textPen(textColor_);
    const QFontMetrics& fm = Metrics();
    const int gap = LineGapDevice();
    const int height = fm.height();
    const int ascent = fm.ascent();

    int b = left_;
    const int n = std::min(static_cast<int>(cells.size()), ColumnCount());
    for (int k = 0; k < n; ++k) {
        const Column& col = columns_[static_cast<size_t>(k)];
        const QString text = ToText(cells[static_cast<size_t>(k)]);
        const int width = fm.horizontalAdvance(text.isEmpty() ? QStringLiteral("A") : text);
        if (k > 0)
            b += columnGap_;
        else if (col.align != kAlignLeft || vRules_)
            b += columnGap_ / 4;
        int x = b;
        if (col.align == kAlignCentre)
            x = b + (col.width - width) / 2;
        else if (col.align == kAlignRight)
            x = b + col.width - width;
        if (!inBreak_ && pageHeight_ - bottom_ < y_ + gap + height) {
            BreakPage(); // the columns and rules stay as they are across the page frame
            SelectFontSet(set);
        }
        if (!text.isEmpty()) {
            painter_.setPen(textPen);
            const QPoint at(x, y_ + ascent);
            if (width <= col.width) {
                painter_.drawText(at, text);
            } else {
                // Clip only the cells that need it: a clip per cell would slow every page.
                painter_.save();
                painter_.setClipRect(QRect(b, y_, col.width, gap + height));
                painter_.drawText(at, text);
                painter_.restore();
            }
        }
        if (vRules_) {
            painter_.setPen(rulePen);
            const int left = k == 0 ? b - columnGap_ / 4 : b - columnGap_ / 2;
            const int right = b + col.width + columnGap_ / 2;
            painter_.drawLine(left, y_ - gap, left, y_ + gap + height);
            painter_.drawLine(right, y_ - gap, right, y_ + gap + height);
        }
        b += col.width;
    }
    EndRow(n, rulePen, gap, height);
}

void CReportPrinter::EndRow(int columns, const QPen& rulePen, int gap, int height) {
    if (!hRules_) {
        y_ += height + 2 * gap;
        return;
    }
    int sum = 0;
    for (const Column& c : columns_)
        sum += c.width;
    const int end = left_ + sum + columnGap_ * columns - columnGap_ / 4;
    painter_.setPen(rulePen);
    y_ -= gap;
    painter_.drawLine(left_, y_, end, y_);
    y_ += 2 * gap + height;
    painter_.drawLine(left_, y_, end, y_);
    y_ += gap;
}

void CReportPrinter::DrawRuleWith(const QPen& pen) {
    if (!painter_.isActive())
        return;
    FirstPageIfNeeded();
    painter_.setPen(pen);
    painter_.drawLine(left_, y_, pageWidth_ - right_, y_);
    y_ += LineGapDevice();
}

void CReportPrinter::DrawRule() {
    DrawRuleWith(QPen(Qt::black, 1, Qt::SolidLine, Qt::FlatCap));
}

void CReportPrinter::DrawRule(Qt::PenStyle style, int width, const QColor& colour) {
    DrawRuleWith(QPen(colour, width, style, Qt::FlatCap));
}
