// Port lists, adapter recognition, device names and the port-choice dialog's state.

#include "link/PortDiscovery.h"

#include <QtTest>
#include <atomic>
#include <thread>

namespace {

EnumeratedPort Windows(const std::string& path, const std::string& friendly) {
    EnumeratedPort p;
    p.devicePath = path;
    p.friendlyName = friendly;
    p.windowsNames = true;
    return p;
}

EnumeratedPort Linux(const std::string& name, bool usb, bool prolific) {
    EnumeratedPort p;
    p.portName = name;
    p.devicePath = "/dev/" + name;
    p.friendlyName = name;
    p.usb = usb;
    p.prolific = prolific;
    return p;
}

const char* kUsbPath =
    "\\\\?\\usb#vid_067b&pid_2303#5&1a2b&0&1#{86e0d1e0-8089-11d0-9ce4-08003e301f73}";
const char* kAcpiPath = "\\\\?\\acpi#pnp0501#1#{86e0d1e0-8089-11d0-9ce4-08003e301f73}";

} // namespace

Q_DECLARE_METATYPE(EnumeratedPort)

class TestPortDiscovery : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parsesPorts_data();
    void parsesPorts();
    void deviceNames_data();
    void deviceNames();
    void extraPorts();
    void fullScanBuildsBothLists();
    void presenceCheckTouchesOnlyTheAdapters();
    void choiceDialogPreselectsTheAdapter();
    void choiceDialogWithoutPortsTakesCom3();
    void searchRescansAndRefills();
    void readersNeverSeeHalfBuiltLists();
};

void TestPortDiscovery::parsesPorts_data() {
    QTest::addColumn<EnumeratedPort>("port");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("bus");
    QTest::addColumn<bool>("adapter");
    QTest::addColumn<QString>("device");
    QTest::newRow("Prolific on COM12")
        << Windows(kUsbPath, "Prolific USB-to-Serial Comm Port (COM12)") << "COM12"
        << "12"
        << "USB" << true << "\\\\.\\COM12";
    QTest::newRow("Prolific on COM5")
        << Windows(kUsbPath, "Prolific USB-to-Serial Comm Port (COM5)") << "COM5"
        << "5"
        << "USB" << true << "COM5";
    QTest::newRow("built-in ACPI COM1")
        << Windows(kAcpiPath, "Communications Port (COM1)") << "COM1"
        << "1"
        << "ACP" << false << "COM1";
    QTest::newRow("other USB maker") << Windows(kUsbPath, "USB Serial Port (COM7)") << "COM7"
                                     << "7"
                                     << "USB" << false << "COM7";
    QTest::newRow("prolific in lower case")
        << Windows(kUsbPath, "prolific adapter (COM4)") << "COM4"
        << "4"
        << "USB" << false << "COM4";
    QTest::newRow("no COM suffix") << Windows(kUsbPath, "Prolific Modem") << "Mode"
                                   << "e"
                                   << "USB" << true << "";
    QTest::newRow("Linux adapter") << Linux("ttyUSB0", true, true) << "ttyUSB0"
                                   << "0"
                                   << "USB" << true << "/dev/ttyUSB0";
    QTest::newRow("Linux other USB") << Linux("ttyACM1", true, false) << "ttyACM1"
                                     << "1"
                                     << "USB" << false << "/dev/ttyACM1";
    QTest::newRow("Linux built-in") << Linux("ttyS0", false, false) << "ttyS0"
                                    << "0"
                                    << "TTY" << false << "/dev/ttyS0";
}

void TestPortDiscovery::parsesPorts() {
    QFETCH(EnumeratedPort, port);
    QFETCH(QString, name);
    QFETCH(QString, number);
    QFETCH(QString, bus);
    QFETCH(bool, adapter);
    QFETCH(QString, device);
    const PortEntry e = ParsePort(port);
    QCOMPARE(QString::fromStdString(e.portName), name);
    QCOMPARE(QString::fromStdString(e.portNumber), number);
    QCOMPARE(QString::fromStdString(e.busTag), bus);
    QCOMPARE(e.adapter, adapter);
    QCOMPARE(QString::fromStdString(e.devicePath), device);
}

void TestPortDiscovery::deviceNames_data() {
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("device");
    QTest::newRow("0") << 0 << "";
    QTest::newRow("1") << 1 << "COM1";
    QTest::newRow("9") << 9 << "COM9";
    QTest::newRow("10") << 10 << "\\\\.\\COM10";
    QTest::newRow("100") << 100 << "\\\\.\\COM100";
    QTest::newRow("101") << 101 << "";
    QTest::newRow("-3") << -3 << "";
}

void TestPortDiscovery::deviceNames() {
    QFETCH(int, number);
    QFETCH(QString, device);
    QCOMPARE(QString::fromStdString(PortNameTable(number)), device);
}

void TestPortDiscovery::extraPorts() {
    const auto ports =
        ExtraPorts("/dev/pts/7=Prolific USB-to-Serial Comm Port;;/tmp/other;=nameless;/dev/x=Y");
    QCOMPARE(ports.size(), size_t(3));
    QCOMPARE(ports[0].devicePath, std::string("/dev/pts/7"));
    QCOMPARE(ports[0].portName, std::string("pts/7"));
    QVERIFY(ParsePort(ports[0]).adapter); // the simulator is found as an adapter
    QCOMPARE(ports[1].friendlyName, std::string("/tmp/other"));
    QVERIFY(!ParsePort(ports[1]).adapter);
    QCOMPARE(ports[2].friendlyName, std::string("Y"));
}

void TestPortDiscovery::fullScanBuildsBothLists() {
    PortLists lists;
    lists.FullScan({Windows(kAcpiPath, "Communications Port (COM1)"),
                    Windows(kUsbPath, "Prolific USB-to-Serial Comm Port (COM5)"),
                    Windows(kUsbPath, "Prolific Modem"),
                    Windows(kUsbPath, "Prolific USB-to-Serial Comm Port (COM12)")});
    const PortLists::Snapshot s = lists.Get();
    QCOMPARE(s.PortList.size(), size_t(3)); // "Mode" is not offered
    QCOMPARE(s.AdapterPortList.size(), size_t(3));
    QCOMPARE(s.AdapterPortList[0].portName, std::string("COM5"));
    QCOMPARE(s.AdapterPortList[2].portName, std::string("COM12"));
    QCOMPARE(s.AdapterPort, std::string("COM12")); // the later one
    QVERIFY(s.AdapterFound);

    lists.FullScan({});
    QVERIFY(lists.Get().PortList.empty());
    QVERIFY(!lists.AdapterFound());
}

void TestPortDiscovery::presenceCheckTouchesOnlyTheAdapters() {
    PortLists lists;
    lists.FullScan({Windows(kAcpiPath, "Communications Port (COM1)"),
                    Windows(kUsbPath, "Prolific USB-to-Serial Comm Port (COM5)")});
    QVERIFY(!lists.PresenceCheck({Windows(kAcpiPath, "Communications Port (COM1)")}));
    const PortLists::Snapshot s = lists.Get();
    QVERIFY(s.AdapterPortList.empty());
    QCOMPARE(s.PortList.size(), size_t(2)); // untouched
    QVERIFY(s.AdapterFound);                // untouched
    QVERIFY(lists.PresenceCheck({Windows(kUsbPath, "Prolific USB-to-Serial Comm Port (COM8)")}));
    QCOMPARE(lists.Get().AdapterPort, std::string("COM8"));
}

void TestPortDiscovery::choiceDialogPreselectsTheAdapter() {
    PortLists lists;
    lists.FullScan({Windows(kAcpiPath, "Communications Port (COM1)"),
                    Windows(kUsbPath, "Prolific USB-to-Serial Comm Port (COM12)")});
    GetDataDlgModel dlg(lists, nullptr);
    QCOMPARE(dlg.Items(), (std::vector<std::string>{"COM1", "COM12"}));
    QCOMPARE(dlg.Selected(), 1);
    GetDataDlgModel::Choice c = dlg.Accept();
    QCOMPARE(c.label, std::string("COM12"));
#ifdef Q_OS_WIN
    QCOMPARE(c.devicePath, std::string("\\\\.\\COM12"));
#endif
    dlg.Select(0);
    QCOMPARE(dlg.Accept().label, std::string("COM1"));

    PortLists linux;
    linux.FullScan({Linux("ttyS0", false, false), Linux("ttyUSB0", true, true)});
    GetDataDlgModel dlg2(linux, nullptr);
    QCOMPARE(dlg2.Items(), (std::vector<std::string>{"ttyS0", "ttyUSB0"}));
    QCOMPARE(dlg2.Selected(), 1);
    QCOMPARE(dlg2.Accept().devicePath, std::string("/dev/ttyUSB0"));
}

void TestPortDiscovery::choiceDialogWithoutPortsTakesCom3() {
    PortLists lists;
    lists.FullScan({});
    GetDataDlgModel dlg(lists, nullptr);
    QVERIFY(dlg.Items().empty());
    QCOMPARE(dlg.Selected(), -1);
    const GetDataDlgModel::Choice c = dlg.Accept();
    QCOMPARE(c.label, std::string("COM3"));
#ifdef Q_OS_WIN
    QCOMPARE(c.devicePath, std::string("COM3"));
#else
    QCOMPARE(c.devicePath, std::string("/dev/ttyS2"));
#endif
}

void TestPortDiscovery::searchRescansAndRefills() {
    PortLists lists;
    lists.FullScan({Windows(kUsbPath, "Prolific USB-to-Serial Comm Port (COM5)")});
    bool foundDuringSearch = true;
    GetDataDlgModel* self = nullptr;
    GetDataDlgModel dlg(lists, [&]() {
        foundDuringSearch = lists.AdapterFound();
        lists.FullScan({Windows(kAcpiPath, "Communications Port (COM2)"),
                        Windows(kUsbPath, "Prolific USB-to-Serial Comm Port (COM6)")});
        self->Refill();
    });
    self = &dlg;
    dlg.Search();
    QVERIFY(!foundDuringSearch); // the search clears the flag before scanning
    QCOMPARE(dlg.Items(), (std::vector<std::string>{"COM2", "COM6"}));
    QCOMPARE(dlg.Accept().label, std::string("COM6"));
}

void TestPortDiscovery::readersNeverSeeHalfBuiltLists() {
    PortLists lists;
    std::vector<EnumeratedPort> a, b;
    for (int i = 1; i <= 50; ++i)
        a.push_back(
            Windows(kUsbPath, "Prolific USB-to-Serial Comm Port (COM" + std::to_string(i) + ")"));
    b.push_back(Windows(kAcpiPath, "Communications Port (COM1)"));
    std::atomic<bool> stop{false};
    std::thread writer([&]() {
        for (int i = 0; i < 2000; ++i)
            lists.FullScan(i % 2 ? a : b);
        stop = true;
    });
    int bad = 0;
    while (!stop) {
        const PortLists::Snapshot s = lists.Get();
        // Either the 50 adapters or the single built-in port, never a mix or a part.
        if (!((s.PortList.size() == 50 && s.AdapterPortList.size() == 50) ||
              (s.PortList.size() == 1 && s.AdapterPortList.empty()) || s.PortList.empty()))
            ++bad;
    }
    writer.join();
    QCOMPARE(bad, 0);
}

QTEST_GUILESS_MAIN(TestPortDiscovery)
#include "tst_portdiscovery.moc"
