// The network control port: a thread per connection, each with its own
// protocol session; receiver accesses one at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "device_receiver.h"

namespace zelkor::rigctl {

struct ServerOptions {
    std::string host = "127.0.0.1";  // loopback: strangers must not retune the receiver
    std::uint16_t port = 4532;       // 0: any free port (see Server::Address)
    std::FILE* log = stdout;         // each client's log lines; nullptr: quiet
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
    // Serves until Stop(); returns once every connection has ended.
    void Run();
    // Safe from any thread and from a signal handler.
    void Stop();

private:
    struct Connection;
    void Serve(Connection& connection);
    void Print(const std::string& line);
    void ReapFinished();

    ServerOptions options_;
    int listenFd_ = -1;
    int wake_[2] = {-1, -1};
    TurnLock deviceLock_;    // every receiver access, with its log view swap
    std::mutex printLock_;
    std::mutex connectionsLock_;
    std::list<std::unique_ptr<Connection>> connections_;
};

// zelkor-ctl's `serve`: listens, announces the address on standard error and
// serves until SIGINT or SIGTERM. Returns the exit status.
int Serve(const ServerOptions& options);

}  // namespace zelkor::rigctl
