#include "server.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <thread>

#include "device_receiver.h"
#include "protocol.h"
#include "status_log.h"

namespace zelkor::rigctl {
namespace {

// Beyond this, new connections are closed at once rather than given a thread.
constexpr std::size_t kMaxClients = 64;

std::string FormatAddress(const sockaddr* address, socklen_t length) {
    char host[NI_MAXHOST] = "?";
    char port[NI_MAXSERV] = "?";
    getnameinfo(address, length, host, sizeof host, port, sizeof port,
                NI_NUMERICHOST | NI_NUMERICSERV);
    if (address->sa_family == AF_INET6) return std::string("[") + host + "]:" + port;
    return std::string(host) + ":" + port;
}

bool SendAll(int fd, const std::string& text) {
    std::size_t sent = 0;
    while (sent < text.size()) {
        // MSG_NOSIGNAL: a client gone mid-reply is an error here, not SIGPIPE.
        const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += std::size_t(n);
    }
    return true;
}

// A client's status-log lines, one printed line each, behind its address.
class PrefixedLog final : public LogView {
public:
    using Printer = std::function<void(const std::string&)>;
    PrefixedLog(std::string prefix, Printer print) : prefix_(std::move(prefix)), print_(std::move(print)) {}
    void Clear() override {}
    void Append(const std::wstring& text) override {
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find(L"\r\n", start);
            if (end == std::wstring::npos) end = text.size();
            if (end > start) {
                std::string line = prefix_ + " ";
                for (std::size_t i = start; i < end; ++i)
                    line += text[i] < 0x80 ? char(text[i]) : '?';
                print_(line);
            }
            start = end + 2;
        }
    }

private:
    std::string prefix_;
    Printer print_;
};

}  // namespace

struct Server::Connection {
    int fd = -1;  // -1 once closed; guarded by connectionsLock_
    std::string peer;
    std::thread thread;
    std::atomic<bool> done{false};
};

Server::Server(ServerOptions options) : options_(std::move(options)) {
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
}

Server::~Server() {
    Stop();
    if (listenFd_ >= 0) ::close(listenFd_);
    for (auto& connection : connections_)
        if (connection->thread.joinable()) connection->thread.join();
    for (int fd : wake_)
        if (fd >= 0) ::close(fd);
}

bool Server::Listen(std::string* error) {
    const std::string where = options_.host + ":" + std::to_string(options_.port);
    if (wake_[0] < 0) {
        *error = std::string("cannot create a pipe: ") + std::strerror(errno);
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int lookup = ::getaddrinfo(options_.host.c_str(), std::to_string(options_.port).c_str(),
                                     &hints, &found);
    if (lookup != 0) {
        *error = "cannot listen on " + where + ": " + gai_strerror(lookup);
        return false;
    }
    int lastError = 0;
    for (addrinfo* a = found; a && listenFd_ < 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd, 64) == 0) {
            listenFd_ = fd;
        } else {
            lastError = errno;
            ::close(fd);
        }
    }
    ::freeaddrinfo(found);
    if (listenFd_ < 0) {
        *error = "cannot listen on " + where + ": " + std::strerror(lastError);
        return false;
    }
    return true;
}

std::string Server::Address() const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (listenFd_ < 0 || ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return "";
    return FormatAddress(reinterpret_cast<sockaddr*>(&address), length);
}

void Server::Stop() {
    if (wake_[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_[1], &byte, 1);
    }
}

void Server::Print(const std::string& line) {
    if (!options_.log) return;
    std::lock_guard<std::mutex> guard(printLock_);
    std::fprintf(options_.log, "%s\n", line.c_str());
    std::fflush(options_.log);
}

void Server::ReapFinished() {
    for (auto it = connections_.begin(); it != connections_.end();) {
        if ((*it)->done) {
            (*it)->thread.join();
            it = connections_.erase(it);
        } else {
            ++it;
        }
    }
}

void Server::Run() {
    if (listenFd_ < 0) return;
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        // The timeout only reaps finished connections while nobody connects.
        const int ready = ::poll(fds, 2, 1000);
        if (ready < 0 && errno != EINTR) break;
        if (fds[1].revents) break;
        std::lock_guard<std::mutex> guard(connectionsLock_);
        ReapFinished();
        if (ready <= 0 || !(fds[0].revents & POLLIN)) continue;

        sockaddr_storage address{};
        socklen_t length = sizeof address;
        const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC);
        if (fd < 0) {
            // Out of descriptors: let the backlog wait rather than spin.
            if (errno == EMFILE || errno == ENFILE)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        if (connections_.size() >= kMaxClients) {
            ::close(fd);
            continue;
        }
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        auto connection = std::make_unique<Connection>();
        connection->fd = fd;
        connection->peer = FormatAddress(reinterpret_cast<sockaddr*>(&address), length);
        Connection& c = *connection;
        connections_.push_back(std::move(connection));
        c.thread = std::thread([this, &c] { Serve(c); });
    }

    ::close(listenFd_);
    listenFd_ = -1;
    // Wakes every connection blocked in recv or send (a client that stopped
    // reading included), then waits for each to finish its transaction.
    std::list<std::unique_ptr<Connection>> remaining;
    {
        std::lock_guard<std::mutex> guard(connectionsLock_);
        for (auto& connection : connections_)
            if (connection->fd >= 0) ::shutdown(connection->fd, SHUT_RDWR);
        remaining.swap(connections_);
    }
    for (auto& connection : remaining) connection->thread.join();
}

void Server::Serve(Connection& connection) {
    PrefixedLog view(connection.peer, [this](const std::string& line) { Print(line); });
    DeviceReceiver receiver(deviceLock_, options_.log ? &view : nullptr);
    Session session(receiver);
    Print(connection.peer + " connected");
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(connection.fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        std::string replies;
        const bool open = FeedAndRun(session, buffer, std::size_t(n), &replies);
        if (!SendAll(connection.fd, replies) || !open) break;
    }
    Print(connection.peer + " disconnected");
    std::lock_guard<std::mutex> guard(connectionsLock_);
    ::close(connection.fd);
    connection.fd = -1;
    connection.done = true;
}

namespace {

std::atomic<Server*> g_serving{nullptr};

void OnStopSignal(int) {
    if (Server* server = g_serving.load()) server->Stop();
}

}  // namespace

int Serve(const ServerOptions& options) {
    std::signal(SIGPIPE, SIG_IGN);
    Server server(options);
    std::string error;
    if (!server.Listen(&error)) {
        std::fprintf(stderr, "zelkor-ctl: %s\n", error.c_str());
        return 1;
    }
    g_serving = &server;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    struct sigaction oldInt {}, oldTerm {};
    ::sigaction(SIGINT, &action, &oldInt);
    ::sigaction(SIGTERM, &action, &oldTerm);
    std::fprintf(stderr, "zelkor-ctl: serving on %s\n", server.Address().c_str());
    std::fflush(stderr);
    server.Run();
    ::sigaction(SIGINT, &oldInt, nullptr);
    ::sigaction(SIGTERM, &oldTerm, nullptr);
    g_serving = nullptr;
    return 0;
}

}  // namespace zelkor::rigctl
