// The network control port: one thread waits on every socket and answers
// what needs no receiver at once; a second runs receiver commands one at a
// time, taking the waiting connections in turn.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device_receiver.h"
#include "socket.h"

namespace zelkor::rigctl {

struct ServerOptions {
    std::string host = "127.0.0.1";  // loopback: strangers must not retune the receiver
    std::uint16_t port = 4532;       // 0: any free port (see Server::Address)
    std::FILE* log = stdout;         // each client's log lines; nullptr: quiet
    // A connection that sends and takes nothing for this long is closed;
    // zero keeps idle connections open.
    std::chrono::milliseconds idleLimit = std::chrono::minutes(10);
    // Connections held at once; one more closes the one idle longest.
    std::size_t maxClients = 256;
};

class Server {
public:
    explicit Server(ServerOptions options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds and listens; false with a one-line reason in *error.
    bool Listen(std::string* error);
    // The bound address as "host:port", with the port actually chosen.
    std::string Address() const;
    // Serves until Stop(); returns once every connection is closed, after
    // at most the receiver command under way.
    void Run();
    // Safe from any thread and from a signal handler.
    void Stop();

private:
    struct Connection;
    using ConnectionPtr = std::shared_ptr<Connection>;
    using Clock = std::chrono::steady_clock;

    void AcceptWaiting();
    bool MakeRoom();
    bool CloseIdleLongest();
    void ReadFrom(Connection& c);
    void Advance(Connection& c);
    void Flush(Connection& c);
    void Close(Connection& c, const std::string& why);
    void Sweep();
    void TakeFinished();
    void CloseIdle(Clock::time_point now);
    int PollTimeoutMs(Clock::time_point now) const;
    void Work();
    void Print(const std::string& line);

    ServerOptions options_;
    net::Socket listener_;
    net::Waker waker_;
    bool wakerOpen_ = false;
    std::atomic<bool> stopping_{false};
    Clock::time_point acceptPausedUntil_;
    std::vector<ConnectionPtr> connections_;  // the socket thread's own

    // Handed between the socket thread and the receiver thread.
    std::mutex workLock_;
    std::condition_variable workReady_;
    std::deque<ConnectionPtr> waiting_;   // each has one receiver command to run
    std::vector<ConnectionPtr> finished_;
    bool workerStop_ = false;

    TurnLock deviceLock_;  // every receiver access, with its log view swap
    std::mutex printLock_;
};

// zelkor-ctl's `serve`: listens, announces the address on standard error and
// serves until SIGINT or SIGTERM (Ctrl+C or Ctrl+Break on Windows); a second
// one ends the process at once. Returns the exit status.
int Serve(const ServerOptions& options);

}  // namespace zelkor::rigctl
