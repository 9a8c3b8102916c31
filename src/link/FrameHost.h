#pragma once
// What the link needs from the window that hosts it (the main frame, the command-line front
// end's console, a test's fake): views and the status bar.

#include <string>

// The main frame's views, by the index the frame and the link use.
enum ViewIndex : int {
    kViewHome = 1,
    kViewDownload = 2,
    kViewAllData = 3,
    kViewGraph = 4,
};

// What the controller needs from the main frame: views and the status bar.
class IFrameHost {
public:
    virtual ~IFrameHost() = default;
    virtual int ActiveView() const = 0;   // a ViewIndex
    virtual void ShowView(int index) = 0; // switch to the view (it is not the active one)
    virtual void RefreshActiveView() = 0; // kCmdRefreshView
    virtual void SetStatusPane(int pane, const std::string& text) = 0;
};
