// The line protocol of the rig-control library's network daemon, as far as
// a receive-only radio with one tuning knob can honour it, reply for reply
// as that daemon words it. No sockets here: bytes in, reply text out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

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
// Longer lines (line end not counted) are dropped whole and answered with
// RIG_EPROTO.
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

// The same, but nothing unless the frequency as written (before rounding)
// lies in [RX_START_HZ, RX_END_HZ]: a client must never believe it tuned
// a frequency the receiver cannot.
std::optional<std::uint32_t> TuningKilohertz(const std::string& text);

// One connection's state. The server feeds what it receives, then runs the
// waiting commands one at a time, so each reply can go out as soon as its
// command is done and a client that hangs up leaves nothing behind to run.
// A line may hold several commands ("fmv", "F 145000000 f"); a command's
// arguments may follow on later lines, as the daemon allows.
class Session {
public:
    explicit Session(Receiver& receiver) : receiver_(receiver) {}

    // Buffers received bytes; lines end with CR, LF or CRLF. Only complete
    // lines are run. The buffer grows with whatever the client sends:
    // feed more once HasCommand() is false.
    void Feed(const char* data, std::size_t length);
    // A complete command is waiting and the client has not quit.
    bool HasCommand() const { return next_.has_value(); }
    // The waiting command will touch the receiver (worth a turn at the
    // device lock); false when none is waiting.
    bool NextNeedsReceiver() const;
    // Runs the waiting command and appends its reply to *out. Returns false
    // once the client quit; nothing after its quit is ever run.
    bool RunNext(std::string* out);
    bool Closed() const { return closed_; }

private:
    struct Position {
        std::size_t line = 0;    // index into lines_
        std::size_t offset = 0;  // byte in that line
    };
    struct Command {
        int index = -1;         // into the command table; -1: not a command
        bool overlong = false;  // stands for a line beyond MAX_LINE_BYTES
        std::vector<std::string> arguments;
        bool extended = false;  // labelled reply with a header
        char separator = '\n';
        Position end;           // where its text ends
    };
    void Advance();
    std::optional<Command> Parse(bool* started) const;

    Receiver& receiver_;
    std::string partial_;  // the line being received
    bool overlong_ = false;
    // Complete lines not yet run (their line ends turned into '\n'); nothing
    // for a line beyond MAX_LINE_BYTES. Only the front is partly consumed.
    std::deque<std::optional<std::string>> lines_;
    std::size_t offset_ = 0;
    std::optional<Command> next_;
    // The daemon keeps the response mode of `\chk_vfo` for the command after
    // it; clients written against it see the same here.
    bool extended_ = false;
    char separator_ = '\n';
    bool closed_ = false;
};

// Feeds the bytes and runs every command they complete, appending the
// replies to *out; returns false once the client quit.
bool FeedAndRun(Session& session, const char* data, std::size_t length, std::string* out);

}  // namespace zelkor::rigctl
