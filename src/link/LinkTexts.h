#pragma once
// Every text the link shows the user: status texts, message boxes, questions. They are the
// program's own words and are kept exactly as they have always read (typos included).

namespace LinkText {
inline constexpr const char* kOpenFail =
    "Communication port connecting failure.\r\nPlease check the communication port again.";
inline constexpr const char* kConnected = " is connected.";
inline constexpr const char* kDownloadQuestion =
    "\r\nDo you want to download HbA1c results from analyzer?";
inline constexpr const char* kCheckingManual =
    "Checking if communication between analyzer and PC is established.(Manual)";
inline constexpr const char* kCheckingAuto =
    "Checking if communication between analyzer and PC is established.(Auto)";
inline constexpr const char* kTransferred = "Data is transferred from analyzer.";
inline constexpr const char* kBeingTransferred = "Data is being transferred from analyzer";
inline constexpr const char* kReceiving = "Receiving data from analyzer...";
inline constexpr const char* kReceivingA = "Receiving data from analyzer... ";
inline constexpr const char* kReceivingB = "Receiving data from analyzer......";
inline constexpr const char* kBlankBox = "DATA buffer of Trevanix is blank!!!";
inline constexpr const char* kBlankStatus = "DATA of Trevanix is blank!";
inline constexpr const char* kErrorCount = "Error count : %d";
inline constexpr const char* kGiveUpStall =
    "Receiving the data from the analyzer is not working."
    "\r\nPlease check the meter communication port and cable.";
inline constexpr const char* kGiveUpSilence =
    "Receiving the data from the analyzer is not working."
    "\r\nPlease check the PC communication port and cable.";
inline constexpr const char* kGiveUpLimit =
    "Receiving the data from the analyzer is not working."
    "\r\nPlease check the meter communication port and calbe.";
inline constexpr const char* kNoNewData = "No new data from analyzer.";
inline constexpr const char* kAutoInitiated = "automatic mode initiated";
inline constexpr const char* kOpenPort = "Open communication port.";
inline constexpr const char* kClose = "Close";
inline constexpr const char* kWaiting = "Waiting...";
inline constexpr const char* kChecking = "Checking....";
inline constexpr const char* kAwaiting = "Awaiting measurement data from connected analyzer";
inline constexpr const char* kMeasured = "Measurement is completed";
inline constexpr const char* kRemoveCartridge =
    "Caution >> Please remove the cartridge from analyzer\r\n(Close this message box)";
inline constexpr const char* kCartridgeRemoved =
    "Please make sure the cartridge is removed from analyzer\r\n(Close this message box)";
inline constexpr const char* kAutoTerminated = "Automatic mode was terminated.";
} // namespace LinkText
