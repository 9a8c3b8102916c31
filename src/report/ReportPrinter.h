#pragma once
// A small report engine on QPainter: lines of text, rows of "|"-separated cells in fixed columns
// with grid rules, and a callback into its owner at the top and bottom of every page. It knows
// nothing of results. Positions and widths are device units of the attached device; the top
// margin, the line gap and the font sizes are points (1/72 inch), converted with the device's
// vertical resolution.
//
// A job: Attach (a printer, or a named printer) -> StartDocument -> AddFontSet, SetMargins,
// SetLineGap -> StartPage -> SetPageCallback -> PrintText / SetColumns / PrintRow / DrawRule ->
// EndPage -> EndDocument. Widget-free: the command line and the tests use it without a window.

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QPaintDevice;
class QPagedPaintDevice;
class QPrinter;

class CReportPrinter {
public:
    enum Align : int { kAlignCentre = 0, kAlignLeft = 1, kAlignRight = 2 };
    // The four fonts of a set.
    enum Variant : int { kRegular1 = 0, kBold1 = 1, kRegular2 = 2, kBold2 = 3 };
    enum ErrorCode : int {
        kNoError = 0,
        kErrorStartPage = 7, // a page could not be started; printing goes on
        kErrorNoContext = 8, // no printer of the given name
    };
    struct Column {
        int width = 0; // device units (nominal units before scaling)
        int align = kAlignCentre;
    };
    // Called with the engine, the page number and true at the top, false at the bottom of a page.
    using PageCallback = std::function<void(CReportPrinter&, int page, bool top)>;

    CReportPrinter();
    ~CReportPrinter();
    CReportPrinter(const CReportPrinter&) = delete;
    CReportPrinter& operator=(const CReportPrinter&) = delete;

    // A printer chosen by name; false (error 8) when the system has none of that name.
    bool AttachNamedPrinter(const QString& name);
    // The printer of the print dialog just closed (or a PDF printer).
    bool Attach(QPagedPaintDevice* device);
    // Any paint device with its own page break (tests record on one).
    bool Attach(QPaintDevice* device, std::function<bool()> newPage);
    QPaintDevice* Device() const { return device_; }

    // Begins painting; reads the page size. False when the device cannot be painted on.
    bool StartDocument(const QString& name);
    // Finishes the last page and the document. False when the device reported a failure.
    bool EndDocument();
    // Stops painting without finishing (a cancelled job); a printer drops the job.
    void AbortDocument();
    bool IsActive() const { return painter_.isActive(); }

    // Face and the two sizes in points; returns the set's index and makes it the current one.
    int AddFontSet(const QString& face, int size1, int size2);
    // Forgets every font set: a report makes its own sets at the start of each job.
    void ClearFontSets();
    // Lets go of the device (one that is about to be destroyed).
    void Detach();
    int FontSetCount() const { return static_cast<int>(sets_.size()); }
    void SelectFontVariant(int set, int variant);
    int FontVariant(int set) const;
    int CurrentFontSet() const { return currentSet_; }
    void SelectFontSet(int set);

    // Top in points, the others in device units; -1 keeps a value.
    void SetMargins(int top, int bottom, int left, int right);
    void SetLineGap(int points) { lineGapPt_ = points; }

    void StartPage();
    void EndPage();
    void SetPageCallback(PageCallback callback);

    void PrintBlankLines(int set, int count);
    // A line of text; a text wider than the page is cut into lines (at a blank when one is near).
    void PrintText(int set, const std::string& text, int align, bool newline, int xOffset = 0);

    // The table layout. With scale, the widths are nominal and are scaled to the page: by the
    // whole factor (page width - left - right) / sum when that is 1 or more. A page narrower
    // than that (a low resolution, a narrow paper) scales the widths, the column gap and the
    // rule pen by the exact fraction that makes the whole table fit.
    void SetColumns(const std::vector<Column>& columns, bool scale);
    int ColumnWidth(int k) const;
    int ColumnCount() const { return static_cast<int>(columns_.size()); }
    void SetColumnGap(int gap);
    int ColumnGap() const { return columnGap_; }
    void SetRules(bool horizontal, bool vertical) {
        hRules_ = horizontal;
        vRules_ = vertical;
    }
    void SetRulePenWidth(int width);
    int RulePenWidth() const { return rulePenWidth_; }
    // A row of cells joined by "|".
    void PrintRow(int set, const std::string& joined);
    // The same with the cells apart (a "|" inside a cell stays text).
    void PrintRow(int set, const std::vector<std::string>& cells);

    // A full-width rule at y: one-pixel black, or the given pen. Either advances y by the gap.
    void DrawRule();
    void DrawRule(Qt::PenStyle style, int width, const QColor& colour);

    QColor TextColor() const { return textColor_; }
    void SetTextColor(const QColor& colour) { textColor_ = colour; }

    int PageWidth() const { return pageWidth_; }
    int PageHeight() const { return pageHeight_; }
    int LeftMargin() const { return left_; }
    int RightMargin() const { return right_; }
    int BottomMargin() const { return bottom_; }
    int TopMarginDevice() const { return PointsToDevice(topPt_); }
    int LineGapDevice() const { return PointsToDevice(lineGapPt_); }
    int Y() const { return y_; }
    int PageNumber() const { return page_; }
    bool InBreak() const { return inBreak_; }
    int Error() const { return error_; }

private:
    struct FontSet {
        QString face;
        int size1 = 0, size2 = 0;
        int variant = kRegular1;
        QFont fonts[4];
        std::unique_ptr<QFontMetrics> metrics[4];
    };
    int PointsToDevice(int points) const;
    void BuildFonts(FontSet& set) const;
    FontSet* Set(int set);
    const QFontMetrics& Metrics();
    // Starts page 1 when nothing is printed yet.
    void FirstPageIfNeeded();
    void BreakPage();
    // Below a row: its rules (with horizontal rules on) and the next line's place.
    void EndRow(int columns, const QPen& rulePen, int gap, int height);
    void NewDevicePage();
    void DrawRuleWith(const QPen& pen);
    QString ToText(const std::string& text) const;
    std::vector<std::string> SplitCells(const std::string& joined) const;

    std::unique_ptr<QPrinter> ownPrinter_;
    QPaintDevice* device_ = nullptr;
    std::function<bool()> newPage_;
    QPainter painter_;
    bool pageOpen_ = false; // the device's current page is ours to draw on
    bool pageUsed_ = false; // the device has a page behind us: the next one needs a break

    int pageWidth_ = 0, pageHeight_ = 0, dpiY_ = 72;
    int topPt_ = 0, bottom_ = 0, left_ = 0, right_ = 0;
    int lineGapPt_ = 0;
    int y_ = 0;
    int page_ = 0;
    bool inBreak_ = false;
    PageCallback callback_;
    std::vector<FontSet> sets_;
    int currentSet_ = -1;
    void ScaleColumns();

    std::vector<Column> nominal_;
    bool scaleColumns_ = false;
    int gapNominal_ = 0, penNominal_ = 1;
    std::vector<Column> columns_;
    int columnGap_ = 0;
    bool hRules_ = false, vRules_ = false;
    int rulePenWidth_ = 1;
    int error_ = kNoError;
    QColor textColor_ = Qt::black;
};
