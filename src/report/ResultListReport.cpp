#include "report/ResultListReport.h"

#include "platform/Prompt.h"
#include "platform/SafeTarget.h"

#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>
#include <cerrno>

namespace {

// "New Gulim" is a Korean Windows face. Where it is missing (Linux, most Windows machines) the
// system's font mapping picks the face: fontconfig on Linux (DejaVu Sans on Debian), the GDI
// font mapper on Windows; the sans-serif hint steers both towards a plain face.
const QString kReportFace = QStringLiteral("New Gulim");

// The seven columns in nominal units (2,180 together), scaled to the page.
const CReportPrinter::Column kNominalColumns[kListColumnCount] = {
    {180, CReportPrinter::kAlignCentre}, {320, CReportPrinter::kAlignCentre},
    {220, CReportPrinter::kAlignCentre}, {260, CReportPrinter::kAlignCentre},
    {400, CReportPrinter::kAlignCentre}, {400, CReportPrinter::kAlignCentre},
    {400, CReportPrinter::kAlignCentre}};
// "Patent ID" is the label the report has always printed.
const char* const kHeaderRow = "No|Date|Time|Result|Patent ID|Operator ID|Note";

constexpr int kTopMarginPt = 50;
constexpr int kSideMargin = 50; // bottom, left and right, device units
constexpr int kLineGapPt = 5;
constexpr int kColumnGap = 40;
constexpr int kRulePen = 6;
const QColor kFrameRuleColour(230, 200, 20);
constexpr int kFrameRuleWidth = 5;

// Progress goes out every this many rows (and at the end): often enough for a smooth bar,
// rarely enough not to slow the job.
constexpr int kProgressStep = 64;

} // namespace

void DrawPageFrame(CReportPrinter& engine, bool top) {
    const int set = engine.CurrentFontSet();
    const QColor colour = engine.TextColor();
    engine.SelectFontSet(0);
    engine.SetTextColor(Qt::black);
    if (top) {
        engine.PrintBlankLines(0, 1);
        engine.DrawRule();
        engine.PrintText(0, kReportFrameText, CReportPrinter::kAlignCentre, true);
        engine.DrawRule(Qt::SolidLine, kFrameRuleWidth, kFrameRuleColour);
        engine.PrintBlankLines(0, 1);
    } else {
        engine.DrawRule(Qt::SolidLine, kFrameRuleWidth, kFrameRuleColour);
        engine.PrintBlankLines(0, 1);
    }
    engine.SelectFontSet(set);
    engine.SetTextColor(colour);
}

ReportOutcome DrawResultList(CReportPrinter& engine, QPrinter& printer, const ReportRows& rows,
                             const ReportProgress& progress) {
    if (!engine.Attach(&printer) || !engine.StartDocument(QString::fromLatin1(kReportDocumentName)))
        return ReportOutcome::Failed;
    return DrawReport(engine, rows, progress);
}

ReportOutcome DrawReport(CReportPrinter& engine, const ReportRows& rows,
                         const ReportProgress& progress) {
    // Each job makes its three sets anew (for this device); none pile up in a kept engine.
    engine.ClearFontSets();
    const int a = engine.AddFontSet(kReportFace, 8, 8);
    const int b = engine.AddFontSet(kReportFace, 8, 12);
    engine.AddFontSet(kReportFace, 20, 20); // C: made as it always was, not used
    engine.SetMargins(kTopMarginPt, kSideMargin, kSideMargin, kSideMargin);
    engine.SetLineGap(kLineGapPt);
    engine.StartPage();
    engine.SetPageCallback([](CReportPrinter& e, int, bool top) { DrawPageFrame(e, top); });

    engine.PrintBlankLines(b, 1);
    engine.PrintText(b, kReportTitle, CReportPrinter::kAlignCentre, true);
    engine.PrintBlankLines(b, 1);

    engine.SetColumns(
        std::vector<CReportPrinter::Column>(std::begin(kNominalColumns), std::end(kNominalColumns)),
        true);
    engine.SetRules(true, true);
    engine.SetColumnGap(kColumnGap);
    engine.SetRulePenWidth(kRulePen);
    engine.SelectFontVariant(a, CReportPrinter::kBold1);
    engine.PrintRow(a, std::string(kHeaderRow));
    engine.SelectFontVariant(a, CReportPrinter::kRegular1);

    std::vector<std::string> cells(kListColumnCount);
    for (int i = 0; i < rows.count; ++i) {
        if (progress && i % kProgressStep == 0 && !progress(i, rows.count)) {
            engine.AbortDocument();
            return ReportOutcome::Cancelled;
        }
        for (int c = 0; c < kListColumnCount; ++c)
            cells[static_cast<size_t>(c)] = rows.cell(i, c);
        // The IDs are printed without the blanks they are stored with.
        for (int c : {4, 5})
            cells[static_cast<size_t>(c)] = TrimmedId(std::move(cells[static_cast<size_t>(c)]));
        // The cells go apart, so a "|" inside an ID cannot shift the columns.
        engine.PrintRow(a, cells);
    }
    if (rows.complete && !rows.complete()) {
        engine.AbortDocument();
        return ReportOutcome::Cancelled;
    }
    engine.DrawRule();
    engine.EndPage();
    const bool ended = engine.EndDocument();
    if (progress)
        progress(rows.count, rows.count);
    return ended ? ReportOutcome::Printed : ReportOutcome::Failed;
}

ReportOutcome PrintToPrinter(CReportPrinter& engine, QPrinter& printer, const ReportRows& rows,
                             const ReportProgress& progress, QString* reason) {
    const QString named = printer.outputFileName();
    if (printer.outputFormat() != QPrinter::PdfFormat || named.isEmpty())
        return DrawResultList(engine, printer, rows, progress);
    const auto failed = [reason](const QString& why) {
        if (reason)
            *reason = why;
        return ReportOutcome::Failed;
    };
    // Only a new path or a regular file (through links to it): never a device or a pipe.
    const WriteTarget target = CheckWriteTarget(named);
    if (!target.ok)
        return failed(target.reason);
    // A PDF file is drawn into a temporary copy that replaces an earlier file only when every
    // byte was written and synced to the disk: a full disk or a cancelled job leaves the old
    // file as it was, and a file cut short is never reported as printed.
    QSaveFile file(target.path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        return failed(WriteFailureReason(target.path, errno, file.errorString()));
    ReportOutcome outcome = ReportOutcome::Failed;
    {
        QPdfWriter writer(&file);
        writer.setPageLayout(printer.pageLayout());
        writer.setResolution(printer.resolution());
        writer.setTitle(QString::fromLatin1(kReportDocumentName));
        writer.setCreator(printer.creator());
        if (engine.Attach(&writer) &&
            engine.StartDocument(QString::fromLatin1(kReportDocumentName)))
            outcome = DrawReport(engine, rows, progress);
        engine.Detach(); // the writer ends here
    }
    if (outcome != ReportOutcome::Printed) {
        // Drawing makes many calls (fonts): errno is not the write's any more. The device's text
        // and the folder tell the reason, the temporary copy still in place.
        const QString why = WriteFailureReason(target.path, 0, file.errorString());
        file.cancelWriting();
        return outcome == ReportOutcome::Failed ? failed(why) : outcome;
    }
    errno = 0;
    if (!file.commit())
        return failed(WriteFailureReason(target.path, errno, file.errorString()));
    return ReportOutcome::Printed;
}

ReportOutcome PrintResultList(CReportPrinter& engine, IPrintSteps& steps, IPrompt& prompt,
                              const ReportRows& rows) {
    QPrinter printer(QPrinter::HighResolution);
    if (!steps.ChoosePrinter(printer))
        return ReportOutcome::Cancelled;
    if (!printer.isValid()) {
        prompt.Inform(kFailedInitializingPrinter, kMessageTitle);
        return ReportOutcome::Failed;
    }
    const ReportProgress progress = [&steps](int done, int total) {
        return steps.Progress(done, total);
    };
    bool previewStopped = false;
    const bool print = steps.Preview(printer, [&](QPrinter& shown) {
        if (DrawResultList(engine, shown, rows, progress) == ReportOutcome::Cancelled)
            previewStopped = true;
        steps.EndProgress();
    });
    if (!print || previewStopped)
        return ReportOutcome::Cancelled;
    QString reason;
    const ReportOutcome outcome = PrintToPrinter(engine, printer, rows, progress, &reason);
    steps.EndProgress();
    if (outcome == ReportOutcome::Failed)
        prompt.Inform(reason.isEmpty() ? std::string(kFailedInitializingPrinter)
                                       : FileWriteFailedText(printer.outputFileName(), reason),
                      kMessageTitle);
    return outcome;
}
