// The all-data list as the user works it: the fill, the default range, the period list, the
// search with its messages and the ID lists, and the formats of the settings.

#include "ViewFixture.h"
#include "controls/DateTimeCtrl.h"
#include "views/AllDataListView.h"
#include "views/list/ListCtrlExt.h"
#include "views/list/ResultColumns.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using Texts = std::vector<std::string>;

struct Fixture : ViewFixture<CHbA1cDeskAllDataListView> {
    using ViewFixture::ViewFixture;
    void Search(const QDate& from, const QDate& to, const QString& pid = "ALL Data",
                const QString& opid = "ALL Data") {
        view->StartDate->SetDate(from);
        view->EndDate->SetDate(to);
        view->PidList->setEditText(pid);
        view->OpidList->setEditText(opid);
        view->OnSearch();
    }
};

const std::vector<StoredRow> kRows = {{"20240315", "1405", "065", "123456 ", "OP1 "},
                                      {"20240301", "0900", "140", "abc ", "op1 "},
                                      {"20240229", "0800", "040", "ABC ", "OP2 "},
                                      {"20240110", "1200", "070", "O'Neil ", "OP1 "},
                                      {"20230310", "1000", "057", "123456 ", "OP3 "}};

// More rows than a page, with equal keys, dates across years, all result ranges, IDs of
// digits, letters and cases.
std::vector<StoredRow> LongRows() {
    std::vector<StoredRow> rows;
    for (int i = 0; i < 300; ++i)
        rows.push_back({DateKey(QDate(2023, 11, 1).addDays(i % 90)), i % 4 ? "1200" : "0905",
                        std::to_string(30 + (i * 7) % 130),
                        i % 3 ? "P" + std::to_string(i % 5) + " " : std::to_string(i % 11) + " ",
                        "OP" + std::to_string(i % 4), i % 6 ? " " : "Analyzer Tilted"});
    return rows;
}

} // namespace

class TestAllDataView : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void emptyTableAtStart() {
        Fixture f;
        f.view->RefreshList();
        QCOMPARE(f.view->List->ItemCount(), 0);
        QCOMPARE(f.view->EndDate->GetDate(), QDate(2024, 6, 8));
        QCOMPARE(f.view->StartDate->GetDate(), QDate(2024, 6, 1));
        QCOMPARE(f.Items(f.view->PidList), Texts{"ALL Data"});
        // "1 week" on an empty list has no upper bound and finds nothing.
        f.view->OnPeriodChanged(1);
        QCOMPARE(f.view->List->ItemCount(), 0);
        QVERIFY(f.view->SearchActive());
    }

    void refreshShowsEveryRowNewestFirst() {
        Fixture f(kRows);
        f.view->OnPeriodChanged(1);
        QVERIFY(f.view->SearchActive());
        f.view->RefreshList();
        QVERIFY(!f.view->SearchActive());
        QCOMPARE(f.Column(0), (Texts{"1", "2", "3", "4", "5"}));
        QCOMPARE(f.Column(1),
                 (Texts{"2024-03-15", "2024-03-01", "2024-02-29", "2024-01-10", "2023-03-10"}));
        QCOMPARE(f.Column(3)[1], std::string("> 14 %"));
        QCOMPARE(f.Column(3)[2], std::string("< 4 %"));
        // IDs once each, case aside, in order of first appearance.
        // Without the blanks the IDs are stored with.
        QCOMPARE(f.Items(f.view->PidList), (Texts{"ALL Data", "123456", "abc", "O'Neil"}));
        QCOMPARE(f.Items(f.view->OpidList), (Texts{"ALL Data", "OP1", "OP2", "OP3"}));
        QCOMPARE(f.view->List->SelectedRow(), 0);
        // The default range ends at the newest result.
        QCOMPARE(f.view->EndDate->GetDate(), QDate(2024, 3, 15));
        QCOMPARE(f.view->StartDate->GetDate(), QDate(2024, 3, 8));
    }

    void search_data() {
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<QString>("pid");
        QTest::addColumn<QString>("opid");
        QTest::addColumn<Texts>("dates");
        QTest::addColumn<Texts>("pidList");
        const QString all = QStringLiteral("ALL Data");
        QTest::newRow("one day") << QDate(2024, 3, 1) << QDate(2024, 3, 1) << all << all
                                 << Texts{"2024-03-01"} << Texts{"ALL Data", "abc"};
        QTest::newRow("chosen PID")
            << QDate(2024, 1, 1) << QDate(2024, 3, 15) << QStringLiteral("123456") << all
            << Texts{"2024-03-15"} << Texts{"ALL Data", "123456"};
        QTest::newRow("typed PID, blank aside")
            << QDate(2024, 1, 1) << QDate(2024, 3, 15) << QStringLiteral("abc ") << all
            << Texts{"2024-03-01"} << Texts{"ALL Data", "abc"};
        QTest::newRow("OPID") << QDate(2024, 1, 1) << QDate(2024, 3, 15) << all
                              << QStringLiteral("OP1") << Texts{"2024-03-15", "2024-01-10"}
                              << Texts{"ALL Data", "123456", "O'Neil"};
    }
    void search() {
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(QString, pid);
        QFETCH(QString, opid);
        QFETCH(Texts, dates);
        QFETCH(Texts, pidList);
        Fixture f(kRows);
        f.view->RefreshList();
        f.Search(from, to, pid, opid);
        QVERIFY(f.prompt.messages.empty());
        QCOMPARE(f.Column(1), dates);
        QCOMPARE(f.Items(f.view->PidList), pidList);
        // The boxes keep the IDs searched for; the message pane names the search and the count.
        QCOMPARE(f.view->PidList->currentText(), pid);
        QCOMPARE(f.view->OpidList->currentText(), opid);
        QVERIFY(f.view->SearchActive());
        QString what = from.toString("yyyy-MM-dd") + ".." + to.toString("yyyy-MM-dd");
        if (pid != QStringLiteral("ALL Data"))
            what += ", PID " + pid;
        if (opid != QStringLiteral("ALL Data"))
            what += ", OPID " + opid;
        QCOMPARE(f.said, QStringLiteral("%1 %2: %3")
                             .arg(dates.size())
                             .arg(dates.size() == 1 ? "result" : "results", what));
        QVERIFY(!f.view->List->EmptyTextShown());
        // Searching again with "ALL Data" keeps the date condition only.
        f.Search(from, to);
        QVERIFY(f.view->List->ItemCount() >= static_cast<int>(dates.size()));
        for (const std::string& d : f.Column(1))
            QVERIFY(d >= from.toString("yyyy-MM-dd").toStdString() &&
                    d <= to.toString("yyyy-MM-dd").toStdString());
    }

    void searchThatFindsNothingSaysSo_data() {
        QTest::addColumn<int>("weeks"); // 0: a search by dates and ID
        QTest::addColumn<QString>("message");
        QTest::newRow("search") << 0 << "0 results: 2024-03-01..2024-03-15, PID nobody";
        QTest::newRow("period") << 1 << "0 results: 1 week to 2024-06-08";
    }
    void searchThatFindsNothingSaysSo() {
        QFETCH(int, weeks);
        QFETCH(QString, message);
        Fixture f(weeks ? std::vector<StoredRow>{} : kRows);
        f.view->RefreshList();
        QVERIFY(!f.view->List->EmptyTextShown());
        if (weeks)
            f.view->OnPeriodChanged(weeks);
        else
            f.Search(QDate(2024, 3, 1), QDate(2024, 3, 15), QStringLiteral("nobody"));
        QCOMPARE(f.view->List->ItemCount(), 0);
        QVERIFY(f.view->List->EmptyTextShown());
        QCOMPARE(f.view->List->EmptyText(), QString::fromLatin1(kNoMatchText));
        QCOMPARE(f.said, message);
        f.view->RefreshList(); // every result again: nothing to say
        QVERIFY(!f.view->List->EmptyTextShown());
        QCOMPARE(f.said, QString());
    }

    void filtersCarryLabelsAndNamesOfTheirOwn() {
        Fixture f;
        f.view->resize(1024, 768);
        f.view->show();
        const std::pair<QWidget*, const char*> filters[] = {
            {f.view->Period, "Period"},
            {f.view->PidList, "Patient ID filter"},
            {f.view->OpidList, "Operator ID filter"},
            {f.view->StartDate, "From date"},
            {f.view->EndDate, "To date"}};
        const QList<QLabel*> labels = f.view->findChildren<QLabel*>();
        for (auto [control, name] : filters) {
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(control);
            QVERIFY(a);
            QCOMPARE(a->text(QAccessible::Name), QString::fromLatin1(name));
            // Not their contents: an editable box's text field carries the name too.
            if (auto* box = qobject_cast<QComboBox*>(control); box && box->lineEdit())
                QCOMPARE(box->lineEdit()->accessibleName(), QString::fromLatin1(name));
            QLabel* label = nullptr;
            for (QLabel* l : labels)
                if (l->buddy() == control)
                    label = l;
            QVERIFY2(label && label->isVisible() && !label->text().isEmpty(), name);
            // Below the artwork, clear of every control.
            QVERIFY(label->geometry().top() >= 115);
            for (QWidget* w : f.view->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                if (w != label && w->isVisible() && !qobject_cast<QLabel*>(w))
                    QVERIFY2(!label->geometry().intersects(w->geometry()),
                             qPrintable(label->text() + " covers " + w->accessibleName()));
        }
    }

    void tabGoesThroughThePageAsLaidOut() {
        Fixture f;
        f.view->resize(1024, 768);
        f.view->show();
        QApplication::setActiveWindow(f.view.get());
        QVERIFY(QTest::qWaitForWindowActive(f.view.get()));
        f.view->Nav[kNavHome]->setFocus();
        QStringList names;
        for (int i = 0; i < 17; ++i) {
            QWidget* w = QApplication::focusWidget();
            QVERIFY(w);
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
            names << (a ? a->text(QAccessible::Name) : QString());
            QTest::keyClick(w, Qt::Key_Tab);
        }
        QCOMPARE(names, (QStringList{"Home", "Download", "All data", "Automatic mode", "Graph",
                                     "Period", "Patient ID filter", "Operator ID filter",
                                     "From date", "To date", "Search", "Column headers",
                                     "All results", "Settings", "Export", "Print", "Home"}));
    }

    void refusedRange_data() {
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<QString>("message");
        QTest::newRow("end before start")
            << QDate(2024, 3, 2) << QDate(2024, 3, 1) << QString::fromLatin1(kWrongRangeText);
        QTest::newRow("367 days") << QDate(2023, 3, 14) << QDate(2024, 3, 15)
                                  << QString::fromLatin1(kTooLongRangeText);
        QTest::newRow("366 days are accepted")
            << QDate(2023, 3, 15) << QDate(2024, 3, 15) << QString();
    }
    void refusedRange() {
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(QString, message);
        Fixture f(kRows);
        f.view->RefreshList();
        f.Search(from, to);
        if (message.isEmpty()) {
            QVERIFY(f.prompt.messages.empty());
            QCOMPARE(f.view->List->ItemCount(), 4);
            return;
        }
        QCOMPARE(f.prompt.messages.size(), size_t(1));
        QCOMPARE(QString::fromStdString(f.prompt.messages[0].text), message);
        QCOMPARE(f.prompt.messages[0].title, std::string("Trevanix"));
        QCOMPARE(f.view->List->ItemCount(), 5); // unchanged
        QVERIFY(!f.view->SearchActive());
    }

    void periodFromTheNewestShownDate_data() {
        QTest::addColumn<int>("dateFormat");
        QTest::newRow("year first") << 0;
        QTest::newRow("month first") << 1;
        QTest::newRow("day first") << 2;
    }
    void periodFromTheNewestShownDate() {
        QFETCH(int, dateFormat);
        Fixture f(kRows);
        f.settings.Date = dateFormat;
        f.view->RefreshList();
        f.view->List->SortByColumn(1, true); // oldest first: the newest is still the reference
        f.view->Period->setCurrentIndex(2);
        f.view->OnPeriodChanged(2); // "2 weeks" back from 15 March 2024
        QCOMPARE(f.view->List->ItemCount(), 2);
        QCOMPARE(f.view->List->ItemText(1, 4), std::string("abc "));
        QVERIFY(f.view->SearchActive());
        f.view->OnPeriodChanged(0);
        QCOMPARE(f.view->List->ItemCount(), 5);
        QVERIFY(!f.view->SearchActive());
    }

    void settingsFormatsTheCells() {
        Fixture f(kRows);
        f.settings.time = 0;
        f.settings.unit = 1;
        f.settings.Date = 2;
        f.view->Refresh(); // kCmdRefreshView
        QCOMPARE(f.Column(2)[0], std::string("02:05 PM"));
        QCOMPARE(f.Column(1)[0], std::string("15-03-2024"));
        QCOMPARE(f.Column(3)[1], std::string("> 130  mmol/mol"));
    }

    void sortsByWhatTheCellsShow_data() {
        QTest::addColumn<int>("dateFormat");
        QTest::addColumn<int>("column");
        QTest::addColumn<Texts>("pids"); // ascending
        for (int d = 0; d < 3; ++d) {
            const QByteArray tag = QByteArray::number(d);
            QTest::newRow(tag + " Date")
                << d << 1 << Texts{"123456 ", "O'Neil ", "ABC ", "abc ", "123456 "};
            QTest::newRow(tag + " Result")
                << d << 3 << Texts{"ABC ", "123456 ", "123456 ", "O'Neil ", "abc "};
        }
    }
    void sortsByWhatTheCellsShow() {
        QFETCH(int, dateFormat);
        QFETCH(int, column);
        QFETCH(Texts, pids);
        Fixture f(kRows);
        f.settings.Date = dateFormat;
        f.view->RefreshList();
        f.view->List->SortByColumn(column, true);
        QCOMPARE(f.Column(4), pids);
        f.view->List->SortByColumn(column, true);
        QCOMPARE(f.Column(4), Texts(pids.rbegin(), pids.rend()));
    }

    void rowKeysFollowTheirRowsThroughASort() {
        Fixture f(kRows);
        f.view->RefreshList();
        f.view->List->SortByColumn(3, true); // Result., by its leading integer
        for (int r = 0; r < f.view->List->ItemCount(); ++r) {
            const ListRowKey* key = f.view->KeyOfRow(r);
            QVERIFY(key);
            QCOMPARE(key->PID, f.view->List->ItemText(r, 4));
        }
    }

    // A long list shows its first page at once; the keys of the other rows and the ID lists
    // are read on a thread and shown when read, the same as a list read at once.
    void longListShowsItsFirstRowsAtOnceAndTheRestWhenRead_data() {
        QTest::addColumn<bool>("search");
        QTest::newRow("every row") << false;
        QTest::newRow("a search") << true;
    }
    void longListShowsItsFirstRowsAtOnceAndTheRestWhenRead() {
        QFETCH(bool, search);
        std::vector<StoredRow> rows;
        for (int i = 0; i < 300; ++i) // more than the first page
            rows.push_back({DateKey(QDate(2024, 1, 1).addDays(i % 200)), "1200",
                            std::to_string(50 + i % 7), i % 3 ? "P" + std::to_string(i % 5) : "p1",
                            "OP" + std::to_string(i % 4)});
        Fixture atOnce(rows), later(rows);
        later.view->SetBackgroundReadAbove(2);
        for (Fixture* f : {&atOnce, &later}) {
            if (search)
                f->Search(QDate(2024, 1, 1), QDate(2024, 7, 1), "ALL Data", "ALL Data");
            else
                f->view->RefreshList();
        }
        const int n = atOnce.view->List->ItemCount();
        QCOMPARE(later.view->List->ItemCount(), n);
        QVERIFY(n > 256);
        for (int c = 0; c < 7; ++c)
            QCOMPARE(later.view->List->ItemText(255, c), atOnce.view->List->ItemText(255, c));
        QCOMPARE(later.view->List->ItemText(n - 1, 0), std::string()); // not read yet
        QCOMPARE(later.Items(later.view->PidList), Texts{"ALL Data"});
        later.view->List->SortByColumn(1, true); // refused until every key is read
        QCOMPARE(later.view->List->SortColumn(), -1);
        QCOMPARE(later.said, atOnce.said);
        later.view->WaitForRows();
        for (int c = 0; c < 7; ++c)
            QCOMPARE(later.Column(c), atOnce.Column(c));
        QCOMPARE(later.Items(later.view->PidList), atOnce.Items(atOnce.view->PidList));
        QCOMPARE(later.Items(later.view->OpidList), atOnce.Items(atOnce.view->OpidList));
        QCOMPARE(later.view->OpidList->currentText(), atOnce.view->OpidList->currentText());
        QCOMPARE(later.view->List->SelectedRow(), 0);
        for (Fixture* f : {&atOnce, &later})
            f->view->List->SortByColumn(4, true);
        later.view->WaitForRows(); // the sort runs on a thread too
        QCOMPARE(later.Column(0), atOnce.Column(0));
        // A refill while the thread reads drops what it read for the list before.
        later.view->RefreshList();
        later.view->RefreshList();
        later.view->WaitForRows();
        atOnce.view->RefreshList();
        QCOMPARE(later.Column(0), atOnce.Column(0));
        QCOMPARE(later.Items(later.view->PidList), atOnce.Items(atOnce.view->PidList));
    }

    // A header sort of a long list runs on a thread: the arrow shows the column at once, the
    // rows keep their order until the sort is read, then take the order a sort at once gives,
    // the selected row following its row. Only the last of two sorts is shown, and a store
    // while one runs drops it.
    void sortOnAThreadGivesTheOrderOfASortAtOnce_data() {
        QTest::addColumn<int>("column");
        for (int c = 0; c < kResultColumnCount; ++c)
            QTest::newRow(QByteArray::number(c)) << c;
    }
    void sortOnAThreadGivesTheOrderOfASortAtOnce() {
        QFETCH(int, column);
        const std::vector<StoredRow> rows = LongRows();
        Fixture atOnce(rows), later(rows);
        later.view->SetBackgroundReadAbove(0);
        for (Fixture* f : {&atOnce, &later}) {
            f->view->RefreshList();
            f->view->WaitForRows();
            f->view->List->SelectRow(7);
        }
        for (int click = 0; click < 2; ++click) {
            const Texts before = later.Column(0);
            later.view->List->SortByColumn(column, true);
            atOnce.view->List->SortByColumn(column, true);
            QVERIFY(later.view->List->SortRunning());
            QCOMPARE(later.view->List->SortColumn(), column);
            QCOMPARE(later.view->List->Header()->sortIndicatorSection(), column);
            QCOMPARE(later.view->List->SortDirection(), atOnce.view->List->SortDirection());
            QCOMPARE(later.Column(0), before);
            later.view->WaitForRows();
            QVERIFY(!later.view->List->SortRunning());
            for (int c = 0; c < kResultColumnCount; ++c)
                QCOMPARE(later.Column(c), atOnce.Column(c));
            QCOMPARE(later.view->List->SelectedRow(), atOnce.view->List->SelectedRow());
            const ListRowKey* key = later.view->KeyOfRow(later.view->List->SelectedRow());
            QVERIFY(key);
            QCOMPARE(key->PID, atOnce.view->KeyOfRow(atOnce.view->List->SelectedRow())->PID);
        }

        // Two clicks while the first sort runs: only the second one's order is shown.
        later.view->List->SortByColumn((column + 3) % kResultColumnCount, true);
        later.view->List->SortByColumn(column, true);
        atOnce.view->List->SortByColumn(column, true);
        later.view->WaitForRows();
        QCOMPARE(later.view->List->SortColumn(), column);
        for (int c = 0; c < kResultColumnCount; ++c)
            QCOMPARE(later.Column(c), atOnce.Column(c));

        // A store while a sort runs: the list is read again in its own order, without an arrow.
        later.view->List->SortByColumn(column, true);
        for (Fixture* f : {&atOnce, &later}) {
            QVERIFY(StoreRows(f->db.ResultTable, {{"20250101", "0700", "061", "NEW ", "OP9 "}}));
            f->db.Changed.Notify(ResultsChange::Stored, 1);
            f->view->WaitForRows();
        }
        QCOMPARE(later.view->List->SortColumn(), -1);
        QVERIFY(!later.view->List->Header()->isSortIndicatorShown());
        for (int c = 0; c < kResultColumnCount; ++c)
            QCOMPARE(later.Column(c), atOnce.Column(c));
        QCOMPARE(later.Column(4).front(), std::string("NEW "));

        // Closed while a sort runs: the view waits for its thread, and the table answers.
        later.view->List->SortByColumn(column, true);
        QVERIFY(later.view->List->SortRunning());
        later.view.reset();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(CResultSearch(later.db.ResultTable).Count(), int(rows.size()) + 1);
    }

    void automaticButtonAsksOnlyInManualMode() {
        Fixture f;
        f.prompt.answers = {true};
        f.view->Automatic->click();
        QCOMPARE(f.session.state.AutoMode, 1);
        QCOMPARE(f.session.automaticStarts, 1);
        f.view->Automatic->click();
        QCOMPARE(f.prompt.messages.size(), size_t(1));
    }

    void everyControlHasAnAccessibleName() {
        Fixture f;
        for (QWidget* w : f.view->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QAbstractItemView*>(w))
                QVERIFY2(!w->accessibleName().isEmpty(), w->metaObject()->className());
        }
        QVERIFY(f.view->SignIn->isHidden() && !f.view->SignIn->isEnabled());
    }
};

int main(int argc, char** argv) {
    // The views save their layouts into the per-user settings: keep them away from the user's.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    TestAllDataView t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_alldataview.moc"
