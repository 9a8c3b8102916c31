#include "AnalyzerSim.h"

#include <QDate>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <pty.h>
#include <sstream>
#include <termios.h>
#include <unistd.h>

namespace {

std::string PadId(const std::string& id) {
    std::string s = id.substr(0, 14);
    s.resize(14, ' ');
    return s;
}

} // namespace

std::string MakeRecord(const SimRecord& r) {
    char head[16];
    std::snprintf(head, sizeof head, "%02d%02d%02d%02d%02d%03d", r.year % 100, r.month, r.day,
                  r.hour, r.minute, r.value % 1000);
    std::string rec(head, 13);
    if (r.tilted)
        rec[10] = static_cast<char>(static_cast<unsigned char>(rec[10]) | 0x80);
    rec += PadId(r.pid);
    rec += PadId(r.opid);
    rec += "\r\n";
    return rec;
}

std::vector<SimRecord> GenerateRecords(int n, int tiltedEvery) {
    std::vector<SimRecord> out;
    const QDate last(2026, 12, 1);
    for (int i = 0; i < n; ++i) {
        SimRecord r;
        const QDate d = last.addDays(-(n - 1 - i) / 8); // eight results a day, oldest first
        r.year = d.year();
        r.month = d.month();
        r.day = d.day();
        r.hour = 8 + (i % 8);
        r.minute = (i * 7) % 60;
        r.value = 45 + (i * 13) % 90; // 4.5 % .. 13.4 %
        r.pid = "PAT" + std::to_string(100000 + i);
        r.opid = "OP" + std::to_string(1 + i % 3);
        r.tilted = tiltedEvery > 0 && (i + 1) % tiltedEvery == 0;
        out.push_back(r);
    }
    return out;
}

bool ReadRecordFile(const std::string& path, std::vector<SimRecord>& out, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> f;
        std::stringstream ss(line);
        std::string field;
        while (std::getline(ss, field, ','))
            f.push_back(field);
        SimRecord r;
        double value = 0;
        if (f.size() < 5 ||
            std::sscanf(f[0].c_str(), "%d-%d-%d", &r.year, &r.month, &r.day) != 3 ||
            std::sscanf(f[1].c_str(), "%d:%d", &r.hour, &r.minute) != 2 ||
            std::sscanf(f[2].c_str(), "%lf", &value) != 1) {
            error = path + ":" + std::to_string(lineNo) +
                    ": expected YYYY-MM-DD,HH:MM,value,PID,OPID[,tilted]";
            return false;
        }
        r.value = static_cast<int>(value * 10 + 0.5);
        r.pid = f[3];
        r.opid = f[4];
        r.tilted = f.size() > 5 && f[5] == "tilted";
        out.push_back(r);
    }
    return true;
}

AnalyzerSim::AnalyzerSim(SimOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)) {}

AnalyzerSim::~AnalyzerSim() { Vanish(); }

void AnalyzerSim::Vanish() {
    delete readNotifier_;
    readNotifier_ = nullptr;
    delete writeNotifier_;
    writeNotifier_ = nullptr;
    if (pacer_)
        pacer_->stop();
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
    master_ = slave_ = -1;
    out_.clear();
    outPos_ = 0;
}

bool AnalyzerSim::Start(std::string& error) {
    termios raw{};
    cfmakeraw(&raw);
    cfsetispeed(&raw, B9600);
    cfsetospeed(&raw, B9600);
    char name[256] = {};
    if (openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
        error = std::string("openpty failed: ") + std::strerror(errno);
        return false;
    }
    slavePath_ = name;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    readNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Read);
    connect(readNotifier_, &QSocketNotifier::activated, this, [this]() { OnReadable(); });
    writeNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Write);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_, &QSocketNotifier::activated, this, [this]() { OnWritable(); });
    pacer_ = new QTimer(this);
    pacer_->setInterval(10);
    connect(pacer_, &QTimer::timeout, this, [this]() { Pace(); });
    measure_ = new QTimer(this);
    measure_->setSingleShot(true);
    connect(measure_, &QTimer::timeout, this, [this]() { Queue("SF"); });
    unplug_ = new QTimer(this);
    unplug_->setSingleShot(true);
    connect(unplug_, &QTimer::timeout, this, [this]() { Vanish(); });
    return true;
}

void AnalyzerSim::OnReadable() {
    char buf[512];
    for (;;) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buf[i];
            received_.push_back({c, Now ? Now() : 0});
            if (c == '\x03') {
                const std::string cmd =
                    pending_.size() >= 2 ? pending_.substr(pending_.size() - 2) : pending_;
                pending_.clear();
                commands_.push_back(cmd);
                HandleCommand(cmd);
            } else {
                pending_.push_back(c);
            }
        }
    }
}

void AnalyzerSim::HandleCommand(const std::string& cmd) {
    if (OnCommand)
        OnCommand(cmd);
    if (options_.silent)
        return;
    if (cmd == "ST") {
        Queue(options_.handshakeU ? "SU" : "SA");
    } else if (cmd == "SH") {
        Queue(Block(), options_.stallAfter >= 0 ? static_cast<size_t>(options_.stallAfter)
                                                : std::string::npos);
    } else if (cmd == "SD") {
        options_.records.clear();
    } else if (cmd == "HC") {
        const std::string reply = options_.handshakeU ? "HU" : "HC";
        Queue(options_.noisyHandshake ? std::string("x") + reply[0] + "y" + reply[1] + "z"
                                      : reply);
        if (options_.measureAfterMs >= 0)
            measure_->start(options_.measureAfterMs);
        if (options_.unplugAfterMs >= 0 && !unplug_->isActive())
            unplug_->start(options_.unplugAfterMs);
    } else if (cmd == "SC") {
        if (options_.sfDuringTransfer && !sfSent_) {
            sfSent_ = true;
            Queue("SF"); // a second measurement finished just now
        } else if (!options_.records.empty()) {
            const size_t last = options_.records.size() - 1;
            Queue("SC" + OnWire(last));
        }
    }
}

std::string AnalyzerSim::Block() const {
    const size_t n = options_.records.size();
    char head[16];
    std::snprintf(head, sizeof head, "SH%04d\r\n", static_cast<int>(n % 10000));
    std::string block = options_.extraByte ? "X" : "";
    block += head;
    for (size_t i = 0; i < n; ++i)
        block += OnWire(i);
    return block;
}

std::string AnalyzerSim::OnWire(size_t i) const {
    std::string rec = MakeRecord(options_.records[i]);
    if (options_.nulBytes && i == 0) {
        for (size_t k = 13; k < 41; ++k)
            if (rec[k] == ' ')
                rec[k] = '\0';
    }
    if (options_.badTerminator && i == options_.records.size() - 1)
        rec[41] = 'X';
    return rec;
}

void AnalyzerSim::SendRaw(const std::string& bytes) { Queue(bytes); }

void AnalyzerSim::Queue(const std::string& bytes, size_t sendOnly) {
    if (master_ < 0)
        return;
    if (outPos_ >= out_.size()) {
        out_.clear();
        outPos_ = 0;
    }
    if (sendOnly != std::string::npos && outLimit_ == std::string::npos)
        outLimit_ = out_.size() + sendOnly;
    out_ += bytes;
    if (options_.baud > 0) {
        if (!pacer_->isActive())
            pacer_->start();
    } else {
        OnWritable();
    }
}

void AnalyzerSim::OnWritable() {
    const size_t end = std::min(out_.size(), outLimit_);
    while (outPos_ < end) {
        const ssize_t n = ::write(master_, out_.data() + outPos_, end - outPos_);
        if (n <= 0) {
            writeNotifier_->setEnabled(true); // the pseudo-terminal is full: wait for room
            return;
        }
        outPos_ += static_cast<size_t>(n);
        sent_ += static_cast<uint64_t>(n);
    }
    writeNotifier_->setEnabled(false);
    if (end < out_.size()) { // stalled: the rest never goes out
        out_.clear();
        outPos_ = 0;
        outLimit_ = std::string::npos;
    }
}

void AnalyzerSim::Pace() {
    // One tenth of the baud rate in bytes per second, in 10-ms slices.
    const size_t slice = std::max<size_t>(1, static_cast<size_t>(options_.baud) / 1000);
    const size_t end = std::min({out_.size(), outLimit_, outPos_ + slice});
    while (outPos_ < end) {
        const ssize_t n = ::write(master_, out_.data() + outPos_, end - outPos_);
        if (n <= 0)
            return;
        outPos_ += static_cast<size_t>(n);
        sent_ += static_cast<uint64_t>(n);
    }
    const size_t limit = std::min(out_.size(), outLimit_);
    if (outPos_ >= limit) {
        pacer_->stop();
        if (limit < out_.size()) {
            out_.clear();
            outPos_ = 0;
            outLimit_ = std::string::npos;
        }
    }
}
