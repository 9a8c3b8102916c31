#include "link/LinkStack.h"

#include "link/SerialComm.h"

LinkStack::LinkStack(std::unique_ptr<ISerialPort> p, std::unique_ptr<IEventClock> c)
    : port(std::move(p)), clock(std::move(c)) {}

std::unique_ptr<LinkStack> LinkStack::Real() {
    return std::make_unique<LinkStack>(std::make_unique<CSerialComm>(),
                                       std::make_unique<QtEventClock>());
}

LinkContext LinkStack::Context(IPrompt& prompt, IPortChooser& chooser, IFrameHost& frame,
                               CResultDatabases& db, AppSettings& settings,
                               DecoderFolders folders) {
    return LinkContext{*port,    *clock, prompt,     chooser,     frame,    db,
                       settings, ports,  processDlg, checkingDlg, progress, std::move(folders),
                       enumerate};
}
