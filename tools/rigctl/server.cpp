#include "server.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "protocol.h"
#include "status_log.h"

namespace zelkor::rigctl {
namespace {

// A client that stops reading holds at most this much of its replies here;
// its commands wait until it reads.
constexpr std::size_t kOutputLimit = 64 * 1024;
// Bytes taken from a socket at once; the session holds no more than one
// such chunk of commands not yet run.
constexpr std::size_t kReadChunk = 4096;

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

std::string Describe(std::chrono::milliseconds span) {
    const auto ms = span.count();
    return ms % 1000 ? std::to_string(ms) + " ms" : std::to_string(ms / 1000) + " s";
}

}  // namespace

struct Server::Connection : std::enable_shared_from_this<Connection> {
    Connection(net::Socket s, std::string who, TurnLock& lock, PrefixedLog::Printer print, bool logging)
        : socket(std::move(s)),
          peer(std::move(who)),
          view(peer, std::move(print)),
          receiver(lock, logging ? &view : nullptr),
          session(receiver) {}

    net::Socket socket;
    std::string peer;
    PrefixedLog view;
    DeviceReceiver receiver;
    Session session;
    std::string output;       // replies not yet sent
    std::string workReply;    // the receiver thread's reply, while busy
    bool busy = false;        // the receiver thread owns the session
    bool ended = false;       // the client sent all it will send
    bool closed = false;
    Clock::time_point lastActive = Clock::now();

    bool WantsToRead() const {
        return !ended && !busy && !session.Closed() && !session.HasCommand() &&
               output.size() < kOutputLimit;
    }
};

Server::Server(ServerOptions options) : options_(std::move(options)) {}

Server::~Server() = default;

bool Server::Listen(std::string* error) {
    if (!wakerOpen_) wakerOpen_ = waker_.Open(error);
    return wakerOpen_ && net::Listen(options_.host, options_.port, &listener_, error);
}

std::string Server::Address() const { return net::LocalAddress(listener_); }

void Server::Stop() {
    stopping_ = true;
    if (wakerOpen_) waker_.Notify();
}

void Server::Print(const std::string& line) {
    if (!options_.log) return;
    std::lock_guard<std::mutex> guard(printLock_);
    std::fprintf(options_.log, "%s\n", line.c_str());
    std::fflush(options_.log);
}

void Server::Run() {
    if (!listener_.Valid()) return;
    std::thread worker([this] { Work(); });
    std::vector<net::PollFd> fds;
    std::vector<ConnectionPtr> polled;
    while (!stopping_) {
        const auto now = Clock::now();
        CloseIdle(now);
        fds.clear();
        polled.clear();
        fds.push_back({waker_.Get(), POLLIN, 0});
        // Out of descriptors, the listener rests rather than wake the loop
        // for a connection it cannot take.
        fds.push_back({listener_.Get(), short(now < acceptPausedUntil_ ? 0 : POLLIN), 0});
        for (const ConnectionPtr& c : connections_) {
            const short events = short((c->WantsToRead() ? POLLIN : 0) | (c->output.empty() ? 0 : POLLOUT));
#ifdef _WIN32
            // Windows reports a client's half close on every wait: only
            // sockets with something to do are watched.
            if (!events) continue;
#else
            // Still watched, so that a client's reset closes it at once.
            if (!events && c->ended) continue;
#endif
            fds.push_back({c->socket.Get(), events, 0});
            polled.push_back(c);
        }
        const int ready = net::Poll(fds.data(), fds.size(), PollTimeoutMs(now));
        if (stopping_) break;
        if (ready <= 0) continue;
        if (fds[0].revents) {
            waker_.Drain();
            TakeFinished();
        }
        for (std::size_t i = 0; i < polled.size(); ++i) {
            const short revents = fds[i + 2].revents;
            Connection& c = *polled[i];
            if (c.closed || !revents) continue;
            if (revents & (POLLERR | POLLNVAL)) {
                Close(c, "disconnected");
                continue;
            }
            if (revents & (POLLIN | POLLHUP)) {
                if (c.WantsToRead()) {
                    ReadFrom(c);
                } else if (revents & POLLHUP) {
                    Close(c, "disconnected");
                    continue;
                }
            }
            if (!c.closed && (revents & POLLOUT)) Flush(c);
            if (!c.closed) Advance(c);
        }
        Sweep();
        if (fds[1].revents) AcceptWaiting();
    }

    {
        std::lock_guard<std::mutex> guard(workLock_);
        workerStop_ = true;
        waiting_.clear();
    }
    workReady_.notify_all();
    // Waits for the one receiver command under way, if any.
    worker.join();
    listener_.Close();
    for (const ConnectionPtr& c : connections_) Close(*c, "disconnected");
    connections_.clear();
    finished_.clear();
}

int Server::PollTimeoutMs(Clock::time_point now) const {
    // Finished receiver work arrives through the waker; the timeout only
    // serves the idle limit and a resting listener.
    auto first = now < acceptPausedUntil_ ? acceptPausedUntil_ : Clock::time_point::max();
    if (options_.idleLimit.count() > 0)
        for (const ConnectionPtr& c : connections_)
            if (!c->busy) first = std::min(first, c->lastActive + options_.idleLimit);
    if (first == Clock::time_point::max()) return -1;
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(first - now).count() + 1;
    return int(std::clamp<long long>(wait, 0, 60 * 1000));
}

void Server::CloseIdle(Clock::time_point now) {
    if (options_.idleLimit.count() <= 0) return;
    for (const ConnectionPtr& c : connections_)
        if (!c->busy && now - c->lastActive >= options_.idleLimit)
            Close(*c, "closed: idle for " + Describe(options_.idleLimit));
    Sweep();
}

bool Server::MakeRoom() {
    return connections_.size() < options_.maxClients || CloseIdleLongest();
}

bool Server::CloseIdleLongest() {
    // One waiting for the receiver is not idle.
    ConnectionPtr oldest;
    for (const ConnectionPtr& c : connections_)
        if (!c->busy && (!oldest || c->lastActive < oldest->lastActive)) oldest = c;
    if (!oldest) return false;
    Close(*oldest, "closed: idle longest while the server is full");
    Sweep();
    return true;
}

void Server::AcceptWaiting() {
    // A bounded batch, so that a flood of connections cannot starve the
    // clients already served.
    for (int i = 0; i < 64; ++i) {
        net::Socket socket;
        std::string peer;
        const net::AcceptResult result = net::Accept(listener_, &socket, &peer);
        if (result == net::AcceptResult::NoneWaiting) return;
        if (result == net::AcceptResult::OutOfHandles) {
            // The idle longest gives way; with none, the backlog waits.
            if (!CloseIdleLongest()) acceptPausedUntil_ = Clock::now() + std::chrono::milliseconds(100);
            return;
        }
        if (result != net::AcceptResult::Accepted) return;
        if (!MakeRoom()) continue;  // everyone is waiting for the receiver: refused
        connections_.push_back(std::make_shared<Connection>(
            std::move(socket), peer, deviceLock_, [this](const std::string& line) { Print(line); },
            options_.log != nullptr));
        Print(peer + " connected");
    }
}

void Server::ReadFrom(Connection& c) {
    char buffer[kReadChunk];
    const long n = net::Receive(c.socket, buffer, sizeof buffer);
    if (n == net::kWouldBlock) return;
    if (n == net::kBroken) {
        Close(c, "disconnected");
        return;
    }
    c.lastActive = Clock::now();
    if (n == 0) {
        // Half closed: what it sent is still answered.
        c.ended = true;
        return;
    }
    c.session.Feed(buffer, std::size_t(n));
}

void Server::Advance(Connection& c) {
    while (!c.closed && !c.busy && c.output.size() < kOutputLimit && c.session.HasCommand()) {
        if (c.session.NextNeedsReceiver()) {
            c.busy = true;
            {
                std::lock_guard<std::mutex> guard(workLock_);
                waiting_.push_back(c.shared_from_this());
            }
            workReady_.notify_one();
            return;
        }
        c.session.RunNext(&c.output);
        Flush(c);
    }
    if (c.closed || c.busy) return;
    const bool done = c.session.Closed() || (c.ended && !c.session.HasCommand());
    if (done && c.output.empty()) Close(c, "disconnected");
}

void Server::Flush(Connection& c) {
    std::size_t sent = 0;
    while (sent < c.output.size()) {
        const long n = net::Send(c.socket, c.output.data() + sent, c.output.size() - sent);
        if (n == net::kWouldBlock) break;
        if (n == net::kBroken) {
            // Gone: whatever it asked for and is still queued is dropped.
            Close(c, "disconnected");
            return;
        }
        sent += std::size_t(n);
        c.lastActive = Clock::now();
    }
    c.output.erase(0, sent);
}

// Marks it closed; it leaves connections_ at the next Sweep.
void Server::Close(Connection& c, const std::string& why) {
    if (c.closed) return;
    c.closed = true;
    c.socket.Close();
    c.output.clear();
    if (c.busy) {
        // Still queued: dropped here. Under way: its reply is dropped when
        // it comes back.
        std::lock_guard<std::mutex> guard(workLock_);
        waiting_.erase(std::remove_if(waiting_.begin(), waiting_.end(),
                                      [&](const ConnectionPtr& p) { return p.get() == &c; }),
                       waiting_.end());
    }
    Print(c.peer + " " + why);
}

void Server::Sweep() {
    connections_.erase(std::remove_if(connections_.begin(), connections_.end(),
                                      [](const ConnectionPtr& c) { return c->closed; }),
                       connections_.end());
}

void Server::TakeFinished() {
    std::vector<ConnectionPtr> done;
    {
        std::lock_guard<std::mutex> guard(workLock_);
        done.swap(finished_);
    }
    for (const ConnectionPtr& c : done) {
        c->busy = false;
        if (c->closed) continue;
        c->output += c->workReply;
        c->workReply.clear();
        Flush(*c);
        Advance(*c);
    }
}

void Server::Work() {
    for (;;) {
        ConnectionPtr c;
        {
            std::unique_lock<std::mutex> guard(workLock_);
            workReady_.wait(guard, [&] { return workerStop_ || !waiting_.empty(); });
            if (workerStop_) return;
            // One command per turn: a client with a long pipeline goes to
            // the back after each, behind everyone else who asked.
            c = waiting_.front();
            waiting_.pop_front();
        }
        c->session.RunNext(&c->workReply);
        {
            std::lock_guard<std::mutex> guard(workLock_);
            finished_.push_back(c);
        }
        waker_.Notify();
    }
}

namespace {

std::atomic<Server*> g_serving{nullptr};
std::atomic<int> g_stopRequests{0};

// The first request stops the server cleanly; the second ends the process
// at once, whatever it is doing.
void RequestStop() {
    if (g_stopRequests++ > 0) std::_Exit(130);
    if (Server* server = g_serving.load()) server->Stop();
}

#ifdef _WIN32
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    RequestStop();
    return TRUE;
}
#else
void OnStopSignal(int) { RequestStop(); }
#endif

}  // namespace

int Serve(const ServerOptions& options) {
    Server server(options);
    std::string error;
    if (!server.Listen(&error)) {
        std::fprintf(stderr, "zelkor-ctl: %s\n", error.c_str());
        return 1;
    }
    g_stopRequests = 0;
    g_serving = &server;
#ifdef _WIN32
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    struct sigaction oldInt {}, oldTerm {};
    ::sigaction(SIGINT, &action, &oldInt);
    ::sigaction(SIGTERM, &action, &oldTerm);
#endif
    std::fprintf(stderr, "zelkor-ctl: serving on %s\n", server.Address().c_str());
    std::fflush(stderr);
    server.Run();
#ifdef _WIN32
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
#else
    ::sigaction(SIGINT, &oldInt, nullptr);
    ::sigaction(SIGTERM, &oldTerm, nullptr);
#endif
    g_serving = nullptr;
    return 0;
}

}  // namespace zelkor::rigctl
