#pragma once
// What the link needs from the window that hosts it (the main frame, the command-line front
// end's console, a test's fake): views and the status bar.

#include <string>

// What the controller needs from the main frame: views and the status bar.
class IFrameHost {
public:
    virtual ~IFrameHost() = default;
    virtual int ActiveView() const = 0;      // 1 home, 2 download, 3 all data, 4 graph
    virtual void ShowView(int index) = 0;    // switch to the view (it is not the active one)
    virtual void RefreshActiveView() = 0;    // command 12
    virtual void FillDownloadList() = 0;     // command 500 with new rows
    virtual void SetStatusPane(int pane, const std::string& text) = 0;
};
