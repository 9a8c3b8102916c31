// The printed result list: what a PDF of it says (read back with pdftotext), where the engine
// puts its rows and rules on a recording device, and the all-data list's Print button with
// scripted dialogs.

#include "LinkFakes.h"
#include "ResultRows.h"
#include "TestSupport.h"
#include "report/ReportPrinter.h"
#include "report/ResultListReport.h"
#include "views/AllDataListView.h"
#include "views/list/ListCtrlExt.h"
#include "views/print/PrintDialogs.h"

#include <QApplication>
#include <QFileInfo>
#include <QPaintEngine>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

// A page device that keeps what was drawn: each text and line with its page and pen.
struct DrawnOp {
    int page = 0;
    QString text; // empty for a line
    QPointF at;   // a text's baseline start
    QLineF line;
    QPen pen;
};

class RecordingEngine : public QPaintEngine {
public:
    RecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState& s) override {
        if (s.state() & QPaintEngine::DirtyPen)
            pen_ = s.pen();
    }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawLines(const QLineF* lines, int count) override {
        for (int i = 0; i < count; ++i)
            ops.push_back({page, QString(), QPointF(), lines[i], pen_});
    }
    void drawLines(const QLine* lines, int count) override {
        for (int i = 0; i < count; ++i)
            ops.push_back({page, QString(), QPointF(), QLineF(lines[i]), pen_});
    }
    void drawTextItem(const QPointF& p, const QTextItem& item) override {
        ops.push_back({page, item.text(), p, QLineF(), pen_});
    }
    Type type() const override { return QPaintEngine::User; }

    std::vector<DrawnOp> ops;
    int page = 1;

private:
    QPen pen_;
};

class RecordingDevice : public QPaintDevice {
public:
    RecordingDevice(int width, int height, int dpi) : w_(width), h_(height), dpi_(dpi) {}
    QPaintEngine* paintEngine() const override { return &engine; }
    bool NewPage() {
        ++engine.page;
        return true;
    }
    mutable RecordingEngine engine;

protected:
    int metric(PaintDeviceMetric m) const override {
        switch (m) {
        case PdmWidth:
            return w_;
        case PdmHeight:
            return h_;
        case PdmWidthMM:
            return w_ * 254 / dpi_ / 10;
        case PdmHeightMM:
            return h_ * 254 / dpi_ / 10;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return dpi_;
        case PdmDepth:
            return 32;
        case PdmNumColors:
            return INT_MAX;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return static_cast<int>(devicePixelRatioFScale());
        default:
            return 0;
        }
    }

private:
    int w_, h_, dpi_;
};

// Rows "1".."n" with a PID that tells them apart.
struct TableRows {
    explicit TableRows(int n) {
        for (int i = 0; i < n; ++i)
            cells.push_back({std::to_string(i + 1), "2024-03-15", "14:05", "6.5 %",
                             "PID" + std::to_string(i + 1), "OP1", "Analyzer Tilted"});
    }
    ReportRows Rows() const {
        ReportRows r;
        r.count = static_cast<int>(cells.size());
        r.cell = [this](int row, int column) -> const std::string& {
            return cells[static_cast<size_t>(row)][static_cast<size_t>(column)];
        };
        return r;
    }
    std::vector<ListCells> cells;
};

void PdfPrinter(QPrinter& printer, const QString& path, int dpi) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setResolution(dpi);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setOutputFileName(path);
}

// The pages of a PDF as pdftotext reads them.
QStringList PdfPages(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {};
    QStringList pages = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

// The first words of the data lines ("1", "2", ...), in the order printed.
QStringList RowNumbers(const QStringList& pages) {
    QStringList out;
    static const QRegularExpression row(QStringLiteral("^\\s*(\\d+)\\s+\\d{4}-\\d\\d-\\d\\d"));
    for (const QString& page : pages)
        for (const QString& line : page.split(QLatin1Char('\n'))) {
            const QRegularExpressionMatch m = row.match(line);
            if (m.hasMatch())
                out << m.captured(1);
        }
    return out;
}

// The report drawn on a recording device.
struct Recorded {
    Recorded(int rows, int width, int height, int dpi) : device(width, height, dpi), table(rows) {
        engine.Attach(&device, [this]() { return device.NewPage(); });
        ok = engine.StartDocument(QStringLiteral("Trevanix")) &&
             DrawReport(engine, table.Rows()) == ReportOutcome::Printed;
    }
    RecordingDevice device;
    TableRows table;
    CReportPrinter engine;
    bool ok = false;
};

// Dialogs answered from a script: the PDF file to write, whether the preview is accepted, and
// the row count at which the progress says cancel.
class ScriptedPrintSteps : public IPrintSteps {
public:
    bool ChoosePrinter(QPrinter& printer) override {
        ++dialogs;
        if (pdfPath.isEmpty())
            return false;
        PdfPrinter(printer, pdfPath, 300);
        if (!printerName.isEmpty()) {
            printer.setOutputFormat(QPrinter::NativeFormat);
            printer.setPrinterName(printerName);
        }
        return true;
    }
    bool Preview(QPrinter& printer, const std::function<void(QPrinter&)>& draw) override {
        // The preview draws with the same code on a printer like the chosen one.
        QPrinter shown(QPrinter::HighResolution);
        PdfPrinter(shown, previewPath, printer.resolution());
        draw(shown);
        cancelAt = cancelJobAt;
        return acceptPreview;
    }
    bool Progress(int done, int) override {
        lastProgress = done;
        return cancelAt < 0 || done < cancelAt;
    }
    void EndProgress() override { ++progressEnds; }

    QString pdfPath, previewPath, printerName;
    bool acceptPreview = true;
    int cancelAt = -1, cancelJobAt = -1;
    int dialogs = 0, lastProgress = -1, progressEnds = 0;
};

} // namespace

class TestReportPrinter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pdfPages_data();
    void pdfPages();
    void rowsStayInsideTheMarginsAndTheFrameIsOnEveryPage();
    void columnsScaleToThePage_data();
    void columnsScaleToThePage();
    void lowResolutionPagePrintsEveryColumn();
    void longTextWrapsAtABlankNearTheCut_data();
    void longTextWrapsAtABlankNearTheCut();
    void printButtonPrintsTheShownRowsInTheShownOrder();
    void printJobStopsWithoutWriting_data();
    void printJobStopsWithoutWriting();
    void jobsDoNotPileUpFontSets();
    void printedIdsLeaveTheirPaddingOut();
    void previewFitsTheScreen();

private:
    QTemporaryDir dir_;
};

void TestReportPrinter::pdfPages_data() {
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("pages");
    QTest::newRow("empty list") << 0 << 1;
    QTest::newRow("one page") << 20 << 1;
    // At 300 dpi on A4 a page holds 34 rows under the title, 37 on later pages.
    QTest::newRow("three pages") << 90 << 3;
}

void TestReportPrinter::pdfPages() {
    QFETCH(int, rows);
    QFETCH(int, pages);
    const QString path = dir_.filePath(QStringLiteral("list-%1.pdf").arg(rows));
    QPrinter printer(QPrinter::HighResolution);
    PdfPrinter(printer, path, 300);
    CReportPrinter engine;
    const TableRows table(rows);
    QCOMPARE(DrawResultList(engine, printer, table.Rows()), ReportOutcome::Printed);
    const QStringList text = PdfPages(path);
    QCOMPARE(text.size(), pages);
    for (const QString& page : text)
        QCOMPARE(page.count(QStringLiteral("HbA1c data reports")), 1);
    const QString all = text.join(QLatin1Char('\f'));
    // The title and the header row once, on the first page.
    QCOMPARE(all.count(QStringLiteral("Trevanix HbA1c Data List")), 1);
    QCOMPARE(all.count(QStringLiteral("Patent ID")), 1);
    QVERIFY(text.first().contains(QRegularExpression(
        QStringLiteral("No\\s+Date\\s+Time\\s+Result\\s+Patent ID\\s+Operator ID\\s+Note"))));
    QStringList expected;
    for (int i = 1; i <= rows; ++i)
        expected << QString::number(i);
    QCOMPARE(RowNumbers(text), expected);
}

void TestReportPrinter::rowsStayInsideTheMarginsAndTheFrameIsOnEveryPage() {
    // A4 at 300 dpi, 90 rows: three pages.
    Recorded r(90, 2480, 3508, 300);
    QVERIFY(r.ok);
    const std::vector<DrawnOp>& ops = r.device.engine.ops;
    const int lastPage = ops.back().page;
    QCOMPARE(lastPage, 3);
    const int limit = r.engine.PageHeight() - r.engine.BottomMargin();
    const int gap = r.engine.LineGapDevice();
    const QColor frameColour(230, 200, 20);
    for (int page = 1; page <= lastPage; ++page) {
        int colouredRules = 0, frameTexts = 0, rows = 0;
        double lastRowRule = 0;
        for (const DrawnOp& op : ops) {
            if (op.page != page)
                continue;
            if (!op.text.isEmpty() && op.text == QLatin1String(kReportFrameText))
                ++frameTexts;
            if (op.text.isEmpty() && op.pen.color() == frameColour)
                ++colouredRules;
            if (op.text.startsWith(QLatin1String("PID")))
                ++rows;
            // A row's lower rule: black, the grid pen, horizontal.
            if (op.text.isEmpty() && op.pen.widthF() == 6 && op.line.dy() == 0)
                lastRowRule = std::max(lastRowRule, op.line.y1());
        }
        QCOMPARE(frameTexts, 1);
        QCOMPARE(colouredRules, 2); // under the frame text at the top, and at the bottom
        QVERIFY(rows > 0);
        // The break came before the row that would have crossed the bottom margin.
        QVERIFY2(lastRowRule - gap <= limit, qPrintable(QString::number(lastRowRule)));
    }
    // The closing rule: a thin black full-width rule under the last row's rule, on the last page.
    const DrawnOp* lastRow = nullptr;
    const DrawnOp* closing = nullptr;
    for (const DrawnOp& op : ops) {
        if (op.text.isEmpty() && op.pen.widthF() == 6 && op.line.dy() == 0)
            lastRow = &op;
        if (op.text.isEmpty() && op.pen.widthF() <= 1 && op.pen.color() == Qt::black &&
            op.line.dy() == 0 && op.line.x2() == r.engine.PageWidth() - r.engine.RightMargin())
            closing = &op;
    }
    QVERIFY(lastRow && closing);
    QCOMPARE(closing->page, lastPage);
    QVERIFY(closing->line.y1() > lastRow->line.y1());
}

void TestReportPrinter::columnsScaleToThePage_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("dpi");
    QTest::addColumn<QList<int>>("widths");
    QTest::newRow("600 dpi, 4960 units: factor 2")
        << 4960 << 600 << QList<int>{360, 640, 440, 520, 800, 800, 800};
    QTest::newRow("300 dpi, 2480 units: factor 1")
        << 2480 << 300 << QList<int>{180, 320, 220, 260, 400, 400, 400};
    // 794 - 100 = 694 units for 2180 nominal ones and 7 gaps of 40: the exact fraction, never 0.
    QTest::newRow("96 dpi, 794 units: the fraction")
        << 794 << 96 << QList<int>{50, 90, 62, 73, 112, 112, 112};
}

void TestReportPrinter::columnsScaleToThePage() {
    QFETCH(int, width);
    QFETCH(int, dpi);
    QFETCH(QList<int>, widths);
    Recorded r(1, width, width * 297 / 210, dpi);
    QVERIFY(r.ok);
    QList<int> got;
    int sum = 0;
    for (int k = 0; k < r.engine.ColumnCount(); ++k) {
        got << r.engine.ColumnWidth(k);
        sum += r.engine.ColumnWidth(k);
    }
    QCOMPARE(got, widths);
    // A table that had to shrink ends inside the right margin, gaps included.
    const int tableEnd = 50 + sum + r.engine.ColumnGap() * 7 - r.engine.ColumnGap() / 4;
    if (sum < 2180)
        QVERIFY2(tableEnd <= width - 50, qPrintable(QString::number(tableEnd)));
}

void TestReportPrinter::lowResolutionPagePrintsEveryColumn() {
    const QString path = dir_.filePath(QStringLiteral("96dpi.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    PdfPrinter(printer, path, 96);
    CReportPrinter engine;
    TableRows table(1);
    table.cells[0] = {"1", "2024-03-15", "14:05", "6.5 %", "P1", "OP1", "Analyzer Tilted"};
    QCOMPARE(DrawResultList(engine, printer, table.Rows()), ReportOutcome::Printed);
    QVERIFY(engine.PageWidth() < 2180 + 100);
    const QString text = PdfPages(path).join(QString());
    // The narrow cells are clipped at their edges, but each prints where it belongs.
    for (const char* cell : {"2024-03-15", "14:05", "6.5 %", "P1", "OP1"})
        QVERIFY2(text.contains(QLatin1String(cell)), cell);
    QVERIFY(text.contains(QLatin1String("Analyzer")));
}

void TestReportPrinter::longTextWrapsAtABlankNearTheCut_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("cutAtBlank");
    const QString word = QStringLiteral("abcdefghij");
    QString words;
    for (int i = 0; i < 40; ++i)
        words += word + QLatin1Char(' ');
    QTest::newRow("words of ten letters") << words.trimmed() << true;
    // No blank within 20 characters of the cut: the cut stays inside the word.
    QTest::newRow("one long word after a blank")
        << QStringLiteral("a ") + QString(400, QLatin1Char('x')) << false;
}

void TestReportPrinter::longTextWrapsAtABlankNearTheCut() {
    QFETCH(QString, text);
    QFETCH(bool, cutAtBlank);
    RecordingDevice device(1000, 1400, 96);
    CReportPrinter engine;
    engine.Attach(&device, [&device]() { return device.NewPage(); });
    QVERIFY(engine.StartDocument(QStringLiteral("Trevanix")));
    const int set = engine.AddFontSet(QStringLiteral("New Gulim"), 10, 10);
    engine.SetMargins(50, 50, 50, 50);
    engine.StartPage();
    engine.PrintText(set, text.toStdString(), CReportPrinter::kAlignLeft, true);
    engine.EndDocument();
    QStringList pieces;
    for (const DrawnOp& op : device.engine.ops)
        if (!op.text.isEmpty())
            pieces << op.text;
    QVERIFY(pieces.size() >= 2);
    QCOMPARE(pieces.join(QString()), text); // nothing lost
    // Between words or inside one: the first cut.
    const bool insideWord =
        !pieces[0].endsWith(QLatin1Char(' ')) && !pieces[1].startsWith(QLatin1Char(' '));
    QCOMPARE(insideWord, !cutAtBlank);
    const std::vector<DrawnOp>& ops = device.engine.ops;
    for (size_t i = 0; i < ops.size(); ++i) {
        QCOMPARE(ops[i].at.x(), 50.0); // each piece at the left margin
        if (i > 0)
            QVERIFY(ops[i].at.y() > ops[i - 1].at.y()); // one line below the last
    }
}

void TestReportPrinter::printButtonPrintsTheShownRowsInTheShownOrder() {
    QTemporaryDir home;
    ScriptedPrompt prompt;
    CResultDatabases db(home.path(), &prompt);
    db.OpenDatabases();
    QVERIFY(StoreRows(db.ResultTable, {{"20240315", "1405", "065", "30 ", "OP1 "},
                                       {"20240301", "0900", "070", "10 ", "OP2 "},
                                       {"20240229", "0800", "040", "20 ", "OP2 "}}));
    AppSettings settings;
    FakeSession session;
    CHbA1cDeskAllDataListView view([](int) {}, session, prompt, db, settings);
    view.RefreshList();
    view.List->SortByColumn(4, true); // Patient ID, ascending
    QCOMPARE(view.List->ItemText(0, 4), std::string("10 "));
    ScriptedPrintSteps steps;
    steps.pdfPath = dir_.filePath(QStringLiteral("button.pdf"));
    steps.previewPath = dir_.filePath(QStringLiteral("preview.pdf"));
    view.SetPrintSteps(&steps);
    view.Print->click();
    QCOMPARE(steps.dialogs, 1);
    QVERIFY(prompt.messages.empty());
    for (const QString& path : {steps.pdfPath, steps.previewPath}) {
        const QString text = PdfPages(path).join(QString());
        // The row numbers stay with their rows: the list numbered them newest first.
        QCOMPARE(RowNumbers(PdfPages(path)), (QStringList{"2", "3", "1"}));
    }
    QCOMPARE(steps.lastProgress, 3);
}

void TestReportPrinter::printJobStopsWithoutWriting_data() {
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("message");
    QTest::newRow("print dialog cancelled") << "dialog" << QString();
    QTest::newRow("preview closed") << "preview" << QString();
    QTest::newRow("cancelled while printing") << "progress" << QString();
    // Rows read as they are drawn, one of them deleted meanwhile: no list with a hole.
    QTest::newRow("a row gone while printing") << "incomplete" << QString();
    // A PDF file that cannot be written names the file and the reason.
    QTest::newRow("file cannot be written") << "unwritable"
                                            << "No such file or directory";
    QTest::newRow("disk full while writing") << "full"
                                             << "File too large";
    QTest::newRow("a FIFO in its place") << "fifo"
                                         << "not a regular file (a named pipe (FIFO))";
}

void TestReportPrinter::printJobStopsWithoutWriting() {
    QFETCH(QString, step);
    QFETCH(QString, message);
    const bool unwritable = step == "unwritable";
    const QString folder = unwritable ? dir_.filePath(QStringLiteral("missing")) : dir_.path();
    const QString path = folder + QStringLiteral("/kept-%1.pdf").arg(step);
    if (step == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (!unwritable)
        QVERIFY(WriteAll(path, "earlier file"));
    ScriptedPrintSteps steps;
    steps.pdfPath = step == "dialog" ? QString() : path;
    steps.previewPath = dir_.filePath(QStringLiteral("preview-%1.pdf").arg(step));
    steps.acceptPreview = step != "preview";
    if (step == "progress")
        steps.cancelJobAt = 128; // the preview draws everything, the job stops at row 128
    ScriptedPrompt prompt;
    CReportPrinter engine;
    const TableRows table(500);
    // A full disk: no file of this process may grow past 32 KiB (the job needs more).
    rlimit before{};
    if (step == "full") {
        std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &before), 0);
        rlimit small = before;
        small.rlim_cur = 32 * 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    ReportRows rows = table.Rows();
    if (step == "incomplete")
        rows.complete = [] { return false; };
    const ReportOutcome outcome = PrintResultList(engine, steps, prompt, rows);
    if (step == "full")
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &before), 0);
    QVERIFY(outcome != ReportOutcome::Printed);
    if (step == "progress")
        QCOMPARE(steps.lastProgress, 128);
    // An earlier file stays as it was and no half-written one is left beside it.
    if (step == "fifo")
        QVERIFY(!QFileInfo(path).isFile() && QFileInfo::exists(path));
    else
        QCOMPARE(ReadAll(path), unwritable ? QByteArray() : QByteArray("earlier file"));
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral(".part")),
             QStringList());
    QCOMPARE(prompt.messages.size(), message.isEmpty() ? size_t(0) : size_t(1));
    if (!message.isEmpty()) {
        const QString text = QString::fromStdString(prompt.messages[0].text);
        QVERIFY2(text.startsWith("The file could not be written:\r\n" + path + "\r\n") &&
                     text.contains(message),
                 qPrintable(text));
    }
}

void TestReportPrinter::jobsDoNotPileUpFontSets() {
    // The window keeps one engine: every job (preview and print) makes its three sets anew.
    ScriptedPrintSteps steps;
    steps.pdfPath = dir_.filePath(QStringLiteral("twice.pdf"));
    steps.previewPath = dir_.filePath(QStringLiteral("twice-preview.pdf"));
    ScriptedPrompt prompt;
    CReportPrinter engine;
    const TableRows table(3);
    for (int job = 0; job < 2; ++job) {
        QCOMPARE(PrintResultList(engine, steps, prompt, table.Rows()), ReportOutcome::Printed);
        QCOMPARE(engine.FontSetCount(), 3);
    }
    QCOMPARE(RowNumbers(PdfPages(steps.pdfPath)), (QStringList{"1", "2", "3"}));
}

void TestReportPrinter::printedIdsLeaveTheirPaddingOut() {
    RecordingDevice device(2480, 3508, 300);
    TableRows table(2);
    table.cells[0][4] = "123    ";
    table.cells[0][5] = "7 ";
    table.cells[1][4] = " 45 "; // a leading blank is part of the ID
    CReportPrinter engine;
    engine.Attach(&device, [&device]() { return device.NewPage(); });
    QVERIFY(engine.StartDocument(QStringLiteral("Trevanix")));
    QCOMPARE(DrawReport(engine, table.Rows()), ReportOutcome::Printed);
    QStringList texts;
    for (const DrawnOp& op : device.engine.ops)
        if (!op.text.isEmpty())
            texts << op.text;
    for (const char* id : {"123", "7", " 45"})
        QVERIFY2(texts.contains(QString::fromLatin1(id)), id);
    for (const char* padded : {"123    ", "7 ", " 45 "})
        QVERIFY2(!texts.contains(QString::fromLatin1(padded)), padded);
}

void TestReportPrinter::previewFitsTheScreen() {
    QWidget parent;
    parent.show();
    const QRect screen = parent.screen()->availableGeometry();
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir_.filePath(QStringLiteral("fit.pdf")));
    CPrintDialogs dialogs(&parent);
    QRect frame, printButton, closeButton;
    QTimer::singleShot(0, [&]() {
        QWidget* dlg = QApplication::activeModalWidget();
        if (!dlg)
            return;
        frame = dlg->frameGeometry();
        for (QPushButton* b : dlg->findChildren<QPushButton*>()) {
            const QRect r(b->mapToGlobal(QPoint(0, 0)), b->size());
            if (b->text() == QStringLiteral("Print"))
                printButton = r;
            else if (b->text() == QStringLiteral("Close"))
                closeButton = r;
        }
        QMetaObject::invokeMethod(dlg, "reject", Qt::QueuedConnection);
    });
    QVERIFY(!dialogs.Preview(printer, [](QPrinter&) {}));
    QVERIFY2(frame.width() <= screen.width() && frame.height() <= screen.height(),
             qPrintable(QStringLiteral("%1x%2 on %3x%4")
                            .arg(frame.width())
                            .arg(frame.height())
                            .arg(screen.width())
                            .arg(screen.height())));
    QVERIFY(!printButton.isEmpty() && screen.contains(printButton));
    QVERIFY(!closeButton.isEmpty() && screen.contains(closeButton));
}

int main(int argc, char** argv) {
    // The view saves its layout into the per-user settings: keep it away from the user's.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    TestReportPrinter t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_reportprinter.moc"
