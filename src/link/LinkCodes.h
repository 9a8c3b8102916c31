#pragma once
// The numbers the link's control language has always used, by name. The values are fixed: the
// views, the decoder and the tests send and compare them, and the status bar shows AutoStep.

// Frame commands: every request that crosses the program (views, the settings dialog, the
// decoder, the session itself) is one of these codes.
enum FrameCommandCode : int {
    kCmdShowHome = 1,
    kCmdDownload = 2, // download view shown: start a manual download; else show it
    kCmdShowAllData = 3,
    kCmdShowGraph = 4,
    kCmdPortChoice = 10,
    kCmdRefreshView = 12,
    kCmdStartAutomatic = 30,
    kCmdOpenNextAdapter = 31,
    kCmdAdapterGone = 32,
    kCmdAutoHandshake = 33,
    kCmdAutoRequest = 34,
    kCmdAutoStored = 35,
    kCmdPresenceCheck = 36,
    kCmdAcknowledge = 37,
    kCmdManual = 50,
    kCmdManualHandshake = 51,
    kCmdManualRequest = 52,
    kCmdEndTransfer = 53,
    kCmdClosePort = 54,
    kCmdDeleteAll = 60,
    kCmdPurge = 65,
    kCmdStored = 500,
};

// LinkPhase: what the line is listening for.
enum LinkPhaseValue : int {
    kPhaseNone = -1,
    kPhaseManual = 0,
    kPhaseAutoWaiting = 1, // automatic mode: searching, handshaking, waiting
    kPhaseAutoTransfer = 2,
};

// ManualPhase; views treat any value >= 0 as busy.
enum ManualPhaseValue : int {
    kManualIdle = -1,
    kManualScanned = 0,
    kManualChoosing = 1,
    kManualHandshakeSent = 2,
    kManualRequestSent = 3,
};

// AutoStep: the steps of the automatic sequence.
enum AutoStepValue : int {
    kStepStopped = -1,
    kStepStart = 0,
    kStepRescan = 2,
    kStepScanWait = 3,
    kStepFirstOpen = 4,
    kStepOpenNext = 5,
    kStepSearch = 6,
    kStepSearchWait = 7,
    kStepPrepare = 10,
    kStepHandshake = 11,
    kStepHandshakeReply = 20,
    kStepAwaitMeasurement = 25,
    kStepRequestAgain = 27,
    kStepRequest = 30,
    kStepTransfer = 100,
    kStepRemoveCartridge = 110,
    kStepCartridgeRemoved = 115,
    kStepPromptsDone = 120,
    kStepTerminate = 125,
    kStepEnd = 130,
};

// AutoMode: manual downloads, or the automatic cycle.
enum AutoModeValue : int {
    kModeManual = 0,
    kModeAutomatic = 1,
};

// Status bar panes the link writes.
enum StatusPane : int {
    kPanePort = 1,
    kPaneClock = 2,
    kPaneMode = 3,
    kPaneCount = 4,
    kPaneScanCount = 5,
    kPanePortIndex = 6,
};
