// Sending the lab outbox: 10,000 queued messages to a local MLLP receiver that answers each at
// once, against a baseline that writes the same frames over a plain socket to the same receiver
// and reads each answer (the wire and the receiver's own cost). Usage: bench_lab [messages]

#include "lab/LabOutbox.h"
#include "lab/LabSender.h"
#include "storage/Databases.h"

#include <QTemporaryDir>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// A receiver on loopback: reads MLLP frames and answers each at once with AA and its control ID.
class Receiver {
public:
    Receiver() {
        listen_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        ::listen(listen_, 8);
        thread_ = std::thread([this]() {
            while (true) {
                const int c = accept(listen_, nullptr, nullptr);
                if (c < 0)
                    return;
                Serve(c);
                close(c);
            }
        });
    }
    ~Receiver() {
        shutdown(listen_, SHUT_RDWR);
        close(listen_);
        thread_.join();
    }
    int port = 0;
    std::atomic<int> answered{0};

private:
    void Serve(int c) {
        const int one = 1;
        setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::string buffer, message;
        char chunk[65536];
        while (true) {
            const ssize_t n = read(c, chunk, sizeof chunk);
            if (n <= 0)
                return;
            buffer.append(chunk, static_cast<size_t>(n));
            while (TakeMllpFrame(buffer, message)) {
                // MSH-10: the tenth field of the first segment.
                size_t at = 0;
                for (int f = 0; f < 9 && at != std::string::npos; ++f)
                    at = message.find('|', at + 1);
                const std::string id = message.substr(at + 1, message.find('|', at + 1) - at - 1);
                const std::string ack =
                    MllpFrame("MSH|^~\\&|LIS||TREVANIX||20261209||ACK^R01^ACK|A" + id +
                              "|P|2.5.1\rMSA|AA|" + id + "\r");
                if (write(c, ack.data(), ack.size()) < 0)
                    return;
                ++answered;
            }
        }
    }
    int listen_ = -1;
    std::thread thread_;
};

} // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    QTemporaryDir dir;
    CResultDatabases db(dir.path());
    db.OpenDatabases();
    LabConfig config;
    config.enabled = true;
    config.host = "127.0.0.1";
    config.idAuthority = "CLINIC";
    Receiver receiver;
    config.port = receiver.port;

    std::vector<std::string> frames;
    {
        auto lock = db.ResultTable.Lock();
        CDbTransaction tx(db.ResultTable);
        for (int i = 0; i < count; ++i) {
            char pid[16];
            std::snprintf(pid, sizeof pid, "P%07d", i);
            const ResultImage r{"20240105", "0930", "065", pid, "77", " ", "", "19000101", ""};
            QueueLabMessage(db.ResultTable, config, 1, r, LabStatus::Final);
            frames.push_back(MllpFrame(BuildResultMessage(
                config, r, LabStatus::Final, 1, NewControlId(), QDateTime::currentDateTime())));
        }
        tx.Commit();
    }

    // Baseline: the same frames over one plain socket, each answer read before the next.
    auto b0 = Clock::now();
    {
        const int s = socket(AF_INET, SOCK_STREAM, 0);
        const int one = 1;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(receiver.port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        std::string buffer, reply;
        char chunk[4096];
        for (const std::string& f : frames) {
            if (write(s, f.data(), f.size()) < 0)
                break;
            while (!TakeMllpFrame(buffer, reply)) {
                const ssize_t n = read(s, chunk, sizeof chunk);
                if (n <= 0)
                    break;
                buffer.append(chunk, static_cast<size_t>(n));
            }
        }
        close(s);
    }
    const double rawMs = Ms(b0, Clock::now());

    CLabSender sender(db.ResultTable, config);
    auto s0 = Clock::now();
    const SendPass pass = sender.Pass(false);
    const double sendMs = Ms(s0, Clock::now());

    std::printf("%d messages to a local MLLP receiver answering at once\n", count);
    std::printf("  raw socket, one frame and its answer at a time : %8.1f ms  (%.0f messages/s)\n",
                rawMs, count / rawMs * 1000.0);
    std::printf("  CLabSender::Pass (delivered %d)               : %8.1f ms  (%.0f messages/s, "
                "target >= 500/s)\n",
                pass.delivered, sendMs, count / sendMs * 1000.0);
    return pass.delivered == count ? 0 : 1;
}
