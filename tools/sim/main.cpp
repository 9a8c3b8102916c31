// analyzer-sim: a simulated Trevanix analyzer on a pseudo-terminal.
//
//   analyzer-sim [--records N | --file PATH] [--link PATH] [faults...]
//
// It prints the device path to open, then answers until it is stopped (Ctrl+C). With --link the
// path is also given as a symbolic link, so scripts can name a fixed port.

#include "AnalyzerSim.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

void Usage() {
    std::fprintf(stderr,
                 "usage: analyzer-sim [options]\n"
                 "  --records N         generate N results (default 3; 0 = empty analyzer)\n"
                 "  --file PATH         results from PATH: YYYY-MM-DD,HH:MM,6.5,PID,OPID[,tilted]\n"
                 "  --link PATH         also make PATH a symbolic link to the device\n"
                 "  --baud N            send at N baud (default: as fast as possible)\n"
                 "  --measure-after MS  automatic mode: report a finished measurement MS after\n"
                 "                      each handshake (default 5000)\n"
                 "faults:\n"
                 "  --handshake-u       answer the handshakes with \"SU\" / \"HU\"\n"
                 "  --tilted N          every N-th generated result was measured tilted\n"
                 "  --silent            never answer\n"
                 "  --stall-after K     send only the first K bytes of the data block\n"
                 "  --extra-byte        a stray byte on the line before the data block\n"
                 "  --bad-terminator    the last record's terminator is broken\n"
                 "  --nul-bytes         NUL bytes in the first record's ID padding\n"
                 "  --noisy-handshake   other letters around the automatic reply (\"xHyCz\")\n"
                 "  --sf-during-transfer  answer the first automatic request with \"SF\" again\n"
                 "  --unplug-after MS   vanish MS after the first automatic handshake\n");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    SimOptions o;
    o.measureAfterMs = 5000;
    int records = 3;
    int tiltedEvery = 0;
    std::string file, link;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "analyzer-sim: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--records")
            records = std::atoi(next());
        else if (a == "--file")
            file = next();
        else if (a == "--link")
            link = next();
        else if (a == "--baud")
            o.baud = std::atoi(next());
        else if (a == "--measure-after")
            o.measureAfterMs = std::atoi(next());
        else if (a == "--handshake-u")
            o.handshakeU = true;
        else if (a == "--tilted")
            tiltedEvery = std::atoi(next());
        else if (a == "--silent")
            o.silent = true;
        else if (a == "--stall-after")
            o.stallAfter = std::atol(next());
        else if (a == "--extra-byte")
            o.extraByte = true;
        else if (a == "--bad-terminator")
            o.badTerminator = true;
        else if (a == "--nul-bytes")
            o.nulBytes = true;
        else if (a == "--noisy-handshake")
            o.noisyHandshake = true;
        else if (a == "--sf-during-transfer")
            o.sfDuringTransfer = true;
        else if (a == "--unplug-after")
            o.unplugAfterMs = std::atoi(next());
        else if (a == "--help" || a == "-h") {
            Usage();
            return 0;
        } else {
            std::fprintf(stderr, "analyzer-sim: unknown option %s\n", a.c_str());
            Usage();
            return 2;
        }
    }
    if (!file.empty()) {
        std::string error;
        if (!ReadRecordFile(file, o.records, error)) {
            std::fprintf(stderr, "analyzer-sim: %s\n", error.c_str());
            return 2;
        }
    } else {
        if (records < 0 || records > 9999) {
            std::fprintf(stderr, "analyzer-sim: --records takes 0 to 9999\n");
            return 2;
        }
        o.records = GenerateRecords(records, tiltedEvery);
    }
    const size_t count = o.records.size();
    AnalyzerSim sim(std::move(o));
    std::string error;
    if (!sim.Start(error)) {
        std::fprintf(stderr, "analyzer-sim: %s\n", error.c_str());
        return 1;
    }
    if (!link.empty()) {
        ::unlink(link.c_str());
        if (::symlink(sim.SlavePath().c_str(), link.c_str()) != 0) {
            std::fprintf(stderr, "analyzer-sim: cannot link %s: %s\n", link.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }
    sim.OnCommand = [](const std::string& cmd) {
        std::fprintf(stderr, "analyzer-sim: received %s\n", cmd.c_str());
    };
    std::printf("%s\n", link.empty() ? sim.SlavePath().c_str() : link.c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "analyzer-sim: %zu results on %s\n", count, sim.SlavePath().c_str());

    // Ctrl+C and kill end the event loop, so the link is removed.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return 1;
    QSocketNotifier sn(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&sn, &QSocketNotifier::activated, &app, []() { QCoreApplication::quit(); });
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    const int rc = app.exec();
    if (!link.empty())
        ::unlink(link.c_str());
    return rc;
}
