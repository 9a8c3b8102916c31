#pragma once
// The link's collaborators, built in one place: the serial port, the event clock, the port
// lists, the port enumeration and the status-dialog models. The main frame takes one (the real
// one unless a test gives a fake port and the manual clock), trevanix-cli and the benchmark
// build the real one, the link tests one with a fake port and clock (FakeLinkStack);
// Context() hands them to the session.

#include "link/AcquisitionController.h"

#include <functional>
#include <memory>
#include <vector>

struct LinkStack {
    LinkStack(std::unique_ptr<ISerialPort> port, std::unique_ptr<IEventClock> clock);
    LinkStack(const LinkStack&) = delete;
    LinkStack& operator=(const LinkStack&) = delete;

    // QSerialPort and the real clock; the system's ports and TREVANIX_EXTRA_PORTS.
    static std::unique_ptr<LinkStack> Real();

    // What the session needs, with the parts the host gives.
    LinkContext Context(IPrompt& prompt, IPortChooser& chooser, IFrameHost& frame,
                        CResultDatabases& db, AppSettings& settings, DecoderFolders folders);

    std::unique_ptr<ISerialPort> port;
    std::unique_ptr<IEventClock> clock;
    PortLists ports;
    ProcessDlgModel processDlg;
    CheckingDlgModel checkingDlg;
    ReceiveProgressModel progress;
    // Empty: the system's ports and TREVANIX_EXTRA_PORTS.
    std::function<std::vector<EnumeratedPort>()> enumerate;
};
