// The CSV export of a 100,000-row list against writing the same bytes with one buffered write,
// in one run. Each figure is the median of eleven runs, taken in turns:
//  1. the All data list's export as the Export button runs it (ExportListToCsv: the cells of the
//     list, quoting and the formula guard, the file written through a temporary copy and put in
//     place), without the dialog and the spreadsheet program;
//  2. trevanix-cli export's part: the same bytes from the rows' cell texts, and the file;
//  3. the parts alone: making the bytes in memory, and writing finished bytes through a
//     temporary copy that is then put in place (what keeps an old file whole);
//  4. the baselines: the finished bytes written with one fwrite to a plain file, and with one
//     write through the same temporary copy the export uses (a file that is synced to the
//     disk before it replaces the old one costs about twice a plain write by itself).
// Every tenth PID holds a comma and every hundredth OPID begins with "=", so the quoting and the
// guard run as they would on awkward data.
// Usage: bench_csv [rows]   (default 100000; runs offscreen)

#include "platform/Prompt.h"
#include "query/ResultQuery.h"
#include "report/CsvExport.h"
#include "settings/Settings.h"
#include "views/ListCsvExport.h"
#include "views/list/ListCtrlExt.h"

#include <QApplication>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "BenchSupport.h"

using bench::QuietPrompt;

namespace {

using Clock = std::chrono::steady_clock;

// Runs the candidates in turns, eleven rounds, so that each meets the same machine; the median
// of each.
std::vector<double> MedianMs(const std::vector<std::function<void()>>& runs) {
    std::vector<std::vector<double>> ms(runs.size());
    for (int round = 0; round < 11; ++round)
        for (size_t i = 0; i < runs.size(); ++i) {
            const auto t0 = Clock::now();
            runs[i]();
            ms[i].push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        }
    std::vector<double> out;
    for (std::vector<double>& m : ms) {
        std::sort(m.begin(), m.end());
        out.push_back(m[m.size() / 2]);
    }
    return out;
}

std::string ReadAllBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

ResultRow MakeRow(int i) {
    // About three years of results from 2,000 patients and 20 operators.
    const QDate d = QDate(2022, 1, 1).addDays(i % 1095);
    char date[16], time[8], value[8], pid[24], opid[16];
    std::snprintf(date, sizeof date, "%04d%02d%02d", d.year(), d.month(), d.day());
    std::snprintf(time, sizeof time, "%02d%02d", (i / 7) % 24, (i / 3) % 60);
    std::snprintf(value, sizeof value, "%03d", 40 + (i * 37) % 101);
    std::snprintf(pid, sizeof pid, i % 10 == 0 ? "PAT,%05d " : "PAT%05d ", (i * 7919) % 2000);
    std::snprintf(opid, sizeof opid, i % 100 == 0 ? "=OP%02d " : "OP%02d ", i % 20);
    ResultRow r;
    r.key.DATE = date;
    r.key.TIME = time;
    r.key.HbA1c_VALUE = value;
    r.key.PID = pid;
    r.key.OPID = opid;
    r.EQ_TYPE = i % 50 == 0 ? "Analyzer Tilted" : " ";
    return r;
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir tmp;
    bench::BenchEnvironment(tmp.filePath("config"));
    QApplication app(argc, argv);
    const int kRows = argc > 1 ? std::atoi(argv[1]) : 100000;

    AppSettings settings;
    std::vector<ListCells> cells;
    cells.reserve(static_cast<size_t>(kRows));
    std::vector<CListRowRecord> records(static_cast<size_t>(kRows));
    for (int i = 0; i < kRows; ++i) {
        cells.push_back(ResultCells(MakeRow(i), i + 1, settings, ListKind::AllData));
        records[static_cast<size_t>(i)].cells.assign(cells.back().begin(), cells.back().end());
    }
    CListCtrlExt list(1001);
    for (int c = 0; c < kListColumnCount; ++c)
        list.InsertColumn(c, QStringLiteral("c%1").arg(c), Qt::AlignCenter, 100);
    list.AppendItems(std::move(records));

    QuietPrompt prompt(true);
    const QString listFile = tmp.filePath("list.csv");
    const QString cliFile = tmp.filePath("cli.csv");
    const QString rawFile = tmp.filePath("raw.csv");
    const QString saveFile = tmp.filePath("save.csv");
    CsvDesktop desktop;
    desktop.chooseFile = [&listFile](const QString&) { return listFile; };
    desktop.openFile = [](const QString&) { return true; };

    const std::string bytes = CsvBytes(kAllDataCsv, CListCellsRows(cells));
    std::printf("CSV export of %d rows (%.1f MB), median of 11 runs\n", kRows,
                static_cast<double>(bytes.size()) / 1e6);

    std::string made;
    const std::vector<double> ms = MedianMs({
        [&]() { ExportListToCsv(list, kAllDataCsv, tmp.path(), prompt, desktop); },
        [&]() {
            QString reason;
            WriteCsvFile(cliFile, kAllDataCsv, CListCellsRows(cells), &reason);
        },
        [&]() { made = CsvBytes(kAllDataCsv, CListCellsRows(cells)); },
        [&]() {
            QSaveFile f(saveFile);
            if (f.open(QIODevice::WriteOnly)) {
                f.write(bytes.data(), static_cast<qint64>(bytes.size()));
                f.commit();
            }
        },
        [&]() {
            std::FILE* f = std::fopen(QFile::encodeName(rawFile).constData(), "wb");
            if (!f)
                return;
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        },
    });
    const double listMs = ms[0], cliMs = ms[1], bytesMs = ms[2], saveMs = ms[3], rawMs = ms[4];

    const bool same = made == bytes && ReadAllBytes(listFile) == bytes &&
                      ReadAllBytes(cliFile) == bytes && ReadAllBytes(rawFile) == bytes;
    std::printf("  list export (Export button)   %8.1f ms   %5.2fx baseline\n", listMs,
                listMs / rawMs);
    std::printf("  trevanix-cli export part      %8.1f ms   %5.2fx baseline\n", cliMs,
                cliMs / rawMs);
    std::printf("    making the bytes            %8.1f ms\n", bytesMs);
    std::printf("    the finished bytes written through a temporary copy and put in place\n"
                "                                %8.1f ms   %5.2fx baseline\n",
                saveMs, saveMs / rawMs);
    std::printf("  baseline: one fwrite          %8.1f ms\n", rawMs);
    std::printf("  against one write of the same bytes through the same temporary copy:\n"
                "    Export button %5.2fx, trevanix-cli export %5.2fx\n",
                listMs / saveMs, cliMs / saveMs);
    std::printf("  files identical: %s\n", same ? "yes" : "NO");
    return same ? 0 : 1;
}
