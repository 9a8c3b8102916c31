// The command table: every request that crosses the program (views, the settings dialog, the
// decoder, the session itself) arrives here as one command code.

#include "link/CommandDispatcher.h"

#include "link/FrameHost.h"
#include "link/SessionParts.h"

CCommandDispatcher::CCommandDispatcher(ILinkCommands& session, IFrameHost& frame,
                                       AcquisitionState& state)
    : session_(session), frame_(frame), state_(state) {}

void CCommandDispatcher::Dispatch(int code) {
    if (!View(code) && !Automatic(code))
        Manual(code);
}

// The views and their refresh. True when the code was one of these.
bool CCommandDispatcher::View(int code) {
    static_assert(int(kCmdShowHome) == int(kViewHome) && int(kCmdDownload) == int(kViewDownload) &&
                      int(kCmdShowAllData) == int(kViewAllData) &&
                      int(kCmdShowGraph) == int(kViewGraph),
                  "a view's command is its index");
    switch (code) {
    case kCmdShowHome:
    case kCmdShowAllData:
    case kCmdShowGraph:
        if (frame_.ActiveView() != code)
            frame_.ShowView(code);
        return true;
    case kCmdDownload:
        if (frame_.ActiveView() == kViewDownload) {
            if (state_.AutoMode == kModeManual)
                session_.StartPortScan();
        } else {
            frame_.ShowView(kViewDownload);
        }
        return true;
    case kCmdRefreshView: {
        const int v = frame_.ActiveView();
        if (v >= kViewDownload && v <= kViewGraph)
            frame_.RefreshActiveView();
        return true;
    }
    default:
        return false;
    }
}

// The automatic sequence. True when the code was one of these.
bool CCommandDispatcher::Automatic(int code) {
    const bool running = state_.AppRunning;
    switch (code) {
    case kCmdStartAutomatic:
        session_.BeginAutomatic();
        return true;
    case kCmdOpenNextAdapter:
        session_.OpenNextAdapterPort();
        return true;
    case kCmdAdapterGone:
        session_.AdapterGone();
        return true;
    case kCmdAutoHandshake:
        if (running)
            session_.SendAutoHandshake();
        return true;
    case kCmdAutoRequest:
        if (running)
            session_.SendAutoRequest();
        return true;
    case kCmdAutoStored:
        session_.AutomaticStored();
        return true;
    case kCmdPresenceCheck:
        session_.StartPresenceCheck();
        return true;
    default:
        return false;
    }
}

// The manual download and the line.
void CCommandDispatcher::Manual(int code) {
    const bool running = state_.AppRunning;
    switch (code) {
    case kCmdPortChoice:
        session_.ChoosePort();
        break;
    case kCmdAcknowledge:
    case kCmdEndTransfer:
        if (running)
            session_.SendEnd();
        break;
    case kCmdManual:
        session_.EnterManual();
        Dispatch(kCmdPortChoice);
        break;
    case kCmdManualHandshake:
        if (running)
            session_.SendHandshake();
        break;
    case kCmdManualRequest:
        if (running)
            session_.SendRequest();
        break;
    case kCmdClosePort:
        session_.ClosePortAfterWrites();
        break;
    case kCmdDeleteAll:
        if (running)
            session_.SendDeleteAll();
        break;
    case kCmdPurge:
        session_.PurgeAfterWrites();
        break;
    case kCmdStored:
        session_.FinishDownload();
        break;
    default:
        break;
    }
}
