#pragma once
// Turns the analyzer's bytes into events, one byte at a time, with constant work per byte.
//
// What a byte means depends on what the program is listening for:
//   Replies         automatic mode, waiting: the reply filter keeps the letters of the
//                   handshake ("H", "C", "U") or of the measurement notice ("S", "F");
//                   behind a complete handshake reply it keeps "S" and "F" for the notice
//   ManualHandshake manual mode before the request: the text is the handshake reply
//                   ("SU..." marks the second ID layout)
//   ManualBlock     manual mode after "SH": "S", one character, a four-digit count N, two
//                   characters, then N records; complete when exactly N x 43 follow the header
//   AutoBlock       automatic transfer after "SC": "SF"/"FS" is the measurement notice again,
//                   "SC" and 43 characters are the one record (handed over once)
// The received text and the byte count are the acquisition state's; the framer appends to them
// and reads nothing else. It never waits, writes or decides what happens next.

#include <string>

enum class Listen { Nothing, Replies, ManualHandshake, ManualBlock, AutoBlock };

// What the reply filter keeps (values as the acquisition state has always stored them).
enum ReplyFilterKind : int {
    kFilterNone = 0,
    kFilterHandshake = 10,   // "H", "C", "U"
    kFilterMeasurement = 11, // "S", "F"
    kFilterTransfer = 12,    // nothing
};

struct FramerEvent {
    enum Kind {
        None,
        HandshakeReply,      // replyU tells the layout
        Receiving,           // a byte of a block (status text)
        Blank,               // the header announced no records
        BlockComplete,       // count records, the text after the header
        MeasurementFinished, // "SF" or "FS" during an automatic transfer
        DataReply,           // "SC" and one record
    };
    Kind kind = None;
    bool replyU = false;
    bool headerNew = false; // the header's count arrived with this byte
    int count = -1;         // records the header announced, once it is in
    int records = -1;       // complete records received so far (manual block)
};

class CFramer {
public:
    static constexpr int kHeaderLength = 8;

    CFramer(std::string& rxText, int& rxCount, std::string& ackText, int recordLength = 43)
        : rx_(rxText), count_(rxCount), ack_(ackText), recordLength_(recordLength) {}

    // Empties the received text and the count (the reply letters stay).
    void Reset();
    // One byte. dataReplyWanted: an automatic request is outstanding (one hand-over per
    // request).
    FramerEvent Push(char c, Listen listen, int replyFilter, bool dataReplyWanted);

    // The record text of a complete block or data reply.
    std::string BlockText() const;
    int HeaderCount() const { return header_; }

private:
    FramerEvent ManualBlockByte();
    FramerEvent AutoBlockByte(bool dataReplyWanted);

    std::string& rx_;
    int& count_;
    std::string& ack_;
    int recordLength_;
    int header_ = -1;
    int records_ = 0;          // complete records of the block so far
    size_t nextRecordEnd_ = 0; // body length at which the next record is complete
    bool dataReply_ = false;
};
