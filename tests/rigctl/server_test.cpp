#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "pause.h"
#include "recording.h"
#include "server.h"

namespace zelkor::rigctl {
namespace {

constexpr int kWaitMs = 5000;  // every wait is bounded

// Reads as many bytes as the expected reply holds, then compares.
#define EXPECT_REPLY(client, expected)                      \
    do {                                                    \
        const std::string want_ = (expected);               \
        EXPECT_EQ((client).Receive(want_.size()), want_);   \
    } while (0)

class Client {
public:
    explicit Client(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(std::uint16_t(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Client() { Close(); }
    bool Connected() const { return connected_; }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    // Says it has sent all it will, and still reads.
    void ShutdownWrite() { ::shutdown(fd_, SHUT_WR); }
    void Send(const std::string& text) {
        ASSERT_EQ(::send(fd_, text.data(), text.size(), MSG_NOSIGNAL), ssize_t(text.size()));
    }
    // Sends what the socket takes without blocking; returns the bytes taken.
    std::size_t SendWhatFits(const std::string& text) {
        std::size_t sent = 0;
        for (;;) {
            const ssize_t n = ::send(fd_, text.data() + sent, text.size() - sent,
                                     MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n <= 0) return sent;
            sent += std::size_t(n);
            if (sent == text.size()) return sent;
        }
    }
    // Exactly `length` bytes, or what came before the wait ran out.
    std::string Receive(std::size_t length) {
        std::string got;
        while (got.size() < length && Wait()) {
            char buffer[4096];
            const ssize_t n = ::recv(fd_, buffer, std::min(sizeof buffer, length - got.size()), 0);
            if (n <= 0) break;
            got.append(buffer, std::size_t(n));
        }
        return got;
    }
    // True when the server closed the connection.
    bool ClosedByServer() {
        char byte;
        return Wait() && ::recv(fd_, &byte, 1, 0) == 0;
    }
    std::string LocalAddress() const {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        return "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    }

private:
    bool Wait() {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, kWaitMs) == 1;
    }
    int fd_ = -1;
    bool connected_ = false;
};

class ServerTest : public zelkor::testing::SimulatedReceiverTest {
protected:
    void Start(std::FILE* logFile = nullptr) {
        ServerOptions options;
        options.log = logFile;
        Start(options);
    }
    void Start(ServerOptions options) {
        options.port = 0;
        server_ = std::make_unique<Server>(options);
        std::string error;
        ASSERT_TRUE(server_->Listen(&error)) << error;
        const std::string address = server_->Address();
        ASSERT_EQ(address.rfind("127.0.0.1:", 0), 0u) << address;
        port = std::stoi(address.substr(address.rfind(':') + 1));
        thread_ = std::thread([this] {
            server_->Run();
            runDone_ = true;
        });
    }
    void TearDown() override {
        if (server_ && thread_.joinable()) {
            server_->Stop();
            thread_.join();
        }
        SimulatedReceiverTest::TearDown();
    }
    // Stops the server; false when Run is still busy after `limit`.
    bool StopWithin(std::chrono::milliseconds limit) {
        server_->Stop();
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!runDone_ && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        thread_.join();
        return runDone_;
    }
    bool Tuned() const {
        for (const std::string& report : Sent())
            if (report.rfind("65 ", 0) == 0) return true;
        return false;
    }

    int port = 0;

private:
    std::unique_ptr<Server> server_;
    std::thread thread_;
    std::atomic<bool> runDone_{false};
};

TEST_F(ServerTest, ClientsAreServedSideBySideEachWithItsOwnLine) {
    Start();
    Client a(port), b(port);
    ASSERT_TRUE(a.Connected() && b.Connected());
    a.Send("F 1450");
    b.Send("f\n");
    EXPECT_REPLY(b, "100000000\n");
    a.Send("00000.000000\n");
    EXPECT_REPLY(a, "RPRT 0\n");
    b.Send("+f\n");
    EXPECT_REPLY(b, "get_freq:\nFrequency: 145000000\nRPRT 0\n");
    EXPECT_EQ(Head(Sent()[0], 5), "66 00 00 00 00");
}

TEST_F(ServerTest, MalformedInputIsAnsweredAndTheConnectionStaysUsable) {
    Start();
    Client c(port);
    c.Send(std::string(2048, 'F') + "\n");
    c.Send(std::string("\x00\xff\x80", 3) + "\n");
    c.Send("F 99\n\\what\n\\get_rig_info\nf\n");
    EXPECT_REPLY(c, "RPRT -8\nRPRT -11\nRPRT -11\nRPRT -11\nRPRT -1\nRPRT -11\nRPRT -11\n100000000\n");
    EXPECT_FALSE(Tuned());
    c.Send("q\n");
    EXPECT_REPLY(c, "RPRT 0\n");
    EXPECT_TRUE(c.ClosedByServer());
}

TEST_F(ServerTest, AClientLeavingMidLineLosesOnlyItsHalfLine) {
    Start();
    {
        Client leaving(port);
        leaving.Send("v\nF 145000");
        EXPECT_REPLY(leaving, "VFOA\n");
    }
    Client other(port);
    other.Send("f\n");
    EXPECT_REPLY(other, "100000000\n");
    EXPECT_FALSE(Tuned());
}

TEST_F(ServerTest, AClientThatStopsReadingBlocksNobody) {
    Start();
    Client stuck(port);
    // Far more replies than the socket buffers hold; never read.
    std::string lines;
    for (int i = 0; i < 200000; ++i) lines += "\\dump_state\n";
    EXPECT_GT(stuck.SendWhatFits(lines), 0u);
    Client other(port);
    other.Send("F 7100000\nf\n");
    EXPECT_REPLY(other, "RPRT 0\n7100000\n");
    // Stopping the server (TearDown) must not hang on the stuck client.
}

TEST_F(ServerTest, AClientGoneBeforeItsRepliesDoesNotKillTheServer) {
    Start();
    {
        Client gone(port);
        std::string lines;
        for (int i = 0; i < 20000; ++i) lines += "\\dump_state\n";
        gone.SendWhatFits(lines);
    }  // closed unread: the server's next send fails; without MSG_NOSIGNAL, SIGPIPE ends us
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Client other(port);
    other.Send("v\n");
    EXPECT_REPLY(other, "VFOA\n");
}

TEST_F(ServerTest, LogLinesGoOutBehindTheClientsAddress) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    Start(out);
    Client c(port);
    c.Send("F 145000000\n");
    EXPECT_REPLY(c, "RPRT 0\n");
    const std::string who = c.LocalAddress();
    c.Close();
    std::string text;
    // The disconnect line comes from the connection's thread; wait for it.
    for (int i = 0; i < 100 && text.find(" disconnected") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::fflush(out);
        std::rewind(out);
        text.clear();
        char buffer[1024];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, out)) > 0) text.append(buffer, n);
    }
    EXPECT_EQ(text, who + " connected\n" +
                        who + " HIDOpen of Vid_04d8&Pid_fb31 returns 1\n" +
                        who + " Success, Zelkor found.\n" +
                        who + " HIDSetFreq of 145000 returns 1\n" +
                        who + " Success, Zelkor frequency set.\n" +
                        who + " disconnected\n");
    EXPECT_EQ(log.Text(), L"") << "the view registered before saw nothing";
    // The server's thread writes to `out` until it has stopped.
    EXPECT_TRUE(StopWithin(std::chrono::seconds(10)));
    std::fclose(out);
}

std::string Repeat(const std::string& line, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += line;
    return text;
}

TEST_F(ServerTest, AHalfClosedClientStillGetsEveryReply) {
    Start();
    Client c(port);
    c.Send("f\nv\nF 7100000\nf");
    c.ShutdownWrite();
    // The last line has no line end: the end of the stream does not complete it.
    EXPECT_REPLY(c, "100000000\nVFOA\nRPRT 0\n");
    EXPECT_TRUE(c.ClosedByServer());
}

TEST_F(ServerTest, TwoHundredClientsAtOnceAreAllServed) {
    Start();
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 200; ++i) {
        clients.push_back(std::make_unique<Client>(port));
        ASSERT_TRUE(clients.back()->Connected()) << "client " << i;
    }
    for (auto& c : clients) c->Send("v\nf\n");
    for (std::size_t i = 0; i < clients.size(); ++i) {
        SCOPED_TRACE("client " + std::to_string(i));
        EXPECT_REPLY(*clients[i], "VFOA\n100000000\n");
    }
}

TEST_F(ServerTest, AnIdleClientIsClosedAndAnActiveOneKept) {
    ServerOptions options;
    options.log = nullptr;
    // Long beside the active client's pace, so that a loaded machine's
    // hiccup does not count as idleness.
    options.idleLimit = std::chrono::milliseconds(1000);
    Start(options);
    Client idle(port), active(port);
    ASSERT_TRUE(idle.Connected() && active.Connected());
    for (int i = 0; i < 25; ++i) {
        active.Send("v\n");
        EXPECT_REPLY(active, "VFOA\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(idle.ClosedByServer());
    active.Send("v\n");
    EXPECT_REPLY(active, "VFOA\n");
}

TEST_F(ServerTest, WhenFullTheClientIdleLongestMakesRoom) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    ServerOptions options;
    options.log = out;
    options.idleLimit = std::chrono::milliseconds(0);
    options.maxClients = 3;
    Start(options);
    Client first(port), second(port), third(port);
    for (Client* c : {&first, &second, &third}) {
        c->Send("v\n");
        EXPECT_REPLY(*c, "VFOA\n");
    }
    // The first spoke last: the second is now idle longest.
    first.Send("v\n");
    EXPECT_REPLY(first, "VFOA\n");
    Client fourth(port);
    fourth.Send("v\n");
    EXPECT_REPLY(fourth, "VFOA\n");
    EXPECT_TRUE(second.ClosedByServer());
    for (Client* c : {&first, &third}) {
        c->Send("f\n");
        EXPECT_REPLY(*c, "100000000\n");
    }
    // The server's thread writes to `out` until it has stopped.
    EXPECT_TRUE(StopWithin(std::chrono::seconds(10)));
    std::fflush(out);
    std::rewind(out);
    std::string text(4096, '\0');
    text.resize(std::fread(&text[0], 1, text.size(), out));
    EXPECT_NE(text.find(second.LocalAddress() + " closed: idle longest while the server is full\n"),
              std::string::npos)
        << text;
    std::fclose(out);
}

std::atomic<int> g_pauses{0};

// The device link's real pause, counted: every read of the receiver takes
// its true 10 ms.
class SlowReceiverTest : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        g_pauses = 0;
        SetPauseFunction([](unsigned ms) {
            ++g_pauses;
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        });
    }
};

TEST_F(SlowReceiverTest, StoppingDoesNotWaitForQueuedCommands) {
    Start();
    // 2,000 reads queued: 20 s of receiver time.
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 4; ++i) {
        clients.push_back(std::make_unique<Client>(port));
        clients.back()->Send(Repeat("f\n", 500));
    }
    for (auto& c : clients) EXPECT_REPLY(*c, "100000000\n");
    // Generous against a loaded machine; running out the queue is 20 s.
    EXPECT_TRUE(StopWithin(std::chrono::seconds(3)));
}

TEST_F(SlowReceiverTest, CommandsOfAClientThatLeftAreDropped) {
    Start();
    {
        Client gone(port);
        gone.Send(Repeat("f\n", 500));
        EXPECT_REPLY(gone, "100000000\n");
    }
    Client other(port);
    other.Send("f\n");
    EXPECT_REPLY(other, "100000000\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // A few may run before the server sees the client go; not 500.
    EXPECT_LT(g_pauses, 50);
}

TEST_F(SlowReceiverTest, ClientsTakeTurnsOneCommandEach) {
    Start();
    Client greedy(port), polite(port);
    greedy.Send(Repeat("f\n", 200));
    EXPECT_REPLY(greedy, "100000000\n");
    polite.Send("F 7100000\n");
    EXPECT_REPLY(polite, "RPRT 0\n");
    // Its one command came in between, not after the other's 200 reads.
    EXPECT_LT(g_pauses, 50);
}

TEST(ServerListen, AnAddressInUseIsAnErrorNotACrash) {
    Server first(ServerOptions{"127.0.0.1", 0, nullptr});
    std::string error;
    ASSERT_TRUE(first.Listen(&error)) << error;
    const std::string address = first.Address();
    const auto port = std::uint16_t(std::stoi(address.substr(address.rfind(':') + 1)));
    Server second(ServerOptions{"127.0.0.1", port, nullptr});
    EXPECT_FALSE(second.Listen(&error));
    EXPECT_NE(error.find("cannot listen on 127.0.0.1:" + std::to_string(port)), std::string::npos)
        << error;
    Server nowhere(ServerOptions{"no such host.invalid", 4532, nullptr});
    EXPECT_FALSE(nowhere.Listen(&error));
}

}  // namespace
}  // namespace zelkor::rigctl
