#include "socket.h"

#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace zelkor::rigctl::net {
namespace {

#ifdef _WIN32
int LastError() { return WSAGetLastError(); }
bool WouldBlock(int error) { return error == WSAEWOULDBLOCK; }
bool Interrupted(int error) { return error == WSAEINTR; }
bool OutOfHandles(int error) { return error == WSAEMFILE || error == WSAENOBUFS; }
void CloseHandle(Handle handle) { ::closesocket(handle); }
bool SetNonBlocking(Handle handle) {
    u_long on = 1;
    return ::ioctlsocket(handle, FIONBIO, &on) == 0;
}
Handle NewSocket(int family, int type, int protocol) {
    // Not inherited by processes this one starts.
    return ::WSASocketW(family, type, protocol, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
}
std::string Describe(int error) {
    char text[256] = "";
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                     DWORD(error), 0, text, sizeof text, nullptr);
    std::string out(text, n);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.')) out.pop_back();
    return out.empty() ? "error " + std::to_string(error) : out;
}
constexpr int kSendFlags = 0;
#else
int LastError() { return errno; }
bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }
bool Interrupted(int error) { return error == EINTR; }
bool OutOfHandles(int error) { return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM; }
void CloseHandle(Handle handle) { ::close(handle); }
bool SetNonBlocking(Handle handle) {
    const int flags = ::fcntl(handle, F_GETFL);
    return flags >= 0 && ::fcntl(handle, F_SETFL, flags | O_NONBLOCK) == 0;
}
Handle NewSocket(int family, int type, int protocol) {
    return ::socket(family, type | SOCK_CLOEXEC, protocol);
}
std::string Describe(int error) { return std::strerror(error); }
// A client gone mid-reply is an error here, not SIGPIPE.
constexpr int kSendFlags = MSG_NOSIGNAL;
#endif

std::string FormatAddress(const sockaddr* address, socklen_t length) {
    char host[NI_MAXHOST] = "?";
    char port[NI_MAXSERV] = "?";
    ::getnameinfo(address, length, host, sizeof host, port, sizeof port, NI_NUMERICHOST | NI_NUMERICSERV);
    if (address->sa_family == AF_INET6) return std::string("[") + host + "]:" + port;
    return std::string(host) + ":" + port;
}

}  // namespace

bool Startup(std::string* error) {
#ifdef _WIN32
    static const int result = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data);
    }();
    if (result != 0) {
        *error = "cannot start Winsock: " + Describe(result);
        return false;
    }
#else
    (void)error;
#endif
    return true;
}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.handle_;
        other.handle_ = kNoHandle;
    }
    return *this;
}

void Socket::Close() {
    if (handle_ != kNoHandle) CloseHandle(handle_);
    handle_ = kNoHandle;
}

bool Listen(const std::string& host, std::uint16_t port, Socket* listener, std::string* error) {
    const std::string where = host + ":" + std::to_string(port);
    if (!Startup(error)) return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int lookup = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (lookup != 0) {
        *error = "cannot listen on " + where + ": " + gai_strerror(lookup);
        return false;
    }
    int lastError = 0;
    Socket bound;
    for (addrinfo* a = found; a && !bound.Valid(); a = a->ai_next) {
        Socket s(NewSocket(a->ai_family, a->ai_socktype, a->ai_protocol));
        if (!s.Valid()) {
            lastError = LastError();
            continue;
        }
        const int on = 1;
#ifdef _WIN32
        // Windows' SO_REUSEADDR would let a second server take the port.
        ::setsockopt(s.Get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
#else
        ::setsockopt(s.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
#endif
        if (::bind(s.Get(), a->ai_addr, socklen_t(a->ai_addrlen)) == 0 && ::listen(s.Get(), SOMAXCONN) == 0 &&
            SetNonBlocking(s.Get()))
            bound = std::move(s);
        else
            lastError = LastError();
    }
    ::freeaddrinfo(found);
    if (!bound.Valid()) {
        *error = "cannot listen on " + where + ": " + Describe(lastError);
        return false;
    }
    *listener = std::move(bound);
    return true;
}

std::string LocalAddress(const Socket& socket) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (!socket.Valid() || ::getsockname(socket.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return "";
    return FormatAddress(reinterpret_cast<sockaddr*>(&address), length);
}

AcceptResult Accept(const Socket& listener, Socket* client, std::string* peer) {
    for (;;) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
#ifdef _WIN32
        Socket s(::accept(listener.Get(), reinterpret_cast<sockaddr*>(&address), &length));
#else
        Socket s(::accept4(listener.Get(), reinterpret_cast<sockaddr*>(&address), &length,
                           SOCK_CLOEXEC | SOCK_NONBLOCK));
#endif
        if (!s.Valid()) {
            const int error = LastError();
            if (Interrupted(error)) continue;
            if (WouldBlock(error)) return AcceptResult::NoneWaiting;
            return OutOfHandles(error) ? AcceptResult::OutOfHandles : AcceptResult::Failed;
        }
#ifdef _WIN32
        if (!SetNonBlocking(s.Get())) return AcceptResult::Failed;
#endif
        // Replies are single short lines that clients wait for.
        const int on = 1;
        ::setsockopt(s.Get(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
        *peer = FormatAddress(reinterpret_cast<sockaddr*>(&address), length);
        *client = std::move(s);
        return AcceptResult::Accepted;
    }
}

long Receive(const Socket& socket, char* buffer, std::size_t size) {
    for (;;) {
        const auto n = ::recv(socket.Get(), buffer, int(size), 0);
        if (n >= 0) return long(n);
        const int error = LastError();
        if (Interrupted(error)) continue;
        return WouldBlock(error) ? kWouldBlock : kBroken;
    }
}

long Send(const Socket& socket, const char* data, std::size_t size) {
    for (;;) {
        const auto n = ::send(socket.Get(), data, int(size), kSendFlags);
        if (n > 0) return long(n);
        if (n == 0) return kWouldBlock;
        const int error = LastError();
        if (Interrupted(error)) continue;
        return WouldBlock(error) ? kWouldBlock : kBroken;
    }
}

int Poll(PollFd* fds, std::size_t count, int timeoutMs) {
#ifdef _WIN32
    const int n = ::WSAPoll(fds, ULONG(count), timeoutMs);
    return n == SOCKET_ERROR ? -1 : n;
#else
    return ::poll(fds, nfds_t(count), timeoutMs);
#endif
}

bool Waker::Open(std::string* error) {
    if (!Startup(error)) return false;
    Socket s(NewSocket(AF_INET, SOCK_DGRAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    auto* any = reinterpret_cast<sockaddr*>(&address);
    // Bound to a free loopback port, then connected to itself.
    if (!s.Valid() || ::bind(s.Get(), any, length) != 0 || ::getsockname(s.Get(), any, &length) != 0 ||
        ::connect(s.Get(), any, length) != 0 || !SetNonBlocking(s.Get())) {
        *error = "cannot make a wake-up socket: " + Describe(LastError());
        return false;
    }
    socket_ = std::move(s);
    return true;
}

void Waker::Notify() const {
    const int saved = LastError();  // a signal handler must leave errno as it was
    const char byte = 1;
    // A full buffer already holds a wake-up.
    [[maybe_unused]] const auto n = ::send(socket_.Get(), &byte, 1, kSendFlags);
#ifndef _WIN32
    errno = saved;
#else
    (void)saved;
#endif
}

void Waker::Drain() const {
    char buffer[256];
    while (::recv(socket_.Get(), buffer, sizeof buffer, 0) > 0) {
    }
}

}  // namespace zelkor::rigctl::net
