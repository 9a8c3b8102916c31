#include "link/PortDiscovery.h"

#include <QSerialPort>
#include <QSerialPortInfo>
#include <cctype>
#include <cstdlib>

namespace {

constexpr uint16_t kProlificVendor = 0x067B;

bool StartsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

std::string Upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string Last(const std::string& s, size_t n) {
    return s.size() <= n ? s : s.substr(s.size() - n);
}

std::string TrailingDigits(const std::string& s) {
    size_t i = s.size();
    while (i > 0 && std::isdigit(static_cast<unsigned char>(s[i - 1])))
        --i;
    return s.substr(i);
}

// Windows: the rules of the port-choice list, on the friendly name "... (COMn)".
PortEntry ParseWindowsPort(const EnumeratedPort& port) {
    PortEntry e;
    e.friendlyName = port.friendlyName;
    const std::string first7 = port.devicePath.substr(0, 7);
    e.busTag = Upper(first7.size() > 4 ? first7.substr(4) : std::string());
    const std::string last5 = Last(port.friendlyName, 5);
    if (!last5.empty() && last5[0] == 'O') {
        const std::string last6 = Last(port.friendlyName, 6);
        e.portName = last6.substr(0, 5);
        e.portNumber = Last(e.portName, 2);
    } else {
        e.portName = last5.substr(0, 4);
        e.portNumber = Last(e.portName, 1);
    }
    e.adapter = e.busTag == "USB" && StartsWith(port.friendlyName, "Prolific");
    e.devicePath = PortNameTable(std::atoi(e.portNumber.c_str()));
    return e;
}

PortEntry ParseOtherPort(const EnumeratedPort& port) {
    PortEntry e;
    e.friendlyName = port.friendlyName;
    e.portName = port.portName;
    e.portNumber = TrailingDigits(port.portName);
    e.busTag = port.usb ? "USB" : "TTY";
    e.adapter = port.usb && port.prolific;
    e.devicePath = port.devicePath;
    return e;
}

// The description rule: the friendly name without a trailing " (...)" part.
std::string DescriptionFrom(const std::string& friendly) {
    const size_t open = friendly.find(" (");
    const size_t close = friendly.find(')');
    if (open != std::string::npos && open > 0 && close == friendly.size() - 1)
        return friendly.substr(0, open);
    return friendly;
}

bool CanOpen(const std::string& path) {
    QSerialPort p(QString::fromLocal8Bit(path.c_str()));
    if (!p.open(QIODevice::ReadWrite))
        return false;
    p.close();
    return true;
}

} // namespace

PortEntry ParsePort(const EnumeratedPort& port) {
    return port.windowsNames ? ParseWindowsPort(port) : ParseOtherPort(port);
}

std::string PortNameTable(int number) {
    if (number < 1 || number > 100)
        return std::string();
    const std::string com = "COM" + std::to_string(number);
    return number <= 9 ? com : "\\\\.\\" + com;
}

int PortNumberFromLabel(const std::string& label) {
    const size_t n = label.size() == 4 ? 1 : label.size() == 5 ? 2 : 3;
    return std::atoi(Last(label, n).c_str());
}

std::vector<EnumeratedPort> ExtraPorts(const std::string& list) {
    std::vector<EnumeratedPort> out;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos)
            end = list.size();
        std::string item = list.substr(start, end - start);
        start = end + 1;
        if (item.empty())
            continue;
        EnumeratedPort p;
        const size_t eq = item.find('=');
        p.devicePath = item.substr(0, eq);
        if (p.devicePath.empty())
            continue;
        p.portName = StartsWith(p.devicePath, "/dev/") ? p.devicePath.substr(5) : p.devicePath;
        p.friendlyName = eq == std::string::npos ? p.portName : item.substr(eq + 1);
        p.prolific = StartsWith(p.friendlyName, "Prolific");
        p.usb = p.prolific;
        p.description = DescriptionFrom(p.friendlyName);
        out.push_back(p);
    }
    return out;
}

std::vector<EnumeratedPort> EnumeratePorts(bool probe) {
    std::vector<EnumeratedPort> out;
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : infos) {
        EnumeratedPort p;
        p.portName = info.portName().toStdString();
        const std::string desc = info.description().toStdString();
        p.friendlyName = desc.empty() ? p.portName : desc + " (" + p.portName + ")";
        p.usb = info.hasVendorIdentifier();
        p.prolific = (info.hasVendorIdentifier() && info.vendorIdentifier() == kProlificVendor) ||
                     info.manufacturer().startsWith(QLatin1String("Prolific"));
#ifdef Q_OS_WIN
        // The COM rules read the bus from the start of a SetupAPI interface path.
        p.windowsNames = true;
        p.devicePath = p.usb ? "\\\\?\\usb#" + p.portName : "\\\\?\\acpi#" + p.portName;
#else
        p.devicePath = info.systemLocation().toStdString();
#endif
        p.description = desc.empty() ? DescriptionFrom(p.friendlyName) : desc;
        out.push_back(p);
    }
    if (const char* extra = std::getenv("TREVANIX_EXTRA_PORTS")) {
        for (EnumeratedPort& p : ExtraPorts(extra))
            out.push_back(p);
    }
    if (probe) {
        std::vector<EnumeratedPort> kept;
        for (EnumeratedPort& p : out) {
            if (CanOpen(p.windowsNames ? ParsePort(p).devicePath : p.devicePath))
                kept.push_back(p);
        }
        out.swap(kept);
    }
    return out;
}

void PortLists::FullScan(const std::vector<EnumeratedPort>& ports) {
    Snapshot next;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // The adapter fields outlive a scan that finds none, as the dialog's preselection does.
        next.AdapterPort = lists_.AdapterPort;
        next.AdapterFriendlyName = lists_.AdapterFriendlyName;
        next.AdapterBusTag = lists_.AdapterBusTag;
        lists_.AdapterFound = false;
    }
    for (const EnumeratedPort& port : ports) {
        const PortEntry e = ParsePort(port);
        if (e.adapter) {
            next.AdapterPort = e.portName;
            next.AdapterFriendlyName = e.friendlyName;
            next.AdapterBusTag = e.busTag;
            next.AdapterFound = true;
            next.AdapterPortList.push_back(e);
        }
        // Windows ports whose name could not be parsed to "COMn" are not offered.
        if (!port.windowsNames || StartsWith(e.portName, "COM"))
            next.PortList.push_back(e);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    lists_ = std::move(next);
}

bool PortLists::PresenceCheck(const std::vector<EnumeratedPort>& ports) {
    std::vector<PortEntry> adapters;
    for (const EnumeratedPort& port : ports) {
        const PortEntry e = ParsePort(port);
        if (e.adapter)
            adapters.push_back(e);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!adapters.empty()) {
        const PortEntry& e = adapters.back();
        lists_.AdapterPort = e.portName;
        lists_.AdapterFriendlyName = e.friendlyName;
        lists_.AdapterBusTag = e.busTag;
    }
    lists_.AdapterPortList = std::move(adapters);
    return !lists_.AdapterPortList.empty();
}

PortLists::Snapshot PortLists::Get() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lists_;
}

bool PortLists::AdapterFound() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lists_.AdapterFound;
}

void PortLists::SetAdapterFound(bool found) {
    std::lock_guard<std::mutex> lock(mutex_);
    lists_.AdapterFound = found;
}

void PortLists::SetAdapterPort(const std::string& portName) {
    std::lock_guard<std::mutex> lock(mutex_);
    lists_.AdapterPort = portName;
}

size_t PortLists::AdapterCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lists_.AdapterPortList.size();
}

PortEntry PortLists::AdapterAt(size_t index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return index < lists_.AdapterPortList.size() ? lists_.AdapterPortList[index] : PortEntry();
}

std::string PortChoiceLabel(const PortEntry& entry) {
    return StartsWith(entry.portName, "COM") ? "COM" + entry.portNumber : entry.portName;
}

GetDataDlgModel::GetDataDlgModel(PortLists& lists, std::function<void()> search)
    : lists_(lists), search_(std::move(search)) {
    Refill();
}

void GetDataDlgModel::Refill() {
    const PortLists::Snapshot s = lists_.Get();
    items_.clear();
    paths_.clear();
    selected_ = -1;
    for (const PortEntry& e : s.PortList) {
        items_.push_back(PortChoiceLabel(e));
        paths_.push_back(e.devicePath);
        if (selected_ < 0 && !s.AdapterPort.empty() && e.portName == s.AdapterPort)
            selected_ = static_cast<int>(items_.size()) - 1;
    }
    if (selected_ < 0 && !items_.empty())
        selected_ = 0;
    text_ = selected_ >= 0 ? items_[static_cast<size_t>(selected_)] : std::string();
}

void GetDataDlgModel::Select(int index) {
    if (index < 0 || index >= static_cast<int>(items_.size()))
        return;
    selected_ = index;
    text_ = items_[static_cast<size_t>(index)];
}

void GetDataDlgModel::Search() {
    lists_.SetAdapterFound(false);
    if (search_)
        search_();
}

GetDataDlgModel::Choice GetDataDlgModel::Accept() const {
    Choice c;
    c.label = text_.empty() ? std::string("COM3") : text_;
    for (size_t i = 0; i < items_.size(); ++i) {
        if (items_[i] == c.label && !StartsWith(c.label, "COM")) {
            c.devicePath = paths_[i];
            return c;
        }
    }
    if (StartsWith(c.label, "COM")) {
#ifdef Q_OS_WIN
        c.devicePath = PortNameTable(PortNumberFromLabel(c.label));
#else
        // COMn is the n-th built-in port, /dev/ttyS(n-1); outside 1..100 there is none.
        const int n = PortNumberFromLabel(c.label);
        if (!PortNameTable(n).empty())
            c.devicePath = "/dev/ttyS" + std::to_string(n - 1);
#endif
    } else {
        c.devicePath = c.label[0] == '/' ? c.label : "/dev/" + c.label;
    }
    return c;
}
