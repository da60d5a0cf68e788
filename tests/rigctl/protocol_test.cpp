#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "protocol.h"

namespace zelkor::rigctl {
namespace {

class FakeReceiver final : public Receiver {
public:
    int GetFrequency(std::uint32_t* hertz) override {
        ++reads;
        if (code == RIG_OK) *hertz = frequencyHz;
        return code;
    }
    int SetFrequency(std::uint32_t kilohertz) override {
        tuned.push_back(kilohertz);
        return code;
    }
    std::uint32_t frequencyHz = 145000000;
    int code = RIG_OK;
    int reads = 0;
    std::vector<std::uint32_t> tuned;
};

TEST(ParseKilohertz, RoundsClientFrequenciesToTheNearestKilohertz) {
    struct Case {
        const char* text;
        std::optional<std::uint64_t> kilohertz;
    } cases[] = {
        {"145000000", 145000},
        {"145000000.000000", 145000},
        {"+145000000", 145000},
        {"145000499.999999", 145000},  // the fraction never carries past the half
        {"145000500", 145001},
        {"99500", 100},
        {"99499.999999", 99},
        {"2500000499.999999", 2500000},
        {"2500000500.000000", 2500001},
        {"1.45e8", 145000},
        {"1.45E+08", 145000},
        {"145000000000e-3", 145000},
        {".5", 0},
        {"0", 0},
        {"000000000000000000145000000", 145000},
        {"", std::nullopt},
        {".", std::nullopt},
        {"-145000000", std::nullopt},
        {"abc", std::nullopt},
        {"145000000Hz", std::nullopt},
        {"145 000", std::nullopt},
        {"145000000.0.0", std::nullopt},
        {"1e", std::nullopt},
        {"1e+", std::nullopt},
        {"0x8a", std::nullopt},
        {"nan", std::nullopt},
        {"inf", std::nullopt},
        {"1e99", std::nullopt},
        {"99999999999999999999999", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseKilohertz(c.text), c.kilohertz);
    }
}

TEST(TuningKilohertz, TakesOnlyTheReceiversRangeAsWritten) {
    struct Case {
        const char* text;
        std::optional<std::uint32_t> kilohertz;
    } cases[] = {
        {"100000", 100},
        {"100000.000000", 100},
        {"1e5", 100},
        {"145000499.999999", 145000},
        {"2500000000", 2500000},
        {"2500000000.000000", 2500000},
        {"2.5e9", 2500000},
        // Would round into the range, but is outside it as written.
        {"99999.999999", std::nullopt},
        {"99500", std::nullopt},
        {"2500000000.000001", std::nullopt},
        {"2.5000000001e9", std::nullopt},
        {"9.99999999e4", std::nullopt},
        {"2500000001", std::nullopt},
        {"2500000499", std::nullopt},
        {"0", std::nullopt},
        {"abc", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(TuningKilohertz(c.text), c.kilohertz);
    }
}

// Feeds the chunks to one session and runs every command they complete.
std::string Converse(FakeReceiver& receiver, const std::vector<std::string>& chunks,
                     bool* open = nullptr) {
    Session session(receiver);
    std::string out;
    bool stillOpen = true;
    for (const std::string& chunk : chunks) stillOpen = FeedAndRun(session, chunk.data(), chunk.size(), &out);
    if (open) *open = stillOpen;
    return out;
}

TEST(Session, AnswersEachCommandAsTheDaemonDoes) {
    struct Case {
        std::string line;
        std::string reply;
        std::vector<std::uint32_t> tuned;
    } cases[] = {
        // What the library's network client sends on open, and its reads.
        {"\\chk_vfo", "0\n", {}},
        {"f", "145000000\n", {}},
        {"\\get_freq", "145000000\n", {}},
        {"v", "VFOA\n", {}},
        {"s", "0\nVFOA\n", {}},
        {"m", "FM\n15000\n", {}},
        {"\\get_powerstat", "1\n", {}},
        {"l STRENGTH", "-54\n", {}},
        {"\\get_level STRENGTH", "-54\n", {}},
        {"  f  ", "145000000\n", {}},
        {"_", "Zelkor receiver\n", {}},
        {"\\get_info", "Zelkor receiver\n", {}},
        {"\\get_vfo_info VFOA", "145000000\nFM\n15000\n0\n0\n", {}},
        // The daemon ends these with a report even in plain replies.
        {"\\get_lock_mode", "0\nRPRT 0\n", {}},
        // Setting.
        {"F 145000000.000000", "RPRT 0\n", {145000}},
        {"\\set_freq 7100000", "RPRT 0\n", {7100}},
        {"F 100000", "RPRT 0\n", {100}},
        {"F 2500000000", "RPRT 0\n", {2500000}},
        {"V VFOB", "RPRT 0\n", {}},
        {"M USB 2400", "RPRT 0\n", {}},
        {"\\set_powerstat 1", "RPRT 0\n", {}},
        // Refused before the receiver is touched.
        {"F 99999", "RPRT -1\n", {}},
        {"F 99500", "RPRT -1\n", {}},
        {"F 2500000000.5", "RPRT -1\n", {}},
        {"F 2500000500", "RPRT -1\n", {}},
        {"F 0", "RPRT -1\n", {}},
        {"F -145000000", "RPRT -1\n", {}},
        {"F abc", "RPRT -1\n", {}},
        {"V foo", "RPRT -1\n", {}},
        {"l foo", "RPRT -1\n", {}},
        {"l strength", "RPRT -1\n", {}},
        {"\\set_powerstat foo", "RPRT -1\n", {}},
        // Known to the daemon, not available on this receiver.
        {"l RAWSTR", "RPRT -11\n", {}},
        {"\\set_powerstat 0", "RPRT -11\n", {}},
        {"t", "RPRT -11\n", {}},
        {"\\set_vfo_opt 1", "RPRT -11\n", {}},
        // Not commands at all: answered at once rather than left hanging.
        {"\\bogus", "RPRT -11\n", {}},
        {"\\quit", "RPRT -11\n", {}},
        {"9", "RPRT -11\n", {}},
        {"\\", "RPRT -11\n", {}},
        {std::string("\x01\xff\x00", 3), "RPRT -11\nRPRT -11\nRPRT -11\n", {}},
        // Nothing to answer.
        {"", "", {}},
        {" \t ", "", {}},
        {"# a comment", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        FakeReceiver receiver;
        bool open = false;
        EXPECT_EQ(Converse(receiver, {c.line + "\n"}, &open), c.reply);
        EXPECT_TRUE(open);
        EXPECT_EQ(receiver.tuned, c.tuned);
    }
}

const char kDumpStateHead[] =
    "1\n2\n0\n"
    "100000.000000 2500000000.000000 0x1ff -1 -1 0x3 0x1\n"
    "0 0 0 0 0 0 0\n0 0 0 0 0 0 0\n"
    "0x1ff 1\n0 0\n0 0\n"
    "0\n0\n0\n0\n"
    "\n\n"
    "0x0\n0x0\n0x40000000\n0x0\n0x0\n0x0\n";

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST(Session, CapabilityBlocksKeepTheirLayout) {
    FakeReceiver receiver;
    const std::string state = Converse(receiver, {"\\dump_state\n"});
    EXPECT_EQ(state.rfind(kDumpStateHead, 0), 0u) << state;
    EXPECT_NE(state.find("\nhas_set_freq=1\nhas_get_freq=1\n"), std::string::npos);
    EXPECT_TRUE(EndsWith(state, "\ndone\n"));

    const std::string caps = Converse(receiver, {"\\dump_caps\n"});
    EXPECT_EQ(caps.rfind("Caps dump for model: ", 0), 0u);
    EXPECT_NE(caps.find("\t100000 Hz - 2500000000 Hz\n"), std::string::npos);
    EXPECT_TRUE(EndsWith(caps, "\n\nOverall backend warnings: 0   \nRPRT 0\n"));
    EXPECT_EQ(Converse(receiver, {"1\n"}), caps);
}

TEST(Session, ExtendedRepliesCarryTheDaemonsHeaderAndSeparator) {
    struct Case {
        const char* line;
        const char* reply;
    } cases[] = {
        {"+f", "get_freq:\nFrequency: 145000000\nRPRT 0\n"},
        {"+\\get_freq", "get_freq:\nFrequency: 145000000\nRPRT 0\n"},
        {"+ f", "get_freq:\nFrequency: 145000000\nRPRT 0\n"},
        {";f", "get_freq:;Frequency: 145000000;RPRT 0\n"},
        {"|f", "get_freq:|Frequency: 145000000|RPRT 0\n"},
        {",m", "get_mode:,Mode: FM,Passband: 15000,RPRT 0\n"},
        {"+s", "get_split_vfo:\nSplit: 0\nTX VFO: VFOA\nRPRT 0\n"},
        {"+F 145000000", "set_freq: 145000000\nRPRT 0\n"},
        {"|F 145000000", "set_freq: 145000000|RPRT 0\n"},
        {";M FM 15000", "set_mode: FM 15000;RPRT 0\n"},
        // The level's value has no label.
        {"+l STRENGTH", "get_level: STRENGTH\n-54\nRPRT 0\n"},
        {",l STRENGTH", "get_level: STRENGTH,-54,RPRT 0\n"},
        {"+_", "get_info:\nInfo: Zelkor receiver\nRPRT 0\n"},
        {";\\get_vfo_info VFOA",
         "get_vfo_info: VFOA;Freq: 145000000;Mode: FM;Width: 15000;Split: 0;SatMode: 0;RPRT 0\n"},
        // Values the daemon always ends with a line break.
        {"+\\get_powerstat", "get_powerstat:\nPower Status: 1\nRPRT 0\n"},
        {";\\get_powerstat", "get_powerstat:;Power Status: 1\nRPRT 0\n"},
        {"|\\get_lock_mode", "get_lock_mode:|Locked: 0\nRPRT 0\n"},
        // No header, no report.
        {"+\\chk_vfo", "ChkVFO: 0\n"},
        {";\\chk_vfo", "ChkVFO: 0\n\n"},
        // Errors keep the header.
        {"+F 1", "set_freq: 1\nRPRT -1\n"},
        {";t", "get_ptt:;RPRT -11\n"},
        {"|l foo", "get_level: foo|RPRT -1\n"},
        {"+\\set_powerstat 0", "set_powerstat: 0\nRPRT -11\n"},
        // Arguments taking the rest of the line keep its spaces.
        {"+b CQ CQ", "send_morse:  CQ CQ\nRPRT -11\n"},
        // Any punctuation naming no command is a separator.
        {"%f", "get_freq:%Frequency: 145000000%RPRT 0\n"},
        {"+;f", "get_freq:;Frequency: 145000000;RPRT 0\n"},
        // Quitting and what is no command have no header.
        {"+q", "RPRT 0\n"},
        {"+\\bogus", "RPRT -11\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        FakeReceiver receiver;
        EXPECT_EQ(Converse(receiver, {std::string(c.line) + "\n"}), c.reply);
    }
}

TEST(Session, ExtendedMultiLineBlocksTakeTheSeparatorOnlyAfterTheHeader) {
    FakeReceiver receiver;
    const std::string plain = Converse(receiver, {"\\dump_state\n"});
    for (const char* prefix : {"+", ";", "|", ","}) {
        SCOPED_TRACE(prefix);
        const char separator = *prefix == '+' ? '\n' : *prefix;
        EXPECT_EQ(Converse(receiver, {std::string(prefix) + "\\dump_state\n"}),
                  std::string("dump_state:") + separator + plain + "RPRT 0\n");
    }
}

TEST(Session, ReceiverFailuresBecomeNegativeCodes) {
    struct Case {
        const char* line;
        int code;
        const char* reply;
    } cases[] = {
        {"f", RIG_EIO, "RPRT -6\n"},
        {"f", RIG_ETIMEOUT, "RPRT -5\n"},
        {"F 145000000", RIG_EIO, "RPRT -6\n"},
        {"F 145000000", RIG_ERJCTED, "RPRT -9\n"},
        {"+f", RIG_EIO, "get_freq:\nRPRT -6\n"},
        {";F 145000000", RIG_ETIMEOUT, "set_freq: 145000000;RPRT -5\n"},
        {"\\get_vfo_info VFOA", RIG_EIO, "RPRT -6\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        FakeReceiver receiver;
        receiver.code = c.code;
        EXPECT_EQ(Converse(receiver, {std::string(c.line) + "\n"}), c.reply);
    }
}

TEST(Session, SplitsLinesIntoCommandsAsTheDaemonDoes) {
    struct Case {
        const char* name;
        std::vector<std::string> chunks;
        std::string replies;
    } cases[] = {
        {"one letter each", {"fmv\n"}, "145000000\nFM\n15000\nVFOA\n"},
        {"spaced", {"f m v\n"}, "145000000\nFM\n15000\nVFOA\n"},
        {"each with its prefix", {"+f +v\n"},
         "get_freq:\nFrequency: 145000000\nRPRT 0\nget_vfo:\nVFO: VFOA\nRPRT 0\n"},
        {"a prefix is for one command", {"+f v\n"},
         "get_freq:\nFrequency: 145000000\nRPRT 0\nVFOA\n"},
        {"arguments, then more", {"F 145000000 f\n"}, "RPRT 0\n145000000\n"},
        {"long names end at a blank", {"\\get_freq\t\\get_vfo\n"}, "145000000\nVFOA\n"},
        {"an argument on a later line", {"F\n", "\n145000000 f\n"}, "RPRT 0\n145000000\n"},
        {"a prefix on a line of its own", {"+\nf\n"}, "get_freq:\nFrequency: 145000000\nRPRT 0\n"},
        {"the rest of the line is one argument", {"b CQ f\nv\n"}, "RPRT -11\nVFOA\n"},
        {"a comment ends the line", {"f#v\nv # f\n"}, "145000000\nVFOA\n"},
        {"a prefix leaves no mode behind", {"+f\nv\n"}, "get_freq:\nFrequency: 145000000\nRPRT 0\nVFOA\n"},
        // The daemon keeps the response mode of chk_vfo for one more command.
        {"chk_vfo lends its mode", {"+\\chk_vfo f f\n"},
         "ChkVFO: 0\nget_freq:\nFrequency: 145000000\nRPRT 0\n145000000\n"},
        {"with its separator", {",\\chk_vfo +f\n"},
         "ChkVFO: 0\n\nget_freq:,Frequency: 145000000,RPRT 0\n"},
        {"and on", {";\\chk_vfo \\chk_vfo f\n"},
         "ChkVFO: 0\n\nChkVFO: 0\n\nget_freq:;Frequency: 145000000;RPRT 0\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeReceiver receiver;
        EXPECT_EQ(Converse(receiver, c.chunks), c.replies);
    }
}

std::string Repeat(const std::string& text, int times) {
    std::string out;
    while (times-- > 0) out += text;
    return out;
}

TEST(Session, TakesAnyLineEndAndLimitsTheLineItself) {
    const std::string kilobyte = "f" + std::string(1022, ' ') + "v";
    struct Case {
        const char* name;
        std::vector<std::string> chunks;
        std::string replies;
    } cases[] = {
        {"LF", {"f\nv\n"}, "145000000\nVFOA\n"},
        {"CRLF", {"f\r\nv\r\n"}, "145000000\nVFOA\n"},
        {"CR", {"f\rv\r"}, "145000000\nVFOA\n"},
        {"CRLF split between chunks", {"f\r", "\nv\r", "\n"}, "145000000\nVFOA\n"},
        {"blank lines get nothing", {"\n\r\n\r\r\nv\n"}, "VFOA\n"},
        {"nothing before the line ends", {"f"}, ""},
        {"a line across chunks", {"F 1450", "00000.00", "0000\nf", "\n"}, "RPRT 0\n145000000\n"},
        {"1 KiB and its CRLF", {kilobyte + "\r\n"}, "145000000\nVFOA\n"},
        {"1 KiB and its CR", {kilobyte + "\r"}, "145000000\nVFOA\n"},
        {"a longer line is refused whole", {kilobyte + "f\nv\n"}, "RPRT -8\nVFOA\n"},
        {"a long line in many chunks",
         {std::string(700, 'F'), std::string(700, '1'), std::string(70000, '2'), "\nf\n"},
         "RPRT -8\n145000000\n"},
        {"a long line that looks like a command", {"F " + std::string(2000, '1') + "\nf\n"},
         "RPRT -8\n145000000\n"},
        {"a long line drops the command waiting for it", {"F\n" + std::string(2000, '1') + "\nf\n"},
         "RPRT -8\n145000000\n"},
        {"endless prefix lines are refused", {Repeat("+\n", 2100), "v\n"}, "RPRT -8\nVFOA\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeReceiver receiver;
        bool open = false;
        EXPECT_EQ(Converse(receiver, c.chunks, &open), c.replies);
        EXPECT_TRUE(open);
        // An overlong line never reaches the receiver as a command.
        for (std::uint32_t khz : receiver.tuned) EXPECT_EQ(khz, 145000u);
    }
}

TEST(Session, OnlyReceiverCommandsReachTheReceiver) {
    FakeReceiver receiver;
    Session session(receiver);
    const std::string idle =
        "v V VFOA s m M FM 15000 \\get_powerstat l STRENGTH \\chk_vfo \\dump_state 1 _ "
        "\\get_lock_mode \\set_powerstat 1 t x\n";
    session.Feed(idle.data(), idle.size());
    std::string out;
    while (session.HasCommand()) {
        EXPECT_FALSE(session.NextNeedsReceiver());
        session.RunNext(&out);
    }
    EXPECT_EQ(receiver.reads, 0);
    EXPECT_TRUE(receiver.tuned.empty());
    for (const char* line : {"f\n", "F 145000000\n", "\\get_vfo_info VFOA\n"}) {
        SCOPED_TRACE(line);
        session.Feed(line, std::strlen(line));
        ASSERT_TRUE(session.HasCommand());
        EXPECT_TRUE(session.NextNeedsReceiver());
        session.RunNext(&out);
    }
    EXPECT_EQ(receiver.reads, 2);
    EXPECT_EQ(receiver.tuned, std::vector<std::uint32_t>{145000});
}

TEST(Session, RunsOneCommandAtATime) {
    FakeReceiver receiver;
    Session session(receiver);
    EXPECT_FALSE(session.HasCommand());
    session.Feed("vf\nq\nf\n", 7);
    std::string out;
    ASSERT_TRUE(session.HasCommand());
    EXPECT_TRUE(session.RunNext(&out));
    EXPECT_EQ(out, "VFOA\n");
    ASSERT_TRUE(session.HasCommand());
    EXPECT_EQ(receiver.reads, 0);
    EXPECT_TRUE(session.RunNext(&out));
    EXPECT_EQ(out, "VFOA\n145000000\n");
    EXPECT_FALSE(session.RunNext(&out));
    EXPECT_EQ(out, "VFOA\n145000000\nRPRT 0\n");
    EXPECT_TRUE(session.Closed());
    EXPECT_FALSE(session.HasCommand());
    EXPECT_FALSE(session.NextNeedsReceiver());
    EXPECT_FALSE(session.RunNext(&out));
    EXPECT_EQ(receiver.reads, 1);
}

TEST(Session, NothingAfterQuitIsAnswered) {
    for (const char* quit : {"q", "Q", "+q"}) {
        SCOPED_TRACE(quit);
        FakeReceiver receiver;
        bool open = true;
        EXPECT_EQ(Converse(receiver, {std::string("f ") + quit + " F 7100000\nf\n", "f\n"}, &open),
                  "145000000\nRPRT 0\n");
        EXPECT_FALSE(open);
        EXPECT_TRUE(receiver.tuned.empty());
        EXPECT_EQ(receiver.reads, 1);
    }
}

TEST(Session, EachConnectionKeepsItsOwnHalfLine) {
    FakeReceiver receiver;
    Session first(receiver), second(receiver);
    std::string out1, out2;
    FeedAndRun(first, "F 7100", 6, &out1);
    FeedAndRun(second, "v\n", 2, &out2);
    FeedAndRun(first, "000\n", 4, &out1);
    EXPECT_EQ(out2, "VFOA\n");
    EXPECT_EQ(out1, "RPRT 0\n");
    EXPECT_EQ(receiver.tuned, std::vector<std::uint32_t>{7100});
}

}  // namespace
}  // namespace zelkor::rigctl
