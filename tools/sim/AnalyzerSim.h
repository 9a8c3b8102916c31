#pragma once
// A simulated analyzer on a pseudo-terminal. The program opens the slave side as it would open
// the USB-serial adapter; the simulator answers on the master side:
//   "ST"+ETX  manual handshake  -> "SA" ("SU" with HandshakeU)
//   "SH"+ETX  manual request    -> "S" "H" NNNN CR LF, then NNNN records of 43 bytes
//   "SE"+ETX  end / acknowledge -> nothing
//   "SD"+ETX  delete all        -> forgets every stored result
//   "HC"+ETX  automatic check   -> "HC" ("HU"), and "SF" MeasureAfterMs later when set
//   "SC"+ETX  automatic request -> "SC" and the newest record
// Faults on request make every failure path of the program reachable.

#include <QObject>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QSocketNotifier;
class QTimer;

struct SimRecord {
    int year = 2026, month = 1, day = 1, hour = 8, minute = 0;
    int value = 65; // tenths of a percent
    std::string pid, opid;
    bool tilted = false;
};

// The 43 bytes the analyzer sends for one result.
std::string MakeRecord(const SimRecord& r);
// n results with distinct patient IDs, spread over the days before 2026-12-01.
std::vector<SimRecord> GenerateRecords(int n, int tiltedEvery);
// Reads "YYYY-MM-DD,HH:MM,6.5,PID,OPID[,tilted]" lines ('#' starts a comment). False and a
// message on a line it cannot read.
bool ReadRecordFile(const std::string& path, std::vector<SimRecord>& out, std::string& error);

struct SimOptions {
    std::vector<SimRecord> records;
    bool handshakeU = false;
    bool silent = false;        // never answers
    long stallAfter = -1;       // sends only the first K bytes of a block
    bool extraByte = false;     // a stray byte on the line just before the block
    bool badTerminator = false; // the last record's terminator is broken (also in "SC" replies)
    bool nulBytes = false;      // NUL bytes in the first record's ID padding
    int measureAfterMs = -1;    // automatic mode: "SF" this long after a handshake
    bool noisyHandshake = false; // other letters around the automatic reply ("xHyCz")
    bool sfDuringTransfer = false; // answers the first "SC" with "SF" instead of the record
    int unplugAfterMs = -1;     // vanishes this long after the first automatic handshake
    int baud = 0;               // 0: as fast as the pseudo-terminal takes it
};

class AnalyzerSim : public QObject {
public:
    explicit AnalyzerSim(SimOptions options, QObject* parent = nullptr);
    ~AnalyzerSim() override;

    // Opens the pseudo-terminal. The slave stays open here too, so the line survives the
    // program closing and reopening it.
    bool Start(std::string& error);
    const std::string& SlavePath() const { return slavePath_; }

    SimOptions& Options() { return options_; }
    // Every byte received, with the time the owner's clock gave when it arrived.
    struct Rx {
        char byte;
        int64_t at;
    };
    std::function<int64_t()> Now;
    const std::vector<Rx>& Received() const { return received_; }
    std::vector<std::string> Commands() const { return commands_; }
    uint64_t BytesSent() const { return sent_; }
    // Nothing left to send (a stalled block counts as sent).
    bool Idle() const { return outPos_ >= out_.size(); }
    // Sends raw bytes now (tests).
    void SendRaw(const std::string& bytes);
    // As if the adapter were unplugged: the device goes away, open or not.
    void Vanish();
    bool Vanished() const { return master_ < 0; }
    // Called on every complete command (the two letters).
    std::function<void(const std::string&)> OnCommand;

private:
    void OnReadable();
    void OnWritable();
    void Pace();
    void HandleCommand(const std::string& cmd);
    std::string Block() const;
    // Record i as it goes on the line, with the faults asked for.
    std::string OnWire(size_t i) const;
    // sendOnly: of these bytes, only so many ever go out (a stalled block).
    void Queue(const std::string& bytes, size_t sendOnly = std::string::npos);

    SimOptions options_;
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    QSocketNotifier* readNotifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
    QTimer* pacer_ = nullptr;
    QTimer* measure_ = nullptr;
    QTimer* unplug_ = nullptr;
    bool sfSent_ = false;
    std::string out_;
    size_t outPos_ = 0;
    size_t outLimit_ = std::string::npos; // stall: bytes of out_ that will ever be sent
    std::string pending_;                 // command bytes until ETX
    std::vector<Rx> received_;
    std::vector<std::string> commands_;
    uint64_t sent_ = 0;
};
