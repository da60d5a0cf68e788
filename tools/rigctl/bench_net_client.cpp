// Load client for scripts/bench-net: N clients, each doing R round trips on
// its own connection, checking every reply. Prints raw figures; the script
// words them.
//   bench-net-client HOST PORT CLIENTS ROUNDS tune|vfo
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Totals {
    std::mutex lock;
    std::vector<double> latenciesMs;
    long done = 0, lost = 0, malformed = 0;
};

int Connect(const char* host, int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    ::inet_pton(AF_INET, host, &address.sin_addr);
    const timeval timeout{10, 0};  // a lost reply must not hang the run
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// One reply line; false on timeout or a closed connection.
bool ReadLine(int fd, std::string* pending, std::string* line) {
    for (;;) {
        const auto newline = pending->find('\n');
        if (newline != std::string::npos) {
            *line = pending->substr(0, newline);
            pending->erase(0, newline + 1);
            return true;
        }
        char buffer[512];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        pending->append(buffer, std::size_t(n));
    }
}

bool AllDigits(const std::string& text) {
    return !text.empty() && text.size() <= 10 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void RunClient(const char* host, int port, int index, int rounds, bool tune, Totals& totals) {
    std::vector<double> latencies;
    long malformed = 0, done = 0;
    const int fd = Connect(host, port);
    std::string pending, line;
    for (int r = 0; fd >= 0 && r < rounds; ++r) {
        std::string request, expect;
        if (!tune) {
            request = "v\n";
            expect = "VFOA";
        } else if (r % 2 == 0) {
            const unsigned khz = 100000u + unsigned(index) * 1000u + unsigned(r);
            request = "F " + std::to_string(khz) + "000.000000\n";
            expect = "RPRT 0";
        } else {
            request = "f\n";
        }
        const auto start = Clock::now();
        if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size())) break;
        if (!ReadLine(fd, &pending, &line)) break;
        latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        ++done;
        if (expect.empty() ? !AllDigits(line) : line != expect) ++malformed;
    }
    if (fd >= 0) {
        // Nothing may trail the last reply.
        ::send(fd, "q\n", 2, MSG_NOSIGNAL);
        if (!ReadLine(fd, &pending, &line) || line != "RPRT 0" || !pending.empty()) ++malformed;
        ::close(fd);
    }
    std::lock_guard<std::mutex> guard(totals.lock);
    totals.latenciesMs.insert(totals.latenciesMs.end(), latencies.begin(), latencies.end());
    totals.done += done;
    totals.lost += rounds - done;
    totals.malformed += malformed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: bench-net-client HOST PORT CLIENTS ROUNDS tune|vfo\n");
        return 2;
    }
    const char* host = argv[1];
    const int port = std::atoi(argv[2]);
    const int clients = std::atoi(argv[3]);
    const int rounds = std::atoi(argv[4]);
    const bool tune = std::strcmp(argv[5], "tune") == 0;

    Totals totals;
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i)
        threads.emplace_back(RunClient, host, port, i, rounds, tune, std::ref(totals));
    for (auto& t : threads) t.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    auto& l = totals.latenciesMs;
    std::sort(l.begin(), l.end());
    auto percentile = [&](double p) {
        return l.empty() ? 0.0 : l[std::min(l.size() - 1, std::size_t(p / 100.0 * double(l.size())))];
    };
    std::printf("round_trips %ld\nseconds %.3f\nrate %.1f\np50_ms %.2f\np99_ms %.2f\nmax_ms %.2f\n"
                "lost %ld\nmalformed %ld\n",
                totals.done, seconds, double(totals.done) / seconds, percentile(50), percentile(99),
                l.empty() ? 0.0 : l.back(), totals.lost, totals.malformed);
    return totals.lost == 0 && totals.malformed == 0 ? 0 : 1;
}
