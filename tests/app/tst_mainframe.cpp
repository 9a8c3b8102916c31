// The main frame: first initialisation, view switching, the home view's buttons, shutdown.

#include "FrameFixture.h"
#include "app/MessageBoxPrompt.h"
#include "controls/PercentBar.h"
#include "lab/LabOutbox.h"
#include "settings/DisplayFormats.h"
#include "views/AllDataListView.h"
#include "views/DownloadView.h"
#include "views/FormPage.h"
#include "views/GraphView.h"
#include "views/LabSystemDlg.h"
#include "views/SettingInfoDlg.h"
#include "views/link/StatusDlgs.h"
#include "views/list/ListCtrlExt.h"
#include <QCheckBox>
#include <QSpinBox>

#include <QAccessible>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

using Frame = FrameFixture;

std::vector<bool> Visible(const CMainFrame& f) {
    std::vector<bool> v;
    for (int i = 0; i < 5; ++i)
        v.push_back(f.View(i)->isVisible());
    return v;
}

} // namespace

class TestMainFrame : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startsOnTheHomeView();
    void switchingViews();
    void sameViewTwiceChangesNothing();
    void homeViewAutomaticButton_data();
    void homeViewAutomaticButton();
    void closingFromTheDownloadViewGoesHomeAndClosesThePort();
    void maximisedIs1024x768();
    void destroyedWhileTheWorkerSendsNeitherHangsNorCrashes();
    void downloadListShowsTheStoredRows();
    void downloadListAppendsInAutomaticMode_data();
    void downloadListAppendsInAutomaticMode();
    void nothingRunsAfterTheWindowClosed();
    void settingsButtonOpensTheWindowAndTheListFollows();
    void oneAutomaticStartPerRequest();
    void automaticModeStartsWithoutTheLastDownloadsBar();
    void viewButtonsSayWhyTheyDoNothing_data();
    void viewButtonsSayWhyTheyDoNothing();
    void viewShortcutsCtrl1To5();
    void settingsWindowSavesWithEnterAndClosesWithEscape_data();
    void settingsWindowSavesWithEnterAndClosesWithEscape();
    void defaultColumnWidthsShowWholeTexts();
    void deleteQuestionDefaultsToNo();
    void labSystemFromTheSettingsWindow();
};

void TestMainFrame::startsOnTheHomeView() {
    Frame f;
    QCOMPARE(f.frame.windowTitle(), QStringLiteral("Trevanix Management Software 1.00.03"));
    QCOMPARE(f.frame.size(), QSize(1024, 768));
    QCOMPARE(f.frame.ActiveIndex(), int(kViewHome));
    QCOMPARE(Visible(f.frame), (std::vector<bool>{false, true, false, false, false}));
    QVERIFY(dynamic_cast<CHbA1cDeskMainView*>(f.frame.View(kViewHome)));
    QVERIFY(dynamic_cast<CHbA1cDeskDownLoadView*>(f.frame.View(kViewDownload)));
    QVERIFY(dynamic_cast<CHbA1cDeskAllDataListView*>(f.frame.View(kViewAllData)));
    QVERIFY(dynamic_cast<CHbA1cDeskGraphDataView*>(f.frame.View(kViewGraph)));
    QCOMPARE(f.frame.View(kViewHome)->property("controlId").toInt(), kFirstPaneId);
    QCOMPARE(f.frame.View(kViewEmpty)->property("controlId").toInt(), kFirstPaneId);
    QVERIFY(f.frame.InDocument(f.frame.View(kViewEmpty))); // view 0 stays in the document
    QVERIFY(f.frame.InDocument(f.frame.View(kViewHome)));
    QVERIFY(!f.frame.InDocument(f.frame.View(kViewAllData)));
    QCOMPARE(f.frame.Databases().DatabaseReady, 1);
    QCOMPARE(f.frame.Link().State().AutoMode, 0);
    QCOMPARE(f.frame.Link().State().ManualPhase, int(kManualIdle));
    QVERIFY(f.frame.ProcessDialog() && !f.frame.ProcessDialog()->isVisible());
    QVERIFY(f.frame.CheckingDialog() && !f.frame.CheckingDialog()->isVisible());
    QCOMPARE(f.frame.IndexOfView(nullptr), kViewEmpty);
}

void TestMainFrame::switchingViews() {
    Frame f;
    f.frame.FrameCommand(FRAME_COMMAND_TAG, kCmdShowGraph);
    QCOMPARE(f.frame.ActiveIndex(), int(kViewGraph));
    QCOMPARE(Visible(f.frame), (std::vector<bool>{false, false, false, false, true}));
    QCOMPARE(f.frame.View(kViewGraph)->property("controlId").toInt(), kFirstPaneId);
    QCOMPARE(f.frame.View(kViewHome)->property("controlId").toInt(), kFirstPaneId + 1);
    QVERIFY(!f.frame.InDocument(f.frame.View(kViewHome)));
    QVERIFY(f.frame.InDocument(f.frame.View(kViewGraph)));
    f.frame.FrameCommand(FRAME_COMMAND_TAG, kCmdShowHome);
    QCOMPARE(f.frame.ActiveIndex(), int(kViewHome));
    f.frame.FrameCommand(FRAME_COMMAND_TAG + 1, 3); // not the frame's tag
    QCOMPARE(f.frame.ActiveIndex(), int(kViewHome));
    // The home view's buttons go through the same commands.
    auto* home = static_cast<CHbA1cDeskMainView*>(f.frame.View(kViewHome));
    QTest::mouseClick(home->AllData, Qt::LeftButton);
    QCOMPARE(f.frame.ActiveIndex(), int(kViewAllData));
}

void TestMainFrame::sameViewTwiceChangesNothing() {
    Frame f;
    f.frame.FrameCommand(FRAME_COMMAND_TAG, kCmdShowAllData);
    const auto visible = Visible(f.frame);
    const bool inDoc = f.frame.InDocument(f.frame.View(kViewAllData));
    f.frame.FrameCommand(FRAME_COMMAND_TAG, kCmdShowAllData);
    QCOMPARE(f.frame.ActiveIndex(), int(kViewAllData));
    QCOMPARE(Visible(f.frame), visible);
    QCOMPARE(f.frame.InDocument(f.frame.View(kViewAllData)), inDoc);
}

void TestMainFrame::homeViewAutomaticButton_data() {
    QTest::addColumn<int>("autoMode");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("asked");
    QTest::addColumn<int>("autoModeAfter");
    QTest::addColumn<int>("autoStepAfter");
    QTest::newRow("yes") << 0 << true << 1 << 1 << int(kStepStart);
    QTest::newRow("no") << 0 << false << 1 << 0 << int(kStepStopped);
    QTest::newRow("already automatic") << 1 << true << 0 << 1 << int(kStepStopped);
}

void TestMainFrame::homeViewAutomaticButton() {
    QFETCH(int, autoMode);
    QFETCH(bool, answer);
    QFETCH(int, asked);
    QFETCH(int, autoModeAfter);
    QFETCH(int, autoStepAfter);
    Frame f;
    f.frame.Link().Presets().PresetMode(AutoModeValue(autoMode));
    f.prompt.answers = {answer};
    auto* home = static_cast<CHbA1cDeskMainView*>(f.frame.View(kViewHome));
    QTest::mouseClick(home->Automatic, Qt::LeftButton);
    QCOMPARE(int(f.prompt.messages.size()), asked);
    if (asked)
        QCOMPARE(f.prompt.messages[0].text, std::string(kSwitchToAutoQuestion));
    QCOMPARE(f.frame.Link().State().AutoMode, autoModeAfter);
    // The automatic start begins at step 0 and shows the download view.
    QCOMPARE(f.frame.Link().State().AutoStep, autoStepAfter);
    QCOMPARE(f.frame.ActiveIndex(), int(autoStepAfter == kStepStart ? kViewDownload : kViewHome));
}

void TestMainFrame::closingFromTheDownloadViewGoesHomeAndClosesThePort() {
    Frame f;
    // Showing the download view then keeps automatic mode.
    f.frame.Link().Presets().PresetMode(kModeAutomatic);
    f.frame.FrameCommand(FRAME_COMMAND_TAG, kCmdDownload);
    QCOMPARE(f.frame.ActiveIndex(), int(kViewDownload));
    ISerialPort& port = f.frame.Port();
    port.PortName = "/dev/ttyUSB0";
    port.Setup([](char) {}, 1000000);
    QVERIFY(port.Open());
    QVERIFY(f.frame.close());
    QCOMPARE(f.frame.ActiveIndex(), int(kViewHome));
    QVERIFY(f.frame.View(kViewHome)->isVisibleTo(&f.frame));
    QVERIFY(!port.IsOpen());
    QVERIFY(!f.frame.Link().State().AppRunning);
    QCOMPARE(f.frame.Databases().DatabaseReady, 0);
}

void TestMainFrame::maximisedIs1024x768() {
    Frame f;
    f.frame.showMaximized();
    QTRY_COMPARE(f.frame.size(), QSize(1024, 768));
    QVERIFY(f.frame.isMaximized());
}

void TestMainFrame::destroyedWhileTheWorkerSendsNeitherHangsNorCrashes() {
    QElapsedTimer t;
    t.start();
    {
        Frame f;
        // The scan job ends by sending kCmdManual to the frame; the frame goes away before it
        // handles any event.
        f.frame.Link().SignalScan();
        QVERIFY2(f.LetTheWorkerCatchUp(), "the worker's call to the window never came");
    }
    QVERIFY(t.elapsed() < 5000);
}

void TestMainFrame::downloadListShowsTheStoredRows() {
    Frame f;
    CResultTable& down = f.frame.Databases().DownloadTable;
    {
        auto lock = down.Lock();
        for (int i = 0; i < 3; ++i) {
            QVERIFY(down.AddNew());
            down.Record.DATE.Assign("20261201");
            down.Record.TIME.Assign(("090" + std::to_string(i)).c_str());
            down.Record.HbA1c_VALUE.Assign("065");
            down.Record.PID.Assign(("P" + std::to_string(i)).c_str());
            down.Record.OPID.Assign("OP");
            down.Record.EQ_TYPE.Assign(" ");
            QVERIFY(down.Update());
        }
        RequeryDefault(down);
    }
    f.frame.Databases().Changed.Notify(ResultsChange::Stored, 3);
    auto* view = static_cast<CHbA1cDeskDownLoadView*>(f.frame.View(kViewDownload));
    QCOMPARE(view->List()->ItemCount(), 3);
    QCOMPARE(view->List()->ItemText(0, 0), std::string("1"));
    QCOMPARE(view->List()->ItemText(0, 2), std::string("09:02"));
    QCOMPARE(view->List()->ItemText(0, 3), std::string("6.5 %"));
    QCOMPARE(f.frame.ProcessModel().Text(), std::string(kReceivingCompleted));
    QVERIFY(f.frame.ProcessModel().IsVisible());
}

namespace {
// The download table as a download leaves it: only that download's rows.
void StoreDownload(CResultTable& down, const std::vector<std::string>& pids) {
    auto lock = down.Lock();
    down.SetFilter("");
    down.DeleteWhere();
    for (size_t i = 0; i < pids.size(); ++i) {
        down.AddNew();
        down.Record.DATE.Assign("20261201");
        down.Record.TIME.Assign(("10" + std::to_string(10 + i)).c_str());
        down.Record.HbA1c_VALUE.Assign("065");
        down.Record.PID.Assign(pids[i].c_str());
        down.Record.OPID.Assign("OP");
        down.Record.EQ_TYPE.Assign(" ");
        down.Update();
    }
    RequeryDefault(down);
}
} // namespace

void TestMainFrame::downloadListAppendsInAutomaticMode_data() {
    QTest::addColumn<int>("autoMode");
    QTest::addColumn<QStringList>("numbers");
    QTest::addColumn<QStringList>("pids");
    QTest::newRow("automatic: appended, numbers continue")
        << 1 << QStringList{"1", "2", "3", "4", "5"} << QStringList{"A2", "A1", "B3", "B2", "B1"};
    QTest::newRow("manual: replaced")
        << 0 << QStringList{"1", "2", "3"} << QStringList{"B3", "B2", "B1"};
}

void TestMainFrame::downloadListAppendsInAutomaticMode() {
    QFETCH(int, autoMode);
    QFETCH(QStringList, numbers);
    QFETCH(QStringList, pids);
    Frame f;
    f.frame.Link().Presets().PresetMode(AutoModeValue(autoMode));
    CResultTable& down = f.frame.Databases().DownloadTable;
    StoreDownload(down, {"A1", "A2"});
    f.frame.Databases().Changed.Notify(ResultsChange::Stored, 2);
    StoreDownload(down, {"B1", "B2", "B3"});
    f.frame.Databases().Changed.Notify(ResultsChange::Stored, 3);
    auto* list = static_cast<CHbA1cDeskDownLoadView*>(f.frame.View(kViewDownload))->List();
    QStringList gotNumbers, gotPids;
    for (int r = 0; r < list->ItemCount(); ++r) {
        gotNumbers << QString::fromStdString(list->ItemText(r, 0));
        gotPids << QString::fromStdString(list->ItemText(r, 4));
    }
    QCOMPARE(gotNumbers, numbers);
    QCOMPARE(gotPids, pids);
    f.frame.Link().Presets().PresetMode(kModeManual);
}

void TestMainFrame::nothingRunsAfterTheWindowClosed() {
    Frame f;
    // The scan job's kCmdManual is on its way when the window closes; handled afterwards, it
    // would open the port choice on a program that is shutting down.
    f.frame.Link().SignalScan();
    QVERIFY2(f.LetTheWorkerCatchUp(), "the worker's call to the window never came");
    QVERIFY(f.frame.close());
    bool dialogAppeared = false;
    // Runs inside a modal dialog's own loop, should one open.
    QTimer::singleShot(0, [&]() {
        if (QWidget* w = QApplication::activeModalWidget()) {
            dialogAppeared = true;
            w->close();
        }
    });
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QVERIFY(!dialogAppeared);
    QCOMPARE(f.frame.Link().State().ManualPhase, int(kManualIdle));
}

void TestMainFrame::settingsButtonOpensTheWindowAndTheListFollows() {
    Frame f;
    CResultTable& table = f.frame.Databases().ResultTable;
    {
        auto lock = table.Lock();
        QVERIFY(table.AddNew());
        table.Record.DATE.Assign("20261201");
        table.Record.TIME.Assign("1405");
        table.Record.HbA1c_VALUE.Assign("065");
        table.Record.PID.Assign("1");
        table.Record.OPID.Assign("2");
        table.Record.EQ_TYPE.Assign(" ");
        QVERIFY(table.Update());
    }
    f.frame.FrameCommand(FRAME_COMMAND_TAG, kCmdShowAllData);
    auto* view = static_cast<CHbA1cDeskAllDataListView*>(f.frame.View(kViewAllData));
    QCOMPARE(view->List->ItemText(0, 3), std::string("6.5 %"));
    QString caption;
    f.frame.RunSettingsDialog = [&caption](QDialog& d) {
        auto& dlg = dynamic_cast<CSettingInfoDlg&>(d);
        caption = dlg.windowTitle();
        dlg.UnitMmol->click();
        dlg.DateFormat[2]->click();
        dlg.Save->click();
        return dlg.result();
    };
    view->Settings->click();
    QCOMPARE(caption, QStringLiteral("Setting information"));
    QCOMPARE(f.frame.Settings().unit, 1);
    QCOMPARE(view->List->ItemText(0, 3), std::string("48 mmol/mol"));
    QCOMPARE(view->List->ItemText(0, 1), std::string("01-12-2026"));
    QVERIFY(ReadAll(SettingsPath(f.home.path())).contains("unit=1"));
}

void TestMainFrame::oneAutomaticStartPerRequest() {
    Frame f;
    auto* clock = dynamic_cast<ManualEventClock*>(f.frame.Stack().clock.get());
    QVERIFY(clock);
    f.prompt.answers = {true};
    auto* home = static_cast<CHbA1cDeskMainView*>(f.frame.View(kViewHome));
    QTest::mouseClick(home->Automatic, Qt::LeftButton);
    QCOMPARE(f.frame.ActiveIndex(), int(kViewDownload));
    QCOMPARE(f.frame.Link().State().AutoStep, int(kStepStart));
    // One start: one 500 ms wait, then the step machine's timer (1 s) ticks once and moves on.
    // A second start queued behind it would restart the timer and hold the first step.
    clock->RunFor(1500, []() { QCoreApplication::processEvents(); });
    QVERIFY(f.frame.Link().State().AutoStep != int(kStepStart));
    f.frame.Link().Presets().PresetMode(kModeManual);
}

void TestMainFrame::automaticModeStartsWithoutTheLastDownloadsBar() {
    Frame f;
    ProcessDlgModel& model = f.frame.ProcessModel();
    model.SetText("Receiving data - Completed \r\n(Close this message box)");
    model.SetProgress(100, "Records received: 31 of 31");
    model.Show();
    QCoreApplication::processEvents();
    QVERIFY(f.frame.ProcessDialog()->Bar()->isVisible());
    model.Hide();
    f.frame.Link().StartAutomatic();
    QCoreApplication::processEvents();
    QCOMPARE(model.ProgressPercent(), -1);
    QVERIFY(f.frame.ProcessDialog()->isVisible());
    QVERIFY(!f.frame.ProcessDialog()->Bar()->isVisible());
    f.frame.Link().Presets().PresetMode(kModeManual);
}

void TestMainFrame::viewButtonsSayWhyTheyDoNothing_data() {
    QTest::addColumn<int>("autoMode");
    QTest::addColumn<bool>("dialogShown");
    QTest::addColumn<QString>("message");
    QTest::newRow("status window open") << 0 << true << QString::fromLatin1(kBusyStatusWindowText);
    QTest::newRow("automatic mode") << 1 << false << QString::fromLatin1(kBusyAutomaticText);
}

void TestMainFrame::viewButtonsSayWhyTheyDoNothing() {
    QFETCH(int, autoMode);
    QFETCH(bool, dialogShown);
    QFETCH(QString, message);
    Frame f;
    f.frame.FrameCommand(FRAME_COMMAND_TAG, kCmdDownload);
    f.frame.Link().Presets().PresetManualPhase(kManualIdle);
    f.frame.Link().Presets().PresetMode(AutoModeValue(autoMode));
    if (dialogShown)
        f.frame.ProcessModel().Show();
    auto* download = static_cast<CHbA1cDeskDownLoadView*>(f.frame.View(kViewDownload));
    for (CPngButton* b : {download->Home, download->AllData, download->Graph}) {
        f.frame.ShowMessage(QString());
        b->click();
        QCOMPARE(f.frame.ActiveIndex(), int(kViewDownload));
        QCOMPARE(f.frame.Message(), message);
        // Where a screen reader finds it.
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(f.frame.MessagePane());
        QVERIFY(a && a->text(QAccessible::Name) == message);
    }
    f.frame.Link().Presets().PresetMode(kModeManual);
    f.frame.ProcessModel().Hide();
    QCoreApplication::processEvents();
    download->Graph->click();
    QCOMPARE(f.frame.ActiveIndex(), int(kViewGraph));
    QCOMPARE(f.frame.Message(), QString()); // a new view, a new message
}

void TestMainFrame::viewShortcutsCtrl1To5() {
    Frame f;
    QApplication::setActiveWindow(&f.frame);
    QVERIFY(QTest::qWaitForWindowActive(&f.frame));
    auto* home = static_cast<CHbA1cDeskMainView*>(f.frame.View(kViewHome));
    QVERIFY(home->AllData->toolTip().contains(QStringLiteral("Ctrl+3")));
    QTest::keyClick(&f.frame, Qt::Key_3, Qt::ControlModifier);
    QCOMPARE(f.frame.ActiveIndex(), int(kViewAllData));
    auto* all = static_cast<CHbA1cDeskAllDataListView*>(f.frame.View(kViewAllData));
    QVERIFY(all->Nav[kNavGraph]->toolTip().contains(QStringLiteral("Ctrl+5")));
    QTest::keyClick(&f.frame, Qt::Key_5, Qt::ControlModifier);
    QCOMPARE(f.frame.ActiveIndex(), int(kViewGraph));
    QTest::keyClick(&f.frame, Qt::Key_1, Qt::ControlModifier);
    QCOMPARE(f.frame.ActiveIndex(), int(kViewHome));
}

void TestMainFrame::settingsWindowSavesWithEnterAndClosesWithEscape_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("unitAfter");
    QTest::newRow("Enter saves") << int(Qt::Key_Return) << 1;
    QTest::newRow("Escape closes") << int(Qt::Key_Escape) << 0;
}

void TestMainFrame::settingsWindowSavesWithEnterAndClosesWithEscape() {
    QFETCH(int, key);
    QFETCH(int, unitAfter);
    Frame f;
    f.frame.FrameCommand(FRAME_COMMAND_TAG, kCmdShowAllData);
    int result = -1;
    f.frame.RunSettingsDialog = [&](QDialog& d) {
        auto& dlg = dynamic_cast<CSettingInfoDlg&>(d);
        dlg.UnitMmol->click();
        dlg.PhysicianName->setFocus();
        QTest::keyClick(dlg.PhysicianName, static_cast<Qt::Key>(key));
        result = dlg.result();
        return result;
    };
    static_cast<CHbA1cDeskAllDataListView*>(f.frame.View(kViewAllData))->Settings->click();
    QCOMPARE(result, key == Qt::Key_Return ? int(QDialog::Accepted) : int(QDialog::Rejected));
    QCOMPARE(f.frame.Settings().unit, unitAfter);
}

void TestMainFrame::defaultColumnWidthsShowWholeTexts() {
    { // the default layout, not one an earlier run left
        QSettings layouts(QString::fromLatin1(kLayoutOrganisation),
                          QString::fromLatin1(kLayoutApplication));
        layouts.remove(QStringLiteral("1000"));
        layouts.remove(QStringLiteral("1001"));
    }
    Frame f;
    // The widest texts each column can show: every date and time format, both units.
    auto row = [](const char* time, const char* value, const char* id, const char* note) {
        ResultRow r;
        r.key.DATE = "20281228";
        r.key.TIME = time;
        r.key.HbA1c_VALUE = value;
        r.key.PID = r.key.OPID = id;
        r.EQ_TYPE = note;
        return r;
    };
    const ResultRow rows[] = {row("2358", "150", "88888888888888", "Analyzer Tilted"),
                              row("1259", "030", "1", " "), row("0000", "138", "1", " ")};
    for (int v : {2, 3}) {
        CListCtrlExt* list0 =
            v == 2 ? static_cast<CHbA1cDeskDownLoadView*>(f.frame.View(kViewDownload))->List()
                   : static_cast<CHbA1cDeskAllDataListView*>(f.frame.View(kViewAllData))->List;
        // Side by side within the list, beside its vertical scroll bar: no sideways scrolling.
        int total = 0;
        for (int c = 0; c < kListColumnCount; ++c)
            total += list0->Header()->sectionSize(c);
        QString sizes;
        for (int c = 0; c < kListColumnCount; ++c)
            sizes += QString::number(list0->Header()->sectionSize(c)) + " ";
        QVERIFY2(total + 20 <= list0->width(), qPrintable(sizes));
        CListCtrlExt* list =
            v == 2 ? static_cast<CHbA1cDeskDownLoadView*>(f.frame.View(kViewDownload))->List()
                   : static_cast<CHbA1cDeskAllDataListView*>(f.frame.View(kViewAllData))->List;
        const QFontMetrics fm(list->font());
        const ListKind kind = v == 2 ? ListKind::Download : ListKind::AllData;
        for (int d = 0; d < 3; ++d)
            for (int t = 0; t < 2; ++t)
                for (int u = 0; u < 2; ++u) {
                    AppSettings s;
                    s.Date = d;
                    s.time = t;
                    s.unit = u;
                    for (const ResultRow& r : rows) {
                        const ListCells cells = ResultCells(r, 99999, s, kind);
                        for (int c = 0; c < kListColumnCount; ++c) {
                            const QString text =
                                QString::fromLatin1(cells[static_cast<size_t>(c)].c_str());
                            QVERIFY2(list->Header()->sectionSize(c) >=
                                         fm.horizontalAdvance(text) + 8,
                                     qPrintable(QStringLiteral("view %1 column %2: %3")
                                                    .arg(v)
                                                    .arg(c)
                                                    .arg(text)));
                        }
                    }
                }
    }
}

void TestMainFrame::deleteQuestionDefaultsToNo() {
    MessageBoxPrompt prompt;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QTimer::singleShot(0, [&]() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        defaultButton = box->standardButton(box->defaultButton());
        QTest::keyClick(box, Qt::Key_Return); // Enter takes the default
    });
    QVERIFY(!prompt.AskDefaultNo("Do you want to delete the selected data?", "Trevanix"));
    QCOMPARE(defaultButton, QMessageBox::No);
}

// The settings window opens "Lab system"; a bad value is refused naming its key, good ones are
// written to lab_info.ini and followed at once: a stored result is queued and the status bar
// counts it.
void TestMainFrame::labSystemFromTheSettingsWindow() {
    Frame f;
    QVERIFY(!f.frame.LabPane()->isVisible()); // no link set up
    int opened = 0;
    QString title;
    QStringList unnamed;
    std::string refused;
    bool keptNoFile = false;
    f.frame.RunLabSystemDialog = [&](QDialog& d) -> int {
        auto& dlg = dynamic_cast<CLabSystemDlg&>(d);
        ++opened;
        title = dlg.windowTitle();
        for (QWidget* w : dlg.findChildren<QWidget*>())
            if ((qobject_cast<QAbstractButton*>(w) || qobject_cast<QSpinBox*>(w) ||
                 (qobject_cast<QLineEdit*>(w) && !qobject_cast<QSpinBox*>(w->parentWidget()))) &&
                QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name).isEmpty())
                unnamed << w->metaObject()->className();
        dlg.Enabled->setChecked(true);
        dlg.Host->setText("127.0.0.1");
        dlg.SendingFacility->setText("Clinic|A"); // a separator in a header field
        dlg.Save->click();
        refused = f.prompt.messages.empty() ? std::string() : f.prompt.messages.back().text;
        keptNoFile = !QFile::exists(LabConfigPath(f.home.path()));
        dlg.SendingFacility->setText("Clinic A");
        dlg.Port->setValue(1); // nothing listens: the messages wait
        dlg.Save->click();
        return dlg.result();
    };
    f.frame.RunSettingsDialog = [](QDialog& d) {
        auto& dlg = dynamic_cast<CSettingInfoDlg&>(d);
        dlg.LabSystem->click();
        return 0;
    };
    f.frame.OpenSettingsDialog();
    QCOMPARE(opened, 1);
    QCOMPARE(title, QStringLiteral("Lab system"));
    QCOMPARE(unnamed, QStringList());
    QVERIFY2(refused.find("sending_facility") != std::string::npos, refused.c_str());
    QVERIFY(keptNoFile);
    LabConfig saved;
    QVERIFY(LoadLabConfig(f.home.path(), saved));
    QVERIFY(saved.enabled);
    QCOMPARE(saved.sendingFacility, std::string("Clinic A"));

    // A result stored now is queued in its transaction.
    CResultTable& table = f.frame.Databases().ResultTable;
    {
        auto lock = table.Lock();
        CDbTransaction tx(table);
        const ResultImage r{"20261201", "1405", "065", "1", "2", " ", "", "19000101", ""};
        QVERIFY(table.Journal() && table.Journal()->ResultChanged(table, nullptr, &r));
        QVERIFY(tx.Commit());
    }
    QTRY_VERIFY_WITH_TIMEOUT(f.frame.LabPane()->isVisible(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(f.frame.LabPane()->text(), QStringLiteral("Lab: 1 waiting"), 10000);
}

QTEST_MAIN(TestMainFrame)
#include "tst_mainframe.moc"
