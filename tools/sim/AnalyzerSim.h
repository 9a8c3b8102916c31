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

#include "AnalyzerCore.h"

#include <QElapsedTimer>
#include <QObject>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QSocketNotifier;
class QTimer;

class AnalyzerSim : public QObject {
public:
    explicit AnalyzerSim(SimOptions options, QObject* parent = nullptr);

    // How many bytes a line at `baud` carries in `elapsedNs` nanoseconds: ten bits a byte (a
    // start bit, eight data bits, a stop bit), so 960 bytes a second at 9600 baud.
    static uint64_t LineBytesDue(int64_t elapsedNs, int baud);
    ~AnalyzerSim() override;

    // Opens the pseudo-terminal. The slave stays open here too, so the line survives the
    // program closing and reopening it.
    bool Start(std::string& error);
    const std::string& SlavePath() const { return slavePath_; }

    SimOptions& Options() { return options_; }
    // Every byte received, with the time the owner's clock gave when it arrived.
    using Rx = AnalyzerCore::Rx;
    std::function<int64_t()> Now;
    const std::vector<Rx>& Received() const { return core_.Received(); }
    std::vector<std::string> Commands() const { return core_.Commands(); }
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
    // sendOnly: of these bytes, only so many ever go out (a stalled block).
    void Queue(const std::string& bytes, size_t sendOnly = std::string::npos);

    SimOptions options_;
    AnalyzerCore core_;
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    QSocketNotifier* readNotifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
    QTimer* pacer_ = nullptr;
    // The pacer sends what the line rate allows since it started, so that the timer's own
    // lateness costs nothing over a run.
    QElapsedTimer paceClock_;
    uint64_t pacedBytes_ = 0;
    std::string out_;
    size_t outPos_ = 0;
    size_t outLimit_ = std::string::npos; // stall: bytes of out_ that will ever be sent
    uint64_t sent_ = 0;
};
