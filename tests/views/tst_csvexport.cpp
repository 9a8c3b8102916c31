// The CSV export: the bytes of a line (quoting, the formula guard, cells that stay as shown),
// both lists' files as the user gets them (questions, shown order, folders, the opener), and a
// file that cannot be written.

#include "FrameFixture.h"
#include "ViewFixture.h"
#include "platform/SafeTarget.h"
#include "report/CsvExport.h"
#include "views/AllDataListView.h"
#include "views/DownloadView.h"
#include "views/ListCsvExport.h"
#include "views/list/ListCtrlExt.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The desktop as a test sees it: the file it answers, the folders it was offered, what it opened.
struct Desktop {
    CsvDesktop Make() {
        CsvDesktop d;
        d.chooseFile = [this](const QString& folder) {
            offered << folder;
            return answer;
        };
        d.openFile = [this](const QString& path) {
            opened << path;
            return true;
        };
        return d;
    }
    QString answer;
    QStringList offered;
    QStringList opened;
};

std::vector<ListCells> Rows(const QList<QStringList>& rows) {
    std::vector<ListCells> out;
    for (const QStringList& r : rows) {
        ListCells cells;
        for (int c = 0; c < kListColumnCount && c < r.size(); ++c)
            cells[static_cast<size_t>(c)] = r[c].toStdString();
        out.push_back(cells);
    }
    return out;
}

std::vector<std::string> Messages(const ScriptedPrompt& p) {
    std::vector<std::string> out;
    for (const auto& m : p.messages)
        out.push_back(m.text);
    return out;
}

// No layout, sort or export folder left by an earlier run: cleared before the list loads its
// layout.
struct ClearedLayouts {
    ClearedLayouts() { QSettings(kLayoutOrganisation, kLayoutApplication).clear(); }
};

struct AllData : ClearedLayouts, ViewFixture<CHbA1cDeskAllDataListView> {
    AllData()
        : ViewFixture({{"20240315", "1405", "065", "O\"Neil, Jr", "=1+2", "Analyzer Tilted"},
                       {"20240301", "0900", "140", "line\nbreak", "OP2"},
                       {"20240229", "0800", "057", "123  ", "-7"}}) {
        settings.unit = 1; // mmol/mol: the list writes "> 130 " before the unit
        view->SetExportDesktop(desktop.Make());
        view->RefreshList();
    }
    Desktop desktop;
};

// A list longer than two pages, with cells that need quoting and the formula guard.
struct LongList : ClearedLayouts, ViewFixture<CHbA1cDeskAllDataListView> {
    LongList() : ViewFixture(Rows()) {
        view->SetExportDesktop(desktop.Make());
        view->RefreshList();
    }
    static std::vector<StoredRow> Rows() {
        std::vector<StoredRow> rows;
        for (int i = 0; i < 600; ++i)
            rows.push_back({DateKey(QDate(2023, 1, 1).addDays(i % 300)), i % 2 ? "0905" : "2359",
                            std::to_string(30 + i % 130),
                            i % 10 ? "P" + std::to_string(i % 37) + " " : "a,\"b\"",
                            i % 100 ? "OP" + std::to_string(i % 3) : "=1",
                            i % 50 ? " " : "Analyzer Tilted"});
        return rows;
    }
    // The list exported to the file, Yes answered.
    CsvExportOutcome Export(const QString& path) {
        desktop.answer = path;
        prompt.answers = {true};
        return ExportListToCsv(*view->List, kAllDataCsv, home.path(), prompt, desktop.Make(),
                               ListCsvThreading{threadAbove, onPage});
    }
    int threadAbove = std::numeric_limits<int>::max();
    std::function<bool(int)> onPage;
    Desktop desktop;
};

const QByteArray kAllDataHeader = "No,Date,Time,Result,PID,OPID,Note\n";

// The frame for the download view, not shown.
struct Frame : FrameFixture {
    Frame() : FrameFixture(false) {
        view = static_cast<CHbA1cDeskDownLoadView*>(frame.View(kViewDownload));
        view->SetExportDesktop(desktop.Make());
        view->SetDataFolder(home.path() + "/DATA");
        QDir(home.path()).mkdir("DATA");
    }
    Desktop desktop;
    CHbA1cDeskDownLoadView* view = nullptr;
};

} // namespace

class TestCsvExport : public QObject {
    Q_OBJECT
private Q_SLOTS:

    void lineBytes_data() {
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<QByteArray>("line");
        const QByteArray tail = ",Analyzer Tilted,\n";
        auto row = [](const QString& pid, const QString& opid) {
            return QStringList{"1", "2024-01-05", "09:30", "6.5 %", pid, opid, "Analyzer Tilted"};
        };
        QTest::newRow("plain cells as shown, blanks kept")
            << QStringList{"12", "2024-01-05", "09:30 PM", "> 130  mmol/mol", "123   ", "7", " "}
            << QByteArray("12,2024-01-05,09:30 PM,> 130  mmol/mol,123   ,7, ,\n");
        QTest::newRow("comma in a PID")
            << row("12,3", "7") << "1,2024-01-05,09:30,6.5 %,\"12,3\",7" + tail;
        QTest::newRow("quote in a PID")
            << row("O\"Neil", "7") << "1,2024-01-05,09:30,6.5 %,\"O\"\"Neil\",7" + tail;
        QTest::newRow("line feed in a PID")
            << row("a\nb", "7") << "1,2024-01-05,09:30,6.5 %,\"a\nb\",7" + tail;
        QTest::newRow("carriage return inside an OPID")
            << row("1", "a\rb") << "1,2024-01-05,09:30,6.5 %,1,\"a\rb\"" + tail;
        QTest::newRow("OPID =") << row("1", "=1+2") << "1,2024-01-05,09:30,6.5 %,1,'=1+2" + tail;
        QTest::newRow("PID +") << row("+49", "7") << "1,2024-01-05,09:30,6.5 %,'+49,7" + tail;
        QTest::newRow("OPID -") << row("1", "-7") << "1,2024-01-05,09:30,6.5 %,1,'-7" + tail;
        QTest::newRow("OPID @") << row("1", "@SUM(A1)")
                                << "1,2024-01-05,09:30,6.5 %,1,'@SUM(A1)" + tail;
        QTest::newRow("OPID tab") << row("1", "\tx") << "1,2024-01-05,09:30,6.5 %,1,'\tx" + tail;
        QTest::newRow("OPID leading carriage return: guarded and quoted")
            << row("1", "\rx") << "1,2024-01-05,09:30,6.5 %,1,\"'\rx\"" + tail;
        QTest::newRow("formula with commas and quotes")
            << row("=HYPERLINK(\"http://x\",\"y\")", "7")
            << "1,2024-01-05,09:30,6.5 %,\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\",7" + tail;
        QTest::newRow("an = inside an ID is no formula")
            << row("a=1", "b-2") << "1,2024-01-05,09:30,6.5 %,a=1,b-2" + tail;
        QTest::newRow("number, date, time, result and note never guarded")
            << QStringList{"-1", "=2024", "+09:30", "-6.5 %", "1", "2", "@x"}
            << QByteArray("-1,=2024,+09:30,-6.5 %,1,2,@x,\n");
        QTest::newRow("empty cells")
            << QStringList{"", "", "", "", "", "", ""} << QByteArray(",,,,,,,\n");
    }
    void lineBytes() {
        QFETCH(QStringList, cells);
        QFETCH(QByteArray, line);
        const std::vector<ListCells> rows = Rows({cells});
        const std::string bytes = CsvBytes(kAllDataCsv, CListCellsRows(rows));
        QCOMPARE(QByteArray::fromStdString(bytes), kAllDataHeader + line);
    }

    void layouts_data() {
        QTest::addColumn<bool>("download");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("all data, empty: the header only") << false << 0 << kAllDataHeader;
        QTest::newRow("download, empty")
            << true << 0 << QByteArray("No,Date,Time,Result,PID,OPID\n");
        QTest::newRow("download: seven fields under six names")
            << true << 2
            << QByteArray("No,Date,Time,Result,PID,OPID\n1,d,t,r,p,o,n,\n2,d,t,r,p,o,n,\n");
    }
    void layouts() {
        QFETCH(bool, download);
        QFETCH(int, rows);
        QFETCH(QByteArray, bytes);
        const std::vector<ListCells> cells = Rows(QList<QStringList>{
            {"1", "d", "t", "r", "p", "o", "n"},
            {"2", "d", "t", "r", "p", "o", "n"}}.mid(0, rows));
        QCOMPARE(QByteArray::fromStdString(
                     CsvBytes(download ? kDownloadCsv : kAllDataCsv, CListCellsRows(cells))),
                 bytes);
    }

    void allDataListWritesTheShownRows() {
        AllData f;
        QTemporaryDir out;
        f.desktop.answer = out.filePath("all.csv");
        f.prompt.answers = {true};
        f.view->Export->click();
        QCOMPARE(Messages(f.prompt), std::vector<std::string>{kExportAllQuestion});
        const QByteArray newestFirst =
            kAllDataHeader +
            "1,2024-03-15,14:05,48 mmol/mol,\"O\"\"Neil, Jr\",'=1+2,Analyzer Tilted,\n"
            "2,2024-03-01,09:00,> 130  mmol/mol,\"line\nbreak\",OP2, ,\n"
            "3,2024-02-29,08:00,39 mmol/mol,123  ,'-7, ,\n";
        QCOMPARE(ReadAll(f.desktop.answer), newestFirst);
        QCOMPARE(f.desktop.opened, QStringList{f.desktop.answer});
        // The first dialog starts in the base folder, which is current again afterwards.
        QCOMPARE(f.desktop.offered, QStringList{f.home.path()});
        QCOMPARE(QDir::currentPath(), QDir(f.home.path()).canonicalPath());

        // Sorted by result (the "> 130" at the top end), with the date column hidden: the file
        // follows the shown order, every column still there, each row keeping its number.
        f.view->List->SortByColumn(3, true);
        f.view->List->ShowColumn(1, false);
        f.desktop.answer = out.filePath("sorted.csv");
        f.prompt.answers = {true};
        f.view->OnExport();
        QCOMPARE(ReadAll(f.desktop.answer),
                 kAllDataHeader +
                     "3,2024-02-29,08:00,39 mmol/mol,123  ,'-7, ,\n"
                     "1,2024-03-15,14:05,48 mmol/mol,\"O\"\"Neil, Jr\",'=1+2,Analyzer Tilted,\n"
                     "2,2024-03-01,09:00,> 130  mmol/mol,\"line\nbreak\",OP2, ,\n");
        // The folder chosen last is offered next.
        QCOMPARE(f.desktop.offered.last(), out.path());

        // No: no dialog. Cancelled dialog: nothing written, nothing opened.
        f.prompt.answers = {false};
        f.view->OnExport();
        f.desktop.answer.clear();
        f.prompt.answers = {true};
        f.view->OnExport();
        QCOMPARE(f.desktop.offered.size(), 3);
        QCOMPARE(f.desktop.opened.size(), 2);
        QCOMPARE(QDir(out.path()).entryList(QDir::Files).size(), 2);
    }

    // A long list is written on a thread from its rows read again by key, a page at a time in
    // the shown order: the same bytes as the list written at once. Cancel (here from the
    // writing thread's page hook, as the dialog's button sets the same stop) keeps the old file
    // and says nothing.
    void longListWrittenOnAThread_data() {
        QTest::addColumn<int>("sortColumn"); // -1: the order read
        QTest::addColumn<int>("clicks");
        QTest::newRow("order read") << -1 << 0;
        QTest::newRow("by result") << 3 << 1;
        QTest::newRow("by patient, descending") << 4 << 2;
        QTest::newRow("by No., descending") << 0 << 2;
    }
    void longListWrittenOnAThread() {
        QFETCH(int, sortColumn);
        QFETCH(int, clicks);
        LongList f;
        for (int c = 0; c < clicks; ++c)
            f.view->List->SortByColumn(sortColumn, true);
        f.view->List->ShowColumn(2, false);
        QTemporaryDir out;
        QCOMPARE(f.Export(out.filePath("at once.csv")).result, CsvExportResult::Written);
        const QByteArray atOnce = ReadAll(out.filePath("at once.csv"));
        QCOMPARE(atOnce.count('\n'), 601);
        std::vector<int> pages;
        f.threadAbove = 0;
        f.onPage = [&pages](int row) {
            pages.push_back(row);
            return true;
        };
        QCOMPARE(f.Export(out.filePath("on a thread.csv")).result, CsvExportResult::Written);
        QCOMPARE(ReadAll(out.filePath("on a thread.csv")), atOnce);
        QCOMPARE(pages, (std::vector<int>{0, 256, 512}));
        QCOMPARE(f.desktop.opened.size(), 2);

        const QString old = out.filePath("old.csv");
        QVERIFY(WriteAll(old, "old bytes\n"));
        const size_t said = f.prompt.messages.size();
        f.onPage = [](int row) { return row < 256; };
        QCOMPARE(f.Export(old).result, CsvExportResult::Cancelled);
        QCOMPARE(ReadAll(old), QByteArray("old bytes\n"));
        QCOMPARE(f.prompt.messages.size(), said);
        QCOMPARE(f.desktop.opened.size(), 2);
        QCOMPARE(QDir(out.path()).entryList(QDir::Files).size(), 3); // no copy left behind
        // Results deleted while the file is written (another program, or the table closed):
        // no file of empty lines, the earlier one stays and the user is told why.
        f.onPage = [&f](int row) {
            if (row == 256) {
                auto lock = f.db.ResultTable.Lock();
                f.db.ResultTable.Execute("DELETE FROM HospitalTlb");
            }
            return true;
        };
        QCOMPARE(f.Export(old).result, CsvExportResult::Failed);
        QCOMPARE(ReadAll(old), QByteArray("old bytes\n"));
        QCOMPARE(f.prompt.messages.size(), said + 1);
        QVERIFY2(f.prompt.messages.back().text.find("changed or deleted") != std::string::npos,
                 f.prompt.messages.back().text.c_str());
        QCOMPARE(QDir(out.path()).entryList(QDir::Files).size(), 3);
        // The Export button takes the list's threshold.
        f.view->SetBackgroundReadAbove(0);
        f.view->ExportPageHook = [](int) { return false; };
        f.prompt.answers = {true};
        f.desktop.answer = old;
        f.view->OnExport();
        QCOMPARE(ReadAll(old), QByteArray("old bytes\n"));
    }

    void downloadListExport_data() {
        QTest::addColumn<int>("autoMode");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QByteArray>("bytes"); // empty: no file
        QTest::newRow("automatic mode: nothing") << 1 << 2 << true << QStringList() << QByteArray();
        QTest::newRow("no rows") << 0 << 0 << true << QStringList{kNothingToExportText}
                                 << QByteArray();
        QTest::newRow("No") << 0 << 2 << false << QStringList{kExportDownloadQuestion}
                            << QByteArray();
        QTest::newRow("Yes") << 0 << 2 << true << QStringList{kExportDownloadQuestion}
                             << QByteArray("No,Date,Time,Result,PID,OPID\n"
                                           "1,2026-12-01,10:11,7.0 %,P,'=OP,Analyzer Tilted,\n"
                                           "2,2026-12-01,10:10,6.5 %,P,'=OP, ,\n");
    }
    void downloadListExport() {
        QFETCH(int, autoMode);
        QFETCH(int, rows);
        QFETCH(bool, yes);
        QFETCH(QStringList, messages);
        QFETCH(QByteArray, bytes);
        Frame f;
        const std::vector<StoredRow> stored = {
            {"20261201", "1010", "065", "P", "OP"},
            {"20261201", "1011", "070", "P", "OP", "Analyzer Tilted"}};
        // An OPID that looks like a formula to check the guard once more on this list.
        std::vector<StoredRow> some(stored.begin(), stored.begin() + rows);
        for (StoredRow& r : some)
            r.opid = "=OP";
        QVERIFY(StoreRows(f.frame.Databases().DownloadTable, some));
        f.view->FillDownloadList();
        QCOMPARE(f.view->List()->ItemCount(), rows);
        f.frame.Link().Presets().PresetMode(AutoModeValue(autoMode));
        QTemporaryDir out;
        f.desktop.answer = out.filePath("down.csv");
        f.prompt.messages.clear();
        f.prompt.answers = {yes};
        f.view->Export->click();
        f.frame.Link().Presets().PresetMode(kModeManual);
        QStringList got;
        for (const std::string& m : Messages(f.prompt))
            got << QString::fromStdString(m);
        QCOMPARE(got, messages);
        if (bytes.isEmpty()) {
            QVERIFY(!QFile::exists(f.desktop.answer));
            QVERIFY(f.desktop.opened.isEmpty());
            return;
        }
        QCOMPARE(ReadAll(f.desktop.answer), bytes);
        QCOMPARE(f.desktop.opened, QStringList{f.desktop.answer});
        QCOMPARE(QDir::currentPath(), QDir(f.home.path() + "/DATA").canonicalPath());
    }

    void unwritableFileIsReportedAndTheOldOneKept_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("readOnlyFolder");
        QTest::addColumn<bool>("existing");
        QTest::addColumn<QString>("node"); // what stands at the path instead of a file
        QTest::addColumn<QString>("reason");
        QTest::newRow("read-only folder") << "old.csv" << true << true << ""
                                          << "permission denied";
        // Too long for the temporary copy next to it: fails for every user, root included.
        QTest::newRow("no room for the temporary copy") << QString(250, 'x') << false << true << ""
                                                        << "";
        QTest::newRow("folder missing") << "missing/new.csv" << false << false << ""
                                        << "";
        // Replaced by a file before: a pipe another program reads, a link to one.
        QTest::newRow("a FIFO") << "pipe.csv" << false << false << "fifo"
                                << "not a regular file (a named pipe (FIFO))";
        QTest::newRow("a link to a FIFO") << "link.csv" << false << false << "link to fifo"
                                          << "not a regular file (a symbolic link to a named pipe";
        QTest::newRow("a folder") << "folder.csv" << false << false << "folder"
                                  << "not a regular file (a folder)";
    }
    void unwritableFileIsReportedAndTheOldOneKept() {
        QFETCH(QString, name);
        QFETCH(bool, readOnlyFolder);
        QFETCH(bool, existing);
        QFETCH(QString, node);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        if (existing)
            QVERIFY(WriteAll(path, "old bytes\n"));
        const QString fifo = dir.filePath(QStringLiteral("fifo"));
        if (node.contains("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        if (node == "fifo")
            QVERIFY(QFile::rename(fifo, path));
        if (node == "link to fifo")
            QVERIFY(QFile::link(fifo, path));
        if (node == "folder")
            QVERIFY(QDir().mkdir(path));
        if (readOnlyFolder) {
            QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
            if (::access(QFile::encodeName(dir.path()).constData(), W_OK) == 0) {
                QFile::setPermissions(dir.path(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
                QSKIP("this user writes into read-only folders (root)");
            }
        }
        ScriptedPrompt prompt;
        Desktop desktop;
        desktop.answer = path;
        const std::vector<ListCells> rows = Rows({{"1", "d", "t", "r", "p", "o", "n"}});
        const CsvExportOutcome outcome =
            ExportCsv(CListCellsRows(rows), kAllDataCsv, CsvFolders{dir.path(), QString()}, prompt,
                      desktop.Make());
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(outcome.result, CsvExportResult::Failed);
        QCOMPARE(prompt.messages.size(), size_t(1));
        const std::string& text = prompt.messages[0].text;
        QVERIFY2(
            text.rfind("The file could not be written:\r\n" + path.toStdString() + "\r\n", 0) == 0,
            text.c_str());
        // The reason follows the name.
        QVERIFY(text.size() >
                ("The file could not be written:\r\n" + path.toStdString() + "\r\n").size());
        QVERIFY2(text.find(reason.toStdString()) != std::string::npos, text.c_str());
        QVERIFY(desktop.opened.isEmpty());
        if (existing)
            QCOMPARE(ReadAll(path), QByteArray("old bytes\n"));
        else if (node.isEmpty())
            QVERIFY(!QFile::exists(path));
        // What stood there still does.
        if (node.contains("fifo"))
            QVERIFY(QFileInfo(path).isSymLink() == (node == "link to fifo") &&
                    !QFileInfo(QFileInfo(path).canonicalFilePath()).isFile());
        if (node == "folder")
            QVERIFY(QFileInfo(path).isDir());
        // Nothing left behind next to it.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::NoSymLinks).size(),
                 existing ? 1 : 0);
    }

    // Rows read as they are written, one of them deleted meanwhile: the file is not replaced.
    void aListThatLostARowKeepsTheOldFile() {
        class Lost : public CListCellsRows {
        public:
            using CListCellsRows::CListCellsRows;
            bool Complete() const override { return false; }
        };
        QTemporaryDir dir;
        const QString path = dir.filePath("old.csv");
        QVERIFY(WriteAll(path, "old bytes\n"));
        const std::vector<ListCells> rows = Rows({{"1", "d", "t", "r", "p", "o", "n"}});
        QString reason;
        QVERIFY(WriteCsvFile(path, kAllDataCsv, CListCellsRows(rows), &reason));
        QVERIFY(WriteAll(path, "old bytes\n"));
        QVERIFY(!WriteCsvFile(path, kAllDataCsv, Lost(rows), &reason));
        QCOMPARE(ReadAll(path), QByteArray("old bytes\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1);
    }

    // The reason a write failed, in plain words: errno where it names one, else what the folder
    // shows, else the device's text ("Unknown error" alone never reaches the user).
    void writeFailureReasons_data() {
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("deviceText");
        QTest::addColumn<QString>("reason");
        QTest::newRow("full disk, Qt knows no reason") << ENOSPC << "Unknown error"
                                                       << "no space left on the disk";
        QTest::newRow("full disk, Qt's words kept")
            << ENOSPC << "No space left on device"
            << "no space left on the disk (No space left on device)";
        QTest::newRow("quota") << EDQUOT << ""
                               << "no space left on the disk";
        QTest::newRow("read-only disk") << EROFS << "Read-only file system"
                                        << "the disk is read-only (Read-only file system)";
        QTest::newRow("permission") << EACCES << ""
                                    << "permission denied: the folder or the file may not be "
                                       "written";
        QTest::newRow("other: the device's text") << EIO << "Input/output error"
                                                  << "Input/output error";
        QTest::newRow("nothing known") << 0 << ""
                                       << "unknown error";
    }
    void writeFailureReasons() {
        QFETCH(int, error);
        QFETCH(QString, deviceText);
        QFETCH(QString, reason);
        QTemporaryDir dir; // a writable folder with room: it adds no reason of its own
        QCOMPARE(WriteFailureReason(dir.filePath("x.csv"), error, deviceText), reason);
    }
};

QTEST_MAIN(TestCsvExport)
#include "tst_csvexport.moc"
