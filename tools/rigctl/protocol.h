// The line protocol of the rig-control library's network daemon, as far as
// a receive-only radio with one tuning knob can honour it. No sockets here:
// bytes in, reply text out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace zelkor::rigctl {

// Codes of the library's error table carried in "RPRT n" lines.
enum : int {
    RIG_OK = 0,
    RIG_EINVAL = -1,     // invalid argument
    RIG_ETIMEOUT = -5,
    RIG_EIO = -6,
    RIG_EPROTO = -8,     // protocol error
    RIG_ERJCTED = -9,    // command rejected by the radio
    RIG_ENAVAIL = -11,   // not available
};

constexpr std::uint32_t RX_START_HZ = 100000;
constexpr std::uint32_t RX_END_HZ = 2500000000u;
// No S-meter on this receiver: `l STRENGTH` answers this fixed value (dB
// relative to S9, i.e. roughly S0).
constexpr int FIXED_STRENGTH_DB = -54;
// Longer lines are dropped whole and answered with RIG_EPROTO.
constexpr std::size_t MAX_LINE_BYTES = 1024;

// What the protocol needs from the receiver. Results are RIG_OK or a
// negative code of the table above.
class Receiver {
public:
    virtual ~Receiver() = default;
    virtual int GetFrequency(std::uint32_t* hertz) = 0;
    virtual int SetFrequency(std::uint32_t kilohertz) = 0;
};

// A frequency in hertz as clients write it ("145000000", "145000000.000000",
// "1.45e8") rounded to the nearest kHz; nothing for anything else or values
// beyond any receiver.
std::optional<std::uint64_t> ParseKilohertz(const std::string& text);

struct Reply {
    std::string text;     // may be empty: an empty line gets no answer
    bool close = false;   // the client said goodbye
};

// Answers one line (its line end already removed).
Reply AnswerLine(const std::string& line, Receiver& receiver);

// One connection's state. The server feeds what it receives, then runs the
// waiting commands one at a time, so each reply can go out as soon as its
// command is done and a client that hangs up leaves nothing behind to run.
class Session {
public:
    explicit Session(Receiver& receiver) : receiver_(receiver) {}

    // Buffers received bytes; lines end with CR, LF or CRLF.
    void Feed(const char* data, std::size_t length);
    // A complete command is waiting and the client has not quit.
    bool HasCommand() const;
    // The waiting command will touch the receiver (worth a turn at the
    // device lock); false when none is waiting.
    bool NextNeedsReceiver() const;
    // Runs the waiting command and appends its reply to *out. Returns false
    // once the client quit; nothing after its quit is ever run.
    bool RunNext(std::string* out);
    bool Closed() const { return closed_; }

private:
    Receiver& receiver_;
    std::string partial_;             // the line being received
    // Complete lines not yet run; nothing for a line beyond MAX_LINE_BYTES.
    std::deque<std::optional<std::string>> lines_;
    bool overlong_ = false;
    bool closed_ = false;
};

// Feeds the bytes and runs every command they complete, appending the
// replies to *out; returns false once the client quit.
bool FeedAndRun(Session& session, const char* data, std::size_t length, std::string* out);

}  // namespace zelkor::rigctl
