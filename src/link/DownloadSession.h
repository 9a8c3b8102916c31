#pragma once
// What views and the command-line front end may ask of the download session. They read the
// acquisition state and ask for changes; they never write it. CAcquisitionController is the
// session; view tests give a fake.

#include "link/AcquisitionState.h"

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
};
