// The printed result list to PDF against a plain QPainter loop, in one run:
//  - time to write N rows as a PDF through QPrinter (PdfFormat, the printer's high resolution)
//    with the report (DrawResultList), and with a baseline loop that draws the same texts
//    (centred in the same columns, so it measures them too) and the same rules on the same kind
//    of printer, breaking pages at the same height;
//  - the peak resident memory (VmHWM) of each, before drawing and after, at each N: a document
//    that is streamed page by page keeps it flat as the pages grow.
// Each measurement runs in a child process of its own, so that one peak does not hide the next.
// Usage: bench_print [rows ...]   (default 1000 10000; offscreen)

#include "report/ResultListReport.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

long PeakKb() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmHWM:") {
            status >> value;
            return value;
        }
        status.ignore(1 << 12, '\n');
    }
    return -1;
}

// Row i's cells as the list shows them (no table needed: only the drawing is measured).
void RowCells(int i, ListCells& cells) {
    char date[16], time[8], value[16], pid[24], opid[16];
    std::snprintf(date, sizeof date, "2024-%02d-%02d", 1 + (i / 28) % 12, 1 + i % 28);
    std::snprintf(time, sizeof time, "%02d:%02d", (i / 7) % 24, (i / 3) % 60);
    std::snprintf(value, sizeof value, "%d.%d %%", 4 + (i * 37) % 10, i % 10);
    std::snprintf(pid, sizeof pid, "PAT%05d      ", (i * 7919) % 2000);
    std::snprintf(opid, sizeof opid, "OP%02d", i % 20);
    cells = {
        std::to_string(i + 1), date, time, value, pid, opid, i % 50 == 0 ? "Analyzer Tilted" : " "};
}

void PdfPrinter(QPrinter& printer, const QString& path) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setOutputFileName(path);
}

// The baseline: the same page content drawn directly, no engine.
int DrawBaseline(QPrinter& printer, int n) {
    QPainter p;
    if (!p.begin(&printer))
        return -1;
    const int dpi = printer.logicalDpiY();
    auto pt = [dpi](int points) { return points * dpi / 72; };
    QFont font(QStringLiteral("New Gulim"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pt(8));
    QFont bold = font;
    bold.setBold(true);
    p.setFont(font);
    const QFontMetrics fm(font, &printer);
    const int w = printer.width(), h = printer.height(), gap = pt(5), th = fm.height();
    const int factor = std::max(1, (w - 100) / 2180);
    const int nominal[kListColumnCount] = {180, 320, 220, 260, 400, 400, 400};
    int x0[kListColumnCount], widths[kListColumnCount], sum = 0;
    int b = 50;
    for (int c = 0; c < kListColumnCount; ++c) {
        b += c == 0 ? 10 : 40;
        x0[c] = b;
        widths[c] = nominal[c] * factor;
        b += widths[c];
        sum += widths[c];
    }
    const QPen rule(Qt::black, 6), thin(Qt::black, 1), frame(QColor(230, 200, 20), 5);
    int y = 0, pages = 1;
    auto frameTop = [&]() {
        y = pt(50) + th + gap;
        p.setPen(thin);
        p.drawLine(50, y, w - 50, y);
        y += gap;
        p.setPen(Qt::black);
        p.drawText((w - fm.horizontalAdvance(QStringLiteral("HbA1c data reports"))) / 2,
                   y + fm.ascent(), QStringLiteral("HbA1c data reports"));
        y += th + gap;
        p.setPen(frame);
        p.drawLine(50, y, w - 50, y);
        y += gap + th + gap;
    };
    ListCells cells;
    frameTop();
    for (int i = 0; i < n; ++i) {
        if (h - 50 < y + gap + th) {
            p.setPen(frame);
            p.drawLine(50, y, w - 50, y);
            printer.newPage();
            ++pages;
            frameTop();
        }
        RowCells(i, cells);
        p.setPen(rule);
        for (int c = 0; c < kListColumnCount; ++c) {
            p.drawLine(x0[c] - 20, y - gap, x0[c] - 20, y + gap + th);
            p.drawLine(x0[c] + widths[c] + 20, y - gap, x0[c] + widths[c] + 20, y + gap + th);
        }
        p.setPen(Qt::black);
        for (int c = 0; c < kListColumnCount; ++c) {
            const QString text = QString::fromLocal8Bit(cells[static_cast<size_t>(c)].c_str());
            p.drawText(x0[c] + (widths[c] - fm.horizontalAdvance(text)) / 2, y + fm.ascent(), text);
        }
        p.setPen(rule);
        p.drawLine(50, y - gap, 50 + sum + 270, y - gap);
        y += gap + th;
        p.drawLine(50, y, 50 + sum + 270, y);
        y += gap;
    }
    p.end();
    return pages;
}

// One measurement in this process: prints "ms pages peak-before peak-after bytes".
int Child(const std::string& kind, int n, int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    PdfPrinter(printer, path);
    const long before = PeakKb();
    const auto t0 = Clock::now();
    int pages = 0;
    if (kind == "report") {
        int cached = -1;
        ListCells cells;
        ReportRows rows;
        rows.count = n;
        rows.cell = [&](int row, int column) -> const std::string& {
            if (row != cached) {
                RowCells(row, cells);
                cached = row;
            }
            return cells[static_cast<size_t>(column)];
        };
        CReportPrinter engine;
        if (DrawResultList(engine, printer, rows) != ReportOutcome::Printed)
            return 1;
        pages = engine.PageNumber();
    } else {
        pages = DrawBaseline(printer, n);
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    std::printf("%.1f %d %ld %ld %lld\n", ms, pages, before, PeakKb(),
                static_cast<long long>(QFileInfo(path).size()));
    return pages > 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--child")
        return Child(argv[2], std::atoi(argv[3]), argc, argv);

    QCoreApplication app(argc, argv);
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i)
        counts.push_back(std::atoi(argv[i]));
    if (counts.empty())
        counts = {1000, 10000};
    std::printf("printed result list to PDF, A4, %s\n",
                "QPrinter::HighResolution (1200 dpi), each run in a process of its own");
    std::printf("%8s  %-9s %10s %7s %12s %12s %10s\n", "rows", "drawing", "time ms", "pages",
                "peak before", "peak after", "PDF KiB");
    for (int n : counts) {
        double ms[2] = {0, 0};
        int k = 0;
        for (const char* kind : {"baseline", "report"}) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--child"), QString::fromLatin1(kind), QString::number(n)});
            if (!child.waitForFinished(600000) || child.exitCode() != 0) {
                std::printf("%8d  %-9s failed\n", n, kind);
                return 1;
            }
            double t = 0;
            int pages = 0;
            long before = 0, after = 0;
            long long bytes = 0;
            std::sscanf(child.readAllStandardOutput().constData(), "%lf %d %ld %ld %lld", &t,
                        &pages, &before, &after, &bytes);
            ms[k++] = t;
            std::printf("%8d  %-9s %10.1f %7d %9ld KiB %9ld KiB %10lld\n", n, kind, t, pages,
                        before, after, bytes / 1024);
        }
        std::printf("%8d  report / baseline time: %.2fx\n", n, ms[1] / ms[0]);
    }
    return 0;
}
