// The little the network port needs from the system's sockets: BSD sockets
// on POSIX, Winsock on Windows. Every socket here is non-blocking, and all
// waiting goes through Poll.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <poll.h>
#endif

namespace zelkor::rigctl::net {

#ifdef _WIN32
using Handle = SOCKET;
constexpr Handle kNoHandle = INVALID_SOCKET;
using PollFd = WSAPOLLFD;
#else
using Handle = int;
constexpr Handle kNoHandle = -1;
using PollFd = pollfd;
#endif

// Loads the socket library once per process (Winsock); false with a reason.
bool Startup(std::string* error);

// Owns one socket; closes it when destroyed.
class Socket {
public:
    Socket() = default;
    explicit Socket(Handle handle) : handle_(handle) {}
    ~Socket() { Close(); }
    Socket(Socket&& other) noexcept : handle_(other.handle_) { other.handle_ = kNoHandle; }
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    Handle Get() const { return handle_; }
    bool Valid() const { return handle_ != kNoHandle; }
    void Close();

private:
    Handle handle_ = kNoHandle;
};

// Binds and listens on HOST:PORT (a numeric address or a name). On failure,
// "cannot listen on HOST:PORT: reason" in *error.
bool Listen(const std::string& host, std::uint16_t port, Socket* listener, std::string* error);

// The address a socket is bound to, or its peer's, as "host:port" ("[v6]:port").
std::string LocalAddress(const Socket& socket);

enum class AcceptResult { Accepted, NoneWaiting, OutOfHandles, Failed };
// One waiting connection, non-blocking, without Nagle's delay.
AcceptResult Accept(const Socket& listener, Socket* client, std::string* peer);

// Bytes moved (> 0), 0 for the end of the stream (Receive only), kWouldBlock,
// or kBroken for a connection that is gone.
constexpr long kWouldBlock = -1;
constexpr long kBroken = -2;
long Receive(const Socket& socket, char* buffer, std::size_t size);
long Send(const Socket& socket, const char* data, std::size_t size);

// Waits for readiness; the number of ready entries, 0 on timeout, -1 on a
// signal or an error.
int Poll(PollFd* fds, std::size_t count, int timeoutMs);

// Wakes a thread in Poll from any thread or from a signal handler: a
// datagram socket on loopback that sends to itself.
class Waker {
public:
    bool Open(std::string* error);
    Handle Get() const { return socket_.Get(); }
    // Async-signal-safe.
    void Notify() const;
    // Takes every pending wake-up.
    void Drain() const;

private:
    Socket socket_;
};

}  // namespace zelkor::rigctl::net
