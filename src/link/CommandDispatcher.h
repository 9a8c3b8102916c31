#pragma once
// The frame-command dispatcher (UM_FRAME_COMMAND): the code table of the link, in three groups
// -- the views (1 to 4, 12), the automatic sequence (30 to 36) and the manual download with the
// line (10, 37, 50 to 54, 60, 65, 500). Codes outside the table change nothing.

class CAcquisitionController;
struct AcquisitionState;

class CCommandDispatcher {
public:
    explicit CCommandDispatcher(CAcquisitionController& session);
    void Dispatch(int code);

private:
    bool View(int code);      // true when the code was one of these
    bool Automatic(int code); // true when the code was one of these
    void Manual(int code);

    CAcquisitionController& x_;
    AcquisitionState& s_;
};
