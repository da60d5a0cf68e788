#include <gtest/gtest.h>

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

const char kDumpState[] =
    "1\n2\n0\n"
    "100000.000000 2500000000.000000 0x1ff -1 -1 0x3 0x1\n"
    "0 0 0 0 0 0 0\n0 0 0 0 0 0 0\n"
    "0x1ff 1\n0 0\n0 0\n"
    "0\n0\n0\n0\n"
    "\n\n"
    "0x0\n0x0\n0x40000000\n0x0\n0x0\n0x0\n"
    "done\n";

TEST(AnswerLine, RepliesAsTheNetworkClientExpects) {
    struct Case {
        std::string line;
        std::string reply;
        std::vector<std::uint32_t> tuned;
    } cases[] = {
        // What the client sends on open, and its reads.
        {"\\chk_vfo", "0\n", {}},
        {"\\dump_state", kDumpState, {}},
        {"f", "145000000\n", {}},
        {"\\get_freq", "145000000\n", {}},
        {"v", "VFOA\n", {}},
        {"s", "0\nVFOA\n", {}},
        {"m", "FM\n15000\n", {}},
        {"\\get_powerstat", "1\n", {}},
        {"l STRENGTH", "-54\n", {}},
        {"  f  ", "145000000\n", {}},
        // Setting.
        {"F 145000000.000000", "RPRT 0\n", {145000}},
        {"\\set_freq 7100000", "RPRT 0\n", {7100}},
        {"F 99500", "RPRT 0\n", {100}},
        {"F 2500000000", "RPRT 0\n", {2500000}},
        {"F 145000000 VFOA", "RPRT 0\n", {145000}},
        {"V VFOB", "RPRT 0\n", {}},
        {"M USB 2400", "RPRT 0\n", {}},
        // Refused before the receiver is touched.
        {"F 99499", "RPRT -1\n", {}},
        {"F 2500000500", "RPRT -1\n", {}},
        {"F 0", "RPRT -1\n", {}},
        {"F -145000000", "RPRT -1\n", {}},
        {"F abc", "RPRT -1\n", {}},
        {"F", "RPRT -1\n", {}},
        {"V", "RPRT -1\n", {}},
        {"M USB", "RPRT -1\n", {}},
        {"l", "RPRT -1\n", {}},
        // Not available: answered at once, never left hanging.
        {"l RAWSTR", "RPRT -11\n", {}},
        {"S 1 VFOB", "RPRT -11\n", {}},
        {"T 1", "RPRT -11\n", {}},
        {"\\set_split_vfo 0 VFOA", "RPRT -11\n", {}},
        {"\\bogus", "RPRT -11\n", {}},
        {"\\", "RPRT -11\n", {}},
        {"ff", "RPRT -11\n", {}},
        {"+", "RPRT -11\n", {}},
        {std::string("\x01\xff\x00z\x7f", 5), "RPRT -11\n", {}},
        {std::string("\0", 1), "RPRT -11\n", {}},
        // Extended replies: a header, labelled values, the code.
        {"+f", "get_freq:\nFrequency: 145000000\nRPRT 0\n", {}},
        {"+\\get_freq", "get_freq:\nFrequency: 145000000\nRPRT 0\n", {}},
        {"+F 145000000", "set_freq: 145000000\nRPRT 0\n", {145000}},
        {";f", "get_freq:;Frequency: 145000000;RPRT 0\n", {}},
        {"|F 145000000", "set_freq: 145000000|RPRT 0\n", {145000}},
        {",m", "get_mode:,Mode: FM,Passband: 15000,RPRT 0\n", {}},
        {"+ s", "get_split_vfo:\nSplit: 0\nTX VFO: VFOA\nRPRT 0\n", {}},
        {"+F 1", "set_freq: 1\nRPRT -1\n", {}},
        {"+F", "set_freq:\nRPRT -1\n", {}},
        // Nothing to answer.
        {"", "", {}},
        {" \t ", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        FakeReceiver receiver;
        const Reply reply = AnswerLine(c.line, receiver);
        EXPECT_EQ(reply.text, c.reply);
        EXPECT_FALSE(reply.close);
        EXPECT_EQ(receiver.tuned, c.tuned);
    }
}

TEST(AnswerLine, ReceiverFailuresBecomeNegativeCodes) {
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
        {"+F 145000000", RIG_ETIMEOUT, "set_freq: 145000000\nRPRT -5\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        FakeReceiver receiver;
        receiver.code = c.code;
        EXPECT_EQ(AnswerLine(c.line, receiver).text, c.reply);
    }
}

TEST(AnswerLine, OnlyReceiverCommandsReachTheReceiver) {
    FakeReceiver receiver;
    for (const char* line : {"v", "V VFOA", "s", "m", "M FM 15000", "\\get_powerstat", "l STRENGTH",
                             "\\chk_vfo", "\\dump_state", "x"})
        AnswerLine(line, receiver);
    EXPECT_EQ(receiver.reads, 0);
    EXPECT_TRUE(receiver.tuned.empty());
    AnswerLine("f", receiver);
    EXPECT_EQ(receiver.reads, 1);
}

TEST(AnswerLine, QuitRepliesAndCloses) {
    for (const char* line : {"q", "Q", "\\quit"}) {
        SCOPED_TRACE(line);
        FakeReceiver receiver;
        const Reply reply = AnswerLine(line, receiver);
        EXPECT_EQ(reply.text, "RPRT 0\n");
        EXPECT_TRUE(reply.close);
    }
}

std::string FeedAll(Session& session, const std::vector<std::string>& chunks, bool* open = nullptr) {
    std::string out;
    bool stillOpen = true;
    for (const std::string& chunk : chunks) stillOpen = FeedAndRun(session, chunk.data(), chunk.size(), &out);
    if (open) *open = stillOpen;
    return out;
}

TEST(Session, SplitsTheStreamIntoLinesWhateverTheChunks) {
    struct Case {
        const char* name;
        std::vector<std::string> chunks;
        std::string replies;
    } cases[] = {
        {"several lines in one chunk", {"f\nv\n\\get_powerstat\n"}, "145000000\nVFOA\n1\n"},
        {"a line across chunks", {"F 1450", "00000.00", "0000\nf", "\n"}, "RPRT 0\n145000000\n"},
        {"CRLF line ends", {"f\r\nv\r\n"}, "145000000\nVFOA\n"},
        {"empty lines get nothing", {"\n\r\n\nv\n"}, "VFOA\n"},
        {"no reply before the line ends", {"f"}, ""},
        {"a line of 1 KiB is still a line", {std::string(1024, 'x') + "\nv\n"}, "RPRT -11\nVFOA\n"},
        {"a longer line is refused whole", {std::string(1025, 'x') + "\nv\n"}, "RPRT -8\nVFOA\n"},
        {"a long line in many chunks",
         {std::string(700, 'F'), std::string(700, '1'), std::string(70000, '2'), "\nf\n"},
         "RPRT -8\n145000000\n"},
        {"a long line that looks like a command", {"F " + std::string(2000, '1') + "\nf\n"},
         "RPRT -8\n145000000\n"},
        {"binary garbage, then a command",
         {std::string("\x00\xff\xfe\x01\n\x80\x80", 7), "\nf\n"}, "RPRT -11\nRPRT -11\n145000000\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeReceiver receiver;
        Session session(receiver);
        bool open = false;
        EXPECT_EQ(FeedAll(session, c.chunks, &open), c.replies);
        EXPECT_TRUE(open);
        // An overlong line never reaches the receiver as a command.
        for (std::uint32_t khz : receiver.tuned) EXPECT_EQ(khz, 145000u);
    }
}

TEST(Session, NothingAfterQuitIsAnswered) {
    FakeReceiver receiver;
    Session session(receiver);
    bool open = true;
    EXPECT_EQ(FeedAll(session, {"f\nq\nF 7100000\n", "f\n"}, &open), "145000000\nRPRT 0\n");
    EXPECT_FALSE(open);
    EXPECT_TRUE(receiver.tuned.empty());
    EXPECT_EQ(receiver.reads, 1);
}

TEST(Session, RunsOneCommandAtATime) {
    FakeReceiver receiver;
    Session session(receiver);
    EXPECT_FALSE(session.HasCommand());
    session.Feed("v\nf\nq\nf\n", 8);
    std::string out;
    ASSERT_TRUE(session.HasCommand());
    EXPECT_FALSE(session.NextNeedsReceiver());
    EXPECT_TRUE(session.RunNext(&out));
    EXPECT_EQ(out, "VFOA\n");
    ASSERT_TRUE(session.HasCommand());
    EXPECT_TRUE(session.NextNeedsReceiver());
    EXPECT_EQ(receiver.reads, 0);
    EXPECT_TRUE(session.RunNext(&out));
    EXPECT_EQ(out, "VFOA\n145000000\n");
    EXPECT_FALSE(session.RunNext(&out));
    EXPECT_TRUE(session.Closed());
    EXPECT_FALSE(session.HasCommand());
    EXPECT_FALSE(session.NextNeedsReceiver());
    EXPECT_EQ(receiver.reads, 1);
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
