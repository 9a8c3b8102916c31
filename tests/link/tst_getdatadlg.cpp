// The port-choice window: list, preselection, search and OK.

#include "link/dialogs/GetDataDlg.h"

#include <QComboBox>
#include <QPushButton>
#include <QtTest>

class TestGetDataDlg : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void showsThePortsWithTheAdapterChosen();
    void searchRefillsTheList();
    void typedPortIsTaken();
};

namespace {
std::vector<EnumeratedPort> Ports(const std::string& list) { return ExtraPorts(list); }
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

QTEST_MAIN(TestGetDataDlg)
#include "tst_getdatadlg.moc"
