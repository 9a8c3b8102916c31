#include "AnalyzerCore.h"

#include <QDate>
#include <cstdio>
#include <fstream>
#include <sstream>

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
        if (f.size() < 5 || std::sscanf(f[0].c_str(), "%d-%d-%d", &r.year, &r.month, &r.day) != 3 ||
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

void AnalyzerCore::Receive(const char* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const char c = bytes[i];
        received_.push_back({c, io_.now ? io_.now() : 0});
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

void AnalyzerCore::HandleCommand(const std::string& cmd) {
    if (OnCommand)
        OnCommand(cmd);
    if (options_.silent)
        return;
    if (cmd == "ST") {
        io_.send(options_.handshakeU ? "SU" : "SA", std::string::npos);
    } else if (cmd == "SH") {
        io_.send(Block(), options_.stallAfter >= 0 ? static_cast<size_t>(options_.stallAfter)
                                                   : std::string::npos);
    } else if (cmd == "SD") {
        options_.records.clear();
    } else if (cmd == "HC") {
        const std::string reply = options_.handshakeU ? "HU" : "HC";
        io_.send(options_.noisyHandshake ? std::string("x") + reply[0] + "y" + reply[1] + "z"
                                         : reply,
                 std::string::npos);
        if (options_.measureAfterMs >= 0) {
            const int generation = ++measureGeneration_;
            io_.after(options_.measureAfterMs, [this, generation]() {
                if (generation == measureGeneration_)
                    io_.send("SF", std::string::npos);
            });
        }
        if (options_.unplugAfterMs >= 0 && !unplugArmed_) {
            unplugArmed_ = true;
            io_.after(options_.unplugAfterMs, [this]() { io_.vanish(); });
        }
    } else if (cmd == "SC") {
        if (options_.sfDuringTransfer && !sfSent_) {
            sfSent_ = true;
            io_.send("SF", std::string::npos); // a second measurement finished just now
        } else if (!options_.records.empty()) {
            const size_t last = options_.records.size() - 1;
            io_.send("SC" + OnWire(last), std::string::npos);
        }
    }
}

std::string AnalyzerCore::Block() const {
    const size_t n = options_.records.size();
    char head[16];
    std::snprintf(head, sizeof head, "SH%04d\r\n", static_cast<int>(n % 10000));
    std::string block = options_.extraByte ? "X" : "";
    block += head;
    for (size_t i = 0; i < n; ++i)
        block += OnWire(i);
    return block;
}

std::string AnalyzerCore::OnWire(size_t i) const {
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
