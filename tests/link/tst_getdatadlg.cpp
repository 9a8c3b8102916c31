// The link's windows: the port choice (list, preselection, search and OK) and the status boxes
// (what the user does with them reaches the session).

#include "views/link/GetDataDlg.h"
#include "views/link/StatusDlgs.h"

#include <QComboBox>
#include <QPushButton>
#include <QtTest>

class TestGetDataDlg : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void showsThePortsWithTheAdapterChosen();
    void searchRefillsTheList();
    void typedPortIsTaken();
    void statusBoxesAnswerTheSession_data();
    void statusBoxesAnswerTheSession();
};

namespace {
std::vector<EnumeratedPort> Ports(const std::string& list) {
    return ExtraPorts(list);
}
} // namespace

void TestGetDataDlg::showsThePortsWithTheAdapterChosen() {
    PortLists lists;
    lists.FullScan(Ports("/dev/ttyS0;/dev/ttyUSB0=Prolific USB-to-Serial Comm Port;/dev/ttyS1"));
    GetDataDlgModel model(lists, nullptr);
    CGetDataDlg dlg(model);
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Get HbA1c data"));
    QCOMPARE(dlg.size(), QSize(404, 207));
    QCOMPARE(dlg.Ports()->count(), 3);
    QCOMPARE(dlg.Ports()->currentText(), QStringLiteral("ttyUSB0"));
    dlg.accept();
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(dlg.Choice().devicePath, std::string("/dev/ttyUSB0"));
    QCOMPARE(dlg.Choice().label, std::string("ttyUSB0"));
}

void TestGetDataDlg::searchRefillsTheList() {
    PortLists lists;
    lists.FullScan(Ports("/dev/ttyS0"));
    int searches = 0;
    GetDataDlgModel model(lists, [&]() {
        ++searches;
        lists.FullScan(Ports("/dev/ttyS0;/dev/ttyUSB3=Prolific USB-to-Serial Comm Port"));
    });
    CGetDataDlg dlg(model);
    QCOMPARE(dlg.Ports()->count(), 1);
    QTest::mouseClick(dlg.SearchButton(), Qt::LeftButton);
    QCOMPARE(searches, 1);
    QCOMPARE(dlg.Ports()->count(), 2);
    QCOMPARE(dlg.Ports()->currentText(), QStringLiteral("ttyUSB3"));
}

void TestGetDataDlg::typedPortIsTaken() {
    PortLists lists;
    lists.FullScan({});
    GetDataDlgModel model(lists, nullptr);
    CGetDataDlg dlg(model);
    QCOMPARE(dlg.Ports()->count(), 0);
    dlg.Ports()->setEditText(QStringLiteral("/dev/pts/9"));
    dlg.accept();
    QCOMPARE(dlg.Choice().devicePath, std::string("/dev/pts/9"));
    QCOMPARE(dlg.Choice().label, std::string("/dev/pts/9"));
}

void TestGetDataDlg::statusBoxesAnswerTheSession_data() {
    QTest::addColumn<bool>("checking"); // the termination box, else the status box
    QTest::addColumn<bool>("ok");       // its OK button, else closing it (Esc, close box)
    QTest::addColumn<int>("answer");    // the checking model's answer afterwards
    QTest::newRow("status box: Close") << false << true << 0;
    QTest::newRow("status box: closed") << false << false << 0;
    QTest::newRow("termination box: OK") << true << true << 1;
    QTest::newRow("termination box: closed") << true << false << 0;
}

// Whatever the user does to a shown box hides its model and is handed on once, as the answer to
// the session's prompt; a box nobody touched tells nothing.
void TestGetDataDlg::statusBoxesAnswerTheSession() {
    QFETCH(bool, checking);
    QFETCH(bool, ok);
    QFETCH(int, answer);
    ProcessDlgModel process;
    CheckingDlgModel check;
    CProcessDlg processDlg(process);
    CCheckingDlg checkingDlg(check);
    int closes = 0, answers = 0;
    processDlg.OnUserClose = [&]() {
        QVERIFY(!process.IsVisible()); // the model first: the session reads it afterwards
        ++closes;
    };
    checkingDlg.OnUserAnswer = [&]() {
        QVERIFY(!check.IsVisible());
        ++answers;
    };
    process.SetText("Caution");
    process.Show();
    check.SetText("Automatic mode was terminated.");
    check.Show();
    QCoreApplication::processEvents();
    QCOMPARE(closes + answers, 0);
    if (checking && ok)
        checkingDlg.OkButton()->click();
    else if (checking)
        static_cast<QDialog&>(checkingDlg).reject(); // Esc or the close box
    else if (ok)
        processDlg.CloseButton()->click();
    else
        static_cast<QDialog&>(processDlg).reject();
    QCOMPARE(closes, checking ? 0 : 1);
    QCOMPARE(answers, checking ? 1 : 0);
    QCOMPARE(check.Answer(), answer);
    QCOMPARE(process.IsVisible(), checking);
    QCOMPARE(check.IsVisible(), !checking);
}

QTEST_MAIN(TestGetDataDlg)
#include "tst_getdatadlg.moc"
