#pragma once
// The command table of the link, in three groups -- the views (kCmdShowHome to kCmdShowGraph,
// kCmdRefreshView), the automatic sequence (kCmdStartAutomatic to kCmdPresenceCheck) and the
// manual download with the line (the rest). Codes outside the table change nothing.

class IFrameHost;
class ILinkCommands;
struct AcquisitionState;

class CCommandDispatcher {
public:
    CCommandDispatcher(ILinkCommands& session, IFrameHost& frame, AcquisitionState& state);
    void Dispatch(int code);

private:
    bool View(int code);      // true when the code was one of these
    bool Automatic(int code); // true when the code was one of these
    void Manual(int code);

    ILinkCommands& session_;
    IFrameHost& frame_;
    AcquisitionState& state_;
};
