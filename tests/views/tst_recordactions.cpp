// One result at a time from the all-data list, as the user works it: delete by double-click,
// the right-click menu, the modify and view dialogs driven through their controls, and the
// settings window with the list following its unit and formats.

#include "ViewFixture.h"
#include "controls/DateTimeCtrl.h"
#include "controls/PngButton.h"
#include "query/ResultEdit.h"
#include "settings/Settings.h"
#include "views/AllDataListView.h"
#include "views/GraphView.h"
#include "views/RecordDialogs.h"
#include "views/SettingInfoDlg.h"
#include "views/list/ListCtrlExt.h"

#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using Texts = std::vector<std::string>;

struct Fixture : ViewFixture<CHbA1cDeskAllDataListView> {
    explicit Fixture(const std::vector<StoredRow>& rows) : ViewFixture(rows) {
        onCommand = [this](int code) {
            if (code == kCmdRefreshView)
                view->Refresh();
        };
        view->RunMenu = [this](QMenu& menu, const QPoint&) -> QAction* {
            ++menusShown;
            for (QAction* a : menu.actions())
                if (a->text() == menuChoice)
                    return a;
            return nullptr;
        };
        view->RunDialog = [this](QDialog& dlg) {
            if (!drive)
                return int(QDialog::Rejected);
            drive(dlg);
            return dlg.result();
        };
        view->RefreshList();
    }
    int RowOf(const std::string& pid) const {
        for (int r = 0; r < view->List->ItemCount(); ++r)
            if (view->List->ItemText(r, 4) == pid)
                return r;
        return -1;
    }
    std::vector<AuditEntry> Trail() {
        std::vector<AuditEntry> trail;
        ReadAuditTrail(db.ResultTable, trail, nullptr);
        return trail;
    }
    void Menu(int row, const QString& choice) {
        menuChoice = choice;
        view->OnContextMenu(row, 1, QPoint());
    }
    int menusShown = 0;
    QString menuChoice;
    std::function<void(QDialog&)> drive;
};

const std::vector<StoredRow> kRows = {{"20240315", "1405", "065", "123", "7"},
                                      {"20240315", "1405", "065", "123", "7"},
                                      {"20240315", "1405", "065", "555", "7"},
                                      {"20240110", "1200", "070", "O'Neil", "9"}};

} // namespace

class TestRecordActions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void doubleClickDeletesTheRowAndItsTwins() {
        Fixture f(kRows);
        // No: nothing goes.
        f.prompt.answers = {false};
        f.view->OnDeleteRow(f.RowOf("123"), 2);
        QCOMPARE(f.view->List->ItemCount(), 4);
        // Yes: both identical rows go, the other patient's result at the same minute stays.
        f.prompt.answers = {true};
        f.view->OnDeleteRow(f.RowOf("123"), 2);
        // The question, then the result it deletes; No is its default answer.
        QCOMPARE(f.prompt.messages.back().text,
                 std::string(kDeleteQuestion) + "\r\n\r\n2024-03-15  14:05  6.5 %  PID 123");
        QCOMPARE(f.prompt.askedDefaultNo, 2);
        QCOMPARE(f.Column(4), (Texts{"555", "O'Neil"}));
        QCOMPARE(f.Trail().size(), size_t(2));
        // A quote in the ID is only a character.
        f.prompt.answers = {true};
        f.view->OnDeleteRow(f.RowOf("O'Neil"), 0);
        QCOMPARE(f.Column(4), (Texts{"555"}));
    }

    void rowMenuFromTheKeyboard_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("menu key") << int(Qt::Key_Menu) << int(Qt::NoModifier);
        QTest::newRow("Shift+F10") << int(Qt::Key_F10) << int(Qt::ShiftModifier);
    }
    void rowMenuFromTheKeyboard() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        Fixture f(kRows);
        QString name;
        QStringList items;
        f.view->RunMenu = [&](QMenu& menu, const QPoint&) -> QAction* {
            ++f.menusShown;
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&menu);
            name = a ? a->text(QAccessible::Name) : QString();
            for (int i = 0; a && i < a->childCount(); ++i)
                items << a->child(i)->text(QAccessible::Name);
            return nullptr;
        };
        f.view->List->SelectRow(2);
        QTest::keyClick(f.view->List, static_cast<Qt::Key>(key),
                        static_cast<Qt::KeyboardModifiers>(modifiers));
        QCOMPARE(f.menusShown, 1);
        QCOMPARE(name, QStringLiteral("Result actions"));
        QCOMPARE(items, (QStringList{kModifyMenuText, kDetailMenuText}));
        QCOMPARE(f.view->PickedRecord().row, 3); // the selected row was picked
    }

    void nothingActsWhileASearchIsShown() {
        Fixture f(kRows);
        f.view->OnPeriodChanged(1);
        QVERIFY(f.view->SearchActive());
        const int shown = f.view->List->ItemCount();
        QVERIFY(shown > 0);
        f.prompt.answers = {true};
        QString said;
        f.view->ShowMessage = [&said](const QString& text) { said = text; };
        f.view->OnDeleteRow(0, 0);
        QCOMPARE(f.view->List->ItemCount(), shown);
        QVERIFY(f.prompt.messages.empty());
        // It says why nothing happened, for a double-click and a right-click alike.
        QCOMPARE(said, QString::fromLatin1(kNoEditWhileSearchText));
        said.clear();
        // An earlier pick is not acted on: the menu is not offered at all.
        f.view->PickedRecord().Pick(0, *f.view->KeyOfRow(0));
        f.Menu(0, QString::fromLatin1(kModifyMenuText));
        QCOMPARE(f.menusShown, 0);
        QCOMPARE(said, QString::fromLatin1(kNoEditWhileSearchText));
        // Off the rows, neither.
        f.view->RefreshList();
        QVERIFY(!f.view->SearchActive());
        f.Menu(-1, QString::fromLatin1(kModifyMenuText));
        QCOMPARE(f.menusShown, 0);
        QVERIFY(f.Trail().empty());
    }

    void modifyChangesOnlyThePickedResult() {
        Fixture f(kRows);
        const int row = f.RowOf("555");
        f.drive = [&f](QDialog& d) {
            auto& dlg = dynamic_cast<CDataModifyDlg&>(d);
            QCOMPARE(dlg.windowTitle(), QStringLiteral("Data Modify"));
            QVERIFY(dlg.DateTime->isReadOnly() && dlg.Result->isReadOnly());
            QCOMPARE(dlg.DateTime->text(), QStringLiteral("2024-03-15 14:05"));
            QCOMPARE(dlg.Result->text(), QStringLiteral("6.5 %"));
            QCOMPARE(dlg.Birthday->GetDate(), QDate(1900, 1, 1));
            // Digits only in the IDs.
            dlg.Pid->clear();
            QTest::keyClicks(dlg.Pid, "6a6-6");
            QCOMPARE(dlg.Pid->text(), QStringLiteral("666"));
            dlg.Name->setText(QStringLiteral("Park"));
            dlg.Type->setCurrentIndex(3);
            dlg.Remark->setPlainText(QStringLiteral("fasting\nrepeat in 3 months"));
            f.prompt.answers = {true};
            dlg.Change->click();
        };
        f.Menu(row, QString::fromLatin1(kModifyMenuText));
        QCOMPARE(f.menusShown, 1);
        QCOMPARE(f.prompt.messages.back().text, std::string(kChangeQuestion));
        // The two results of patient 123 at the same minute and value are untouched.
        QCOMPARE(f.Column(4), (Texts{"123", "123", "666", "O'Neil"}));
        const auto trail = f.Trail();
        QCOMPARE(trail.size(), size_t(1));
        QVERIFY(trail[0].before.find("\"PID\":\"555\"") != std::string::npos);
        QVERIFY(trail[0].after.find("\"PID\":\"666\"") != std::string::npos);
        // The stored row as the dialog wrote it: the untouched birthday stays "19000101".
        const ListRowKey* k = f.view->KeyOfRow(f.RowOf("666"));
        QVERIFY(k);
        QCOMPARE(k->p_NAME, std::string("Park"));
        QCOMPARE(k->p_DOB, std::string("19000101"));
        QCOMPARE(k->P_DIAGNOSE, 3);
        QCOMPARE(k->P_MEMO, std::string("fasting\nrepeat in 3 months"));
    }

    // Each edit tells db.Changed once, after it committed; a refused or failed one tells
    // nothing. A chart shown over the same database follows at once, a list the frame put away
    // only when it is shown again.
    void editsTellTheOtherViews_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<int>("notices"); // ResultsChange values told, in order
        QTest::addColumn<int>("rowsTold");
        QTest::addColumn<int>("pointsAfter");
        QTest::newRow("delete") << "delete" << true << int(ResultsChange::Deleted) << 2 << 2;
        QTest::newRow("delete refused") << "delete" << false << -1 << 0 << 4;
        QTest::newRow("delete of a row gone meanwhile") << "gone" << true << -1 << 0 << 4;
        QTest::newRow("modify, twins alike")
            << "modify" << true << int(ResultsChange::Corrected) << 2 << 4;
        QTest::newRow("modify refused") << "modify" << false << -1 << 0 << 4;
    }
    void editsTellTheOtherViews() {
        QFETCH(QString, action);
        QFETCH(bool, yes);
        QFETCH(int, notices);
        QFETCH(int, rowsTold);
        QFETCH(int, pointsAfter);
        Fixture f(kRows);
        std::vector<std::pair<int, int>> told;
        const int token = f.db.Changed.Subscribe([&told](ResultsChange change, int rows) {
            told.push_back({int(change), rows});
        });
        CHbA1cDeskGraphDataView chart([](int) {}, f.session, f.prompt, f.db, f.settings);
        chart.RefreshGraph();
        CHbA1cDeskAllDataListView putAway([](int) {}, f.session, f.prompt, f.db, f.settings);
        putAway.RefreshList();
        putAway.hide();
        const int row = f.RowOf("123");
        if (action == "gone") { // the row goes behind the list's back: nothing to tell
            ListRowKey stale = *f.view->KeyOfRow(row);
            QCOMPARE(DeleteStoredResult(f.db.ResultTable, stale, AuditStampNow()).kind,
                     EditOutcome::Done);
        }
        if (action == "modify") {
            f.drive = [&f, yes](QDialog& d) {
                auto& dlg = dynamic_cast<CDataModifyDlg&>(d);
                dlg.Name->setText(QStringLiteral("Park"));
                f.prompt.answers = {yes};
                dlg.Change->click();
                if (!yes)
                    dlg.reject();
            };
            f.Menu(row, QString::fromLatin1(kModifyMenuText));
        } else {
            f.prompt.answers = {yes};
            f.view->OnDeleteRow(row, 0);
        }
        f.db.Changed.Unsubscribe(token);
        const std::vector<std::pair<int, int>> expected =
            notices < 0 ? std::vector<std::pair<int, int>>{}
                        : std::vector<std::pair<int, int>>{{notices, rowsTold}};
        QCOMPARE(told, expected);
        QCOMPARE(chart.PointCount(), pointsAfter);
        QCOMPARE(putAway.List->ItemCount(), 4); // read again when shown
        putAway.OnActivate();
        QCOMPARE(putAway.List->ItemCount(),
                 (action == "gone" || (action == "delete" && yes)) ? 2 : 4);
    }

    // The list and the chart each keep their own search over the one table: a search in one
    // neither narrows nor unlocks the other, and the table's own filter and sort stay as they
    // were.
    void eachViewKeepsItsOwnSearch() {
        Fixture f(kRows);
        CHbA1cDeskGraphDataView chart([](int) {}, f.session, f.prompt, f.db, f.settings);
        chart.RefreshGraph();
        const std::string tableFilter = f.db.ResultTable.Filter().c_str();
        const std::string tableSort = f.db.ResultTable.Sort().c_str();
        f.view->OnPeriodChanged(1);
        QVERIFY(f.view->SearchActive());
        QVERIFY(!chart.SearchActive());
        chart.RefreshGraph(); // clears the chart's search only
        QVERIFY(f.view->SearchActive());
        f.prompt.answers = {true};
        f.view->OnDeleteRow(0, 0); // still refused under the list's search
        QVERIFY(f.prompt.messages.empty());
        chart.PidList->setEditText(QStringLiteral("O'Neil"));
        chart.OnPeriodChanged(0);
        QVERIFY(chart.SearchActive());
        QCOMPARE(chart.Points().size(), size_t(1));
        f.view->RefreshList(); // every row in the list, the chart still on one patient
        QVERIFY(!f.view->SearchActive() && chart.SearchActive());
        QCOMPARE(f.view->List->ItemCount(), 4);
        QCOMPARE(chart.Points().size(), size_t(1));
        QCOMPARE(std::string(f.db.ResultTable.Filter().c_str()), tableFilter);
        QCOMPARE(std::string(f.db.ResultTable.Sort().c_str()), tableSort);
    }

    void paddedIdsShowWithoutTheirBlanks() {
        // The analyzer's IDs are stored padded with blanks.
        Fixture f({{"20240315", "1405", "065", "777     ", "9     "}});
        f.drive = [&f](QDialog& d) {
            auto& dlg = dynamic_cast<CDataModifyDlg&>(d);
            QCOMPARE(dlg.Pid->text(), QStringLiteral("777"));
            QCOMPARE(dlg.Opid->text(), QStringLiteral("9"));
            dlg.Pid->setFocus();
            dlg.Pid->end(false);
            QTest::keyClicks(dlg.Pid, "8");
            QCOMPARE(dlg.Pid->text(), QStringLiteral("7778"));
            f.prompt.answers = {true};
            dlg.Change->click();
        };
        f.Menu(0, QString::fromLatin1(kModifyMenuText));
        const ListRowKey* k = f.view->KeyOfRow(0);
        QVERIFY(k);
        QCOMPARE(k->PID, std::string("7778"));
        QCOMPARE(k->OPID, std::string("9     ")); // untouched: as stored
    }

    void cancellingTheChangeQuestionKeepsTheDialog() {
        Fixture f(kRows);
        bool stillOpen = false;
        f.drive = [&](QDialog& d) {
            auto& dlg = dynamic_cast<CDataModifyDlg&>(d);
            dlg.show();
            dlg.Pid->setText(QStringLiteral("1"));
            f.prompt.answers = {false};
            dlg.Change->click();
            stillOpen = dlg.isVisible() && dlg.result() != QDialog::Accepted;
            dlg.hide();
        };
        f.Menu(f.RowOf("555"), QString::fromLatin1(kModifyMenuText));
        QVERIFY(stillOpen);
        QCOMPARE(f.Column(4), (Texts{"123", "123", "555", "O'Neil"}));
        QVERIFY(f.Trail().empty());
    }

    void bothDialogsShowTheStoredTypeAndBirthday_data() {
        QTest::addColumn<QString>("menu");
        QTest::newRow("modify") << QString::fromLatin1(kModifyMenuText);
        QTest::newRow("view") << QString::fromLatin1(kDetailMenuText);
    }
    void bothDialogsShowTheStoredTypeAndBirthday() {
        QFETCH(QString, menu);
        Fixture f(kRows);
        const ListRowKey key = *f.view->KeyOfRow(f.RowOf("O'Neil"));
        ResultEdits e;
        e.PID = key.PID;
        e.OPID = key.OPID;
        e.p_DOB = "19851231";
        e.P_DIAGNOSE = 4;
        QCOMPARE(ModifyStoredResult(f.db.ResultTable, key, e, AuditStampNow()).kind,
                 EditOutcome::Done);
        f.settings.Date = 2;
        f.view->RefreshList();
        bool checked = false;
        f.drive = [&](QDialog& d) {
            auto& dlg = dynamic_cast<CRecordDlg&>(d);
            QCOMPARE(dlg.Type->currentText(), QStringLiteral("Normal"));
            QCOMPARE(dlg.Birthday->GetDate(), QDate(1985, 12, 31));
            QCOMPARE(dlg.Birthday->displayFormat(), QStringLiteral("dd/MM/yyyy"));
            QCOMPARE(dlg.DateTime->text(), QStringLiteral("10-01-2024 12:00"));
            if (auto* view = dynamic_cast<CDataViewDlg*>(&d)) {
                for (QWidget* w :
                     std::initializer_list<QWidget*>{dlg.DateTime, dlg.Result, dlg.Opid, dlg.Pid,
                                                     dlg.Name, dlg.Remark, dlg.Type, dlg.Birthday})
                    QVERIFY(!w->isEnabled());
                QCOMPARE(view->Close->text(), QStringLiteral("&Close"));
                QCOMPARE(view->findChildren<QPushButton*>().size(), 1);
                view->Close->click();
            }
            checked = true;
        };
        f.Menu(f.RowOf("O'Neil"), menu);
        QVERIFY(checked);
    }

    void aFailedChangeIsReportedAndTheListStays() {
        Fixture f(kRows);
        const Texts before = f.Column(4);
        QVERIFY(f.db.ResultTable.Execute("PRAGMA query_only=1"));
        f.prompt.answers = {true};
        f.view->OnDeleteRow(f.RowOf("555"), 1);
        QCOMPARE(f.Column(4), before);
        QVERIFY(f.prompt.messages.back().text.find("could not be deleted") != std::string::npos);
        f.drive = [&f](QDialog& d) {
            f.prompt.answers = {true};
            dynamic_cast<CDataModifyDlg&>(d).Change->click();
        };
        f.Menu(f.RowOf("555"), QString::fromLatin1(kModifyMenuText));
        QVERIFY(f.prompt.messages.back().text.find("could not be changed") != std::string::npos);
        QCOMPARE(f.Column(4), before);
        f.db.ResultTable.Execute("PRAGMA query_only=0");
        QVERIFY(f.Trail().empty());
    }

    void settingsSaveAsTheFileDoesAndTheListFollows() {
        Fixture f(kRows);
        const QString base = f.home.path();
        f.settings.Name = "Dr. Lee";
        QVERIFY(SaveSettings(f.settings, base));
        const QByteArray unchanged = ReadAll(SettingsPath(base));
        // Saving without a change writes the same bytes.
        {
            CSettingInfoDlg dlg(
                f.settings, base, [&f](int c) { f.codes.push_back(c); }, f.prompt);
            QVERIFY(dlg.High->isHidden() && !dlg.High->isEnabled());
            QVERIFY(dlg.PidDigits->isHidden());
            QCOMPARE(dlg.PhysicianName->text(), QStringLiteral("Dr. Lee"));
            dlg.Save->click();
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
        }
        QCOMPARE(ReadAll(SettingsPath(base)), unchanged);
        QCOMPARE(f.codes.back(), int(kCmdRefreshView));

        QCOMPARE(f.Column(3)[0], std::string("6.5 %"));
        CSettingInfoDlg dlg(
            f.settings, base,
            [&f](int c) {
                f.codes.push_back(c);
                f.view->Refresh();
            },
            f.prompt);
        dlg.UnitMmol->click();
        dlg.DateFormat[1]->click();
        dlg.Time12->click();
        dlg.Save->click();
        QCOMPARE(f.settings.unit, 1);
        // The file holds what SaveSettings writes for the new settings, byte for byte.
        QTemporaryDir other;
        QVERIFY(SaveSettings(f.settings, other.path()));
        QCOMPARE(ReadAll(SettingsPath(base)), ReadAll(SettingsPath(other.path())));
        QCOMPARE(f.Column(3)[0], std::string("48 mmol/mol"));
        QCOMPARE(f.Column(1)[0], std::string("03-15-2024"));
        QCOMPARE(f.Column(2)[0], std::string("02:05 PM"));
        const QByteArray file = ReadAll(SettingsPath(base));
        QVERIFY(file.contains("unit=1"));
        QVERIFY(file.contains("Date=1"));
        QVERIFY(file.contains("time=0"));
    }
};

QTEST_MAIN(TestRecordActions)
#include "tst_recordactions.moc"
