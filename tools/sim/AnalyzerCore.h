#pragma once
// The simulated analyzer's protocol, apart from any transport: commands in, replies out, with
// the faults asked for. The pseudo-terminal simulator (AnalyzerSim) and the tests' fake line
// both drive it; they give it a way to send bytes, to run something later and to vanish.
//   "ST"+ETX  manual handshake  -> "SA" ("SU" with handshakeU)
//   "SH"+ETX  manual request    -> "S" "H" NNNN CR LF, then NNNN records of 43 bytes
//   "SE"+ETX  end / acknowledge -> nothing
//   "SD"+ETX  delete all        -> forgets every stored result
//   "HC"+ETX  automatic check   -> "HC" ("HU"), and "SF" measureAfterMs later when set
//   "SC"+ETX  automatic request -> "SC" and the newest record

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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
    bool silent = false;           // never answers
    long stallAfter = -1;          // sends only the first K bytes of a block
    bool extraByte = false;        // a stray byte on the line just before the block
    bool badTerminator = false;    // the last record's terminator is broken (also in "SC" replies)
    bool nulBytes = false;         // NUL bytes in the first record's ID padding
    int measureAfterMs = -1;       // automatic mode: "SF" this long after a handshake
    bool noisyHandshake = false;   // other letters around the automatic reply ("xHyCz")
    bool sfDuringTransfer = false; // answers the first "SC" with "SF" instead of the record
    int unplugAfterMs = -1;        // vanishes this long after the first automatic handshake
    int baud = 0;                  // 0: as fast as the line takes it
};

class AnalyzerCore {
public:
    struct Rx {
        char byte;
        int64_t at;
    };
    struct Io {
        // Bytes for the line; of these only sendOnly ever go out (a stalled block).
        std::function<void(const std::string& bytes, size_t sendOnly)> send;
        // Runs fn ms from now.
        std::function<void(int ms, std::function<void()> fn)> after;
        // The device goes away (unplugged).
        std::function<void()> vanish;
        // The time a byte is noted as received at.
        std::function<int64_t()> now;
    };

    AnalyzerCore(SimOptions& options, Io io) : options_(options), io_(std::move(io)) {}

    // Bytes the program wrote; complete commands are answered.
    void Receive(const char* bytes, size_t count);

    const std::vector<Rx>& Received() const { return received_; }
    const std::vector<std::string>& Commands() const { return commands_; }
    // Called on every complete command (the two letters).
    std::function<void(const std::string&)> OnCommand;

private:
    void HandleCommand(const std::string& cmd);
    std::string Block() const;
    // Record i as it goes on the line, with the faults asked for.
    std::string OnWire(size_t i) const;

    SimOptions& options_;
    Io io_;
    std::string pending_; // command bytes until ETX
    std::vector<Rx> received_;
    std::vector<std::string> commands_;
    bool sfSent_ = false;
    bool unplugArmed_ = false;
    int measureGeneration_ = 0; // a new handshake restarts the measurement's timer
};
