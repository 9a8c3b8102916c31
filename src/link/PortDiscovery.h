#pragma once
// Which serial ports the machine has, which of them are the analyzer's USB-serial adapter, and
// the device name to open for a port the user picked.
//
// Windows friendly names end in "(COMn)" and the port number is parsed from there; on Linux the
// user sees the device name (ttyUSB0) and the device path is /dev/ttyUSB0. An adapter is a USB
// port whose name begins with "Prolific" (Windows), or whose vendor ID is 0x067B or whose
// manufacturer begins with "Prolific" (Linux). TREVANIX_EXTRA_PORTS adds ports the system does
// not list ("path" or "path=friendly name", separated by ';'); one whose friendly name begins
// with "Prolific" counts as an adapter, so the simulated analyzer is found like a real one.

#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct EnumeratedPort {
    std::string devicePath;   // what Open needs
    std::string portName;     // "COM5", "ttyUSB0"
    std::string friendlyName; // "Prolific USB-to-Serial Comm Port (COM5)"
    bool usb = false;
    std::string description;
    bool windowsNames = false; // parse the friendly name by the COM rules
    bool prolific = false;     // Linux: vendor 0x067B or a "Prolific" manufacturer
};

struct PortEntry {
    std::string portName; // "COM5", "ttyUSB0"
    std::string friendlyName;
    std::string busTag;     // "USB", "ACP", ...
    std::string portNumber; // "5"
    std::string devicePath; // what Open needs on this system
    bool adapter = false;
};

// One enumerated port, by the rules of the system it came from.
PortEntry ParsePort(const EnumeratedPort& port);

// Windows device names by port number: "COM1".."COM9", then "\\.\COM10".."\\.\COM100";
// empty outside 1..100.
std::string PortNameTable(int number);
// The port number in a label such as "COM12": its last 1, 2 or 3 characters for a label of
// length 4, 5 or more.
int PortNumberFromLabel(const std::string& label);

// The machine's serial ports in system order, then the TREVANIX_EXTRA_PORTS ones. probe is
// kept for the callers' sake and drops ports that cannot be opened.
std::vector<EnumeratedPort> EnumeratePorts(bool probe);
// The TREVANIX_EXTRA_PORTS entries of the given text.
std::vector<EnumeratedPort> ExtraPorts(const std::string& list);

// Results of the scans. Both lists are rebuilt aside and swapped in under a lock, so a reader
// on another thread sees the old lists or the new ones, never one half built.
class PortLists {
public:
    struct Snapshot {
        std::vector<PortEntry> PortList;        // every port offered to the user
        std::vector<PortEntry> AdapterPortList; // the adapters, tried in turn in automatic mode
        bool AdapterFound = false;
        std::string AdapterPort; // last adapter found (its port name)
        std::string AdapterFriendlyName;
        std::string AdapterBusTag;
    };

    // Full scan: both lists, AdapterFound and the adapter's fields from the given ports.
    void FullScan(const std::vector<EnumeratedPort>& ports);
    // Presence check: only the adapter list (and the adapter fields when one is found).
    // Returns whether an adapter is present.
    bool PresenceCheck(const std::vector<EnumeratedPort>& ports);

    Snapshot Get() const;
    bool AdapterFound() const;
    void SetAdapterFound(bool found);
    // Automatic mode remembers the port it last opened.
    void SetAdapterPort(const std::string& portName);
    size_t AdapterCount() const;
    // The adapter entry at index, or an empty entry when there is none.
    PortEntry AdapterAt(size_t index) const;

private:
    mutable std::mutex mutex_;
    Snapshot lists_;
};

// The label the port-choice list shows for an entry: "COM" + number on Windows, the device name
// elsewhere.
std::string PortChoiceLabel(const PortEntry& entry);

// The state of the port-choice dialog "Get HbA1c data", without its window.
class GetDataDlgModel {
public:
    // search runs the full scan again (the dialog's port-search button).
    GetDataDlgModel(PortLists& lists, std::function<void()> search);

    // Fills the list from the port lists and preselects the adapter (or the first entry).
    void Refill();
    const std::vector<std::string>& Items() const { return items_; }
    int Selected() const { return selected_; }
    void Select(int index);
    // The text the user typed or picked; Refill and Select set it.
    void SetText(const std::string& text) { text_ = text; }
    const std::string& Text() const { return text_; }
    void Search();

    // OK: the label ("COM3" when nothing is chosen) and the device path to open.
    struct Choice {
        std::string label;
        std::string devicePath;
    };
    Choice Accept() const;

private:
    PortLists& lists_;
    std::function<void()> search_;
    std::vector<std::string> items_;
    std::vector<std::string> paths_;
    int selected_ = -1;
    std::string text_;
};

// Runs the port choice: the dialog in the window build, a fixed port on the command line, a
// script in tests. Returns false on Cancel.
class IPortChooser {
public:
    virtual ~IPortChooser() = default;
    virtual bool ChoosePort(GetDataDlgModel& model, GetDataDlgModel::Choice& choice) = 0;
    // True while the dialog is open (then a new scan only refreshes its list).
    virtual bool IsOpen() const = 0;
    virtual void Refresh() = 0;
};
