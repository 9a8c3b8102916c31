#pragma once
// Turns one block of 43-byte analyzer records into stored results.
//
// Record layout (ASCII):
//   0  6  date YYMMDD (year 2000 + YY)
//   6  4  time HHMM
//  10  3  result, tenths of a percent; bit 7 of byte 10 is the tilt flag
//  13 14  PID, 27 14 OPID
//  41  2  terminator: each byte CR or LF
//
// A run dumps the raw block, checks every terminator (one bad record rejects the block before
// anything is stored), reports the block accepted (the session ends the transfer and closes the
// port), stores each record the main table does not hold yet in both tables, and reports the
// rows stored. The store is one transaction over both database files: after a crash,
// a full disk or a database held by another program, both tables hold the whole block or
// nothing of it, and a failed store is reported (no 500) instead of being counted. It runs on the
// worker thread: the table work holds both tables' locks, and no lock is held while the frame is
// notified, so the frame may use the tables when it handles a code.

#include <QString>
#include <string>

class CResultDatabases;

inline constexpr int kReplyRecordLength = 43;
inline constexpr const char* kCheckingText = "Received data is checked.";
inline constexpr const char* kStoringText = "Received data is acknowledged.";
inline constexpr const char* kCompleteText =
    "Complete the Data Inspection \r\n(Close the message box)";
inline constexpr const char* kCrcFailText = "Error. cyclic redundancy check : Fail.";
inline constexpr const char* kTiltedText = "Analyzer Tilted";
inline constexpr const char* kDumpFile = "hr_lowdata.dat";
inline constexpr const char* kStoreFailText = "The downloaded results could not be stored: ";
inline constexpr const char* kStoreFailStatus = "The downloaded results could not be stored.";

// What the decoder tells the rest of the program, by intent. The download session turns it into
// the protocol's pauses, commands and messages (the end command, closing the port, completion),
// in the order the analyzer and the user have always seen them. Progress and status texts go
// straight to the dialog models, which any thread may write.
class IDownloadNotifier {
public:
    virtual ~IDownloadNotifier() = default;
    virtual void ShowStatus(const std::string& text) = 0;
    virtual void ReportProgress(int percent) = 0;
    virtual void HideProgress() = 0;
    // Every record passed its terminator check: the transfer can be ended on the line.
    virtual void BlockAccepted() = 0;
    // A record's terminator was broken: nothing is stored, the download list is empty.
    virtual void BlockRejected(bool autoMode) = 0;
    // The new records are stored and committed in both tables.
    virtual void RowsStored(int count, bool autoMode) = 0;
    // The database refused the store: neither table changed; why is in plain words.
    virtual void StoreFailed(const std::string& why, bool autoMode) = 0;
    // After the store: the raw dump could not be written whole; the text says why.
    virtual void DumpIncomplete(const std::string& text) = 0;
};

struct DownloadBlock {
    std::string BlockText; // the records only, header removed
    int BlockRecordCount = 0;
    bool HandshakeReplyU = false;
    bool AutoMode = false;
    int PidDigit = 13; // IDs keep the first digit setting + 1 characters
    int OpidDigit = 13;
};

struct DecodedRecord {
    std::string DATE, TIME, HbA1c_VALUE, PID, OPID, EQ_TYPE;
    int DATE_YEAR = 0, DATE_MONTH = 0, DATE_DAY = 0, TIME_HOUR = 0, TIME_MIN = 0;
};

// Checks the terminator of record i of the text (bytes past the end read as zeros).
bool RecordTerminatorOk(const std::string& text, int i);
// Decodes one checked record (43 bytes from rec).
DecodedRecord DecodeRecord(const char* rec, bool handshakeReplyU, int pidDigit, int opidDigit);
// The ID trimming rule, on the 14 ID characters.
std::string TrimId(const std::string& id14, bool handshakeReplyU, int digit);

struct DecoderFolders {
    QString baseFolder; // hr_lowdata.dat goes here
    QString dataFolder; // made sure to exist, for the CSV export of the download list
};

// What ProcessDownloadBlock returns when nothing was stored.
enum : int {
    kBlockRejected = -1, // a record's terminator was broken: the block was refused
    kStoreFailed = -2,   // the database refused the store: neither table changed
};

// The message for a store that failed, with the reason in plain words.
// The message when the raw dump could not be written whole.
std::string DumpFailureText(const std::string& why, bool stored);
std::string StoreFailureText(const std::string& why);

// One run. Returns the number of records stored and committed, or one of the codes above.
int ProcessDownloadBlock(const DownloadBlock& block, CResultDatabases& db,
                         const DecoderFolders& folders, IDownloadNotifier& notify);
