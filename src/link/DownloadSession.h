#pragma once
// What views and the command-line front end may ask of the download session. They read the
// acquisition state and ask for changes; they never write it. CAcquisitionController is the
// session; view tests give a fake.

#include "link/AcquisitionState.h"

#include <functional>
#include <string>

// How a download (or one automatic cycle) ended, as far as whoever started it needs to know.
enum class DownloadOutcome {
    None,           // nothing ended yet since the session started
    Stored,         // new results were stored (rows: how many)
    NothingNew,     // the analyzer held nothing that was not stored already
    Blank,          // the analyzer's buffer was empty
    Declined,       // the user said no to the download question
    OpenFailed,     // the port could not be opened
    GaveUp,         // the line stopped delivering and the retries ran out
    Rejected,       // the block failed its check (automatic mode asks again)
    StoreFailed,    // the results could not be stored; nothing was changed
    CopyIncomplete, // the copy of the received data could not be written whole
};

struct SessionOutcome {
    DownloadOutcome kind = DownloadOutcome::None;
    std::string text; // what the user was told
    int rows = 0;     // Stored: the rows of the download
    // The outcomes after which the download did not do its work.
    bool Failed() const {
        return kind == DownloadOutcome::OpenFailed || kind == DownloadOutcome::GaveUp ||
               kind == DownloadOutcome::Rejected || kind == DownloadOutcome::StoreFailed ||
               kind == DownloadOutcome::CopyIncomplete;
    }
};

// A prompt of the automatic cycle that waits for the user: the status box (the cartridge
// prompts) or the box that says automatic mode was terminated.
enum class SessionPrompt { None, Status, Termination };

class IDownloadSession {
public:
    virtual ~IDownloadSession() = default;
    virtual const AcquisitionState& State() const = 0;
    // A manual download, as showing the download view starts one. Only in manual mode and
    // when none is under way.
    virtual void StartManual() = 0;
    // Automatic mode: find the adapter, wait for the next measurement, fetch and store it.
    virtual void StartAutomatic() = 0;
    // Leaves automatic mode for a manual download.
    virtual void SwitchToManual() = 0;
    // No download under way and nothing left to write, decode or watch.
    virtual bool IsIdle() const = 0;

    // The last outcome, and a listener told of each one as it happens (on the session's
    // thread). An automatic cycle may report several (a rejected block, then the stored one).
    virtual const SessionOutcome& LastOutcome() const = 0;
    virtual void SetOutcomeListener(std::function<void(const SessionOutcome&)> listener) = 0;

    // The prompt the automatic cycle waits on, if any, and the user's answer to it: closing the
    // status box or the termination box. An answer to a prompt not shown changes nothing but
    // the box.
    virtual SessionPrompt PendingPrompt() const = 0;
    virtual void AcknowledgePrompt(SessionPrompt prompt) = 0;
};
