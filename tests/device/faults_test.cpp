// Transactions against a receiver that misbehaves on the wire: every one
// either returns what the receiver really holds or fails clearly, within
// its bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "recording.h"
#include "report.h"
#include "transactions.h"

namespace zelkor::testing {
namespace {

using Clock = std::chrono::steady_clock;

class Faults : public SimulatedReceiverTest {
protected:
    void SetUp() override {
        SimulatedReceiverTest::SetUp();
        sim.Settings().biasT = 1;
        sim.Settings().ifGain = 37;
        sim.Settings().frequencyHz = 145000000;
    }
    // One read transaction: the value shown, or -1 when it failed.
    int Read(std::uint8_t code) {
        std::uint8_t value[4] = {}, status = 0;
        if (ReadSetting(code, value, sizeof value, &status) != 1 || status != REPLY_OK) return -1;
        return value[0];
    }
    int Notes(const std::string& what) const {
        return int(std::count(g_events.begin(), g_events.end(), what));
    }
};

// The pause comes after the pair is opened and before the request is
// written: reports sent then are queued before the request.
SimulatedHid* g_staleSource = nullptr;
void PauseWithStaleReports(unsigned) { g_staleSource->SendUnsolicited(3); }

TEST_F(Faults, ReportsQueuedBeforeTheRequestAreNeverItsAnswer) {
    g_staleSource = &sim;
    const PauseFunction recording = SetPauseFunction(PauseWithStaleReports);
    EXPECT_EQ(Read(CMD_GET_IF_GAIN), 37);
    EXPECT_EQ(Read(CMD_GET_BIAS_T), 1);
    SetPauseFunction(recording);
    EXPECT_EQ(Notes("  discarded: queued before the request"), 6);
}

TEST_F(Faults, ReportsSentBetweenTheRequestAndItsReplyAreSkippedFromTheFirstExchange) {
    sim.SetReportsBeforeReply(3);
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(Read(CMD_GET_IF_GAIN), 37);
        EXPECT_EQ(Read(CMD_GET_LNA_ENABLE), 1);
        EXPECT_EQ(Read(CMD_GET_FREQ), 0x40);  // 145000000 = 0x08A48640
    }
    // Until two different commands came back with their codes, the others
    // are held back for a moment; after that they are dropped at once.
    EXPECT_EQ(Notes("  byte 1 is not the command: taken unless one with it follows"), 2);
    EXPECT_EQ(Notes("  discarded: not the reply (byte 1 is not the command)"), 7 * 3);
}

TEST_F(Faults, AReceiverWithAnythingInByte1StillWorks) {
    sim.SetNoisyByte1(true);
    for (int round = 0; round < 40; ++round) {
        ASSERT_EQ(Read(CMD_GET_IF_GAIN), 37) << round;
        ASSERT_EQ(Read(CMD_GET_BIAS_T), 1) << round;
        ASSERT_EQ(Read(CMD_GET_LNA_ENABLE), 1) << round;
    }
}

TEST_F(Faults, ALateReplyIsTakenOffTheWireAndNeverAnswersTheNextRequest) {
    sim.SetReplyDelay(REPLY_TIMEOUT_MS + 300);
    const auto start = Clock::now();
    EXPECT_EQ(Read(CMD_GET_IF_GAIN), -1);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(REPLY_TIMEOUT_MS));
    EXPECT_LT(took, std::chrono::milliseconds(LATE_REPLY_LIMIT_MS + 500)) << "a failure stays under 2 s";
    EXPECT_EQ(log.Lines().back(), L"Error, Zelkor read command.");
    EXPECT_EQ(Notes("< no reply: timeout"), 1);
    EXPECT_EQ(Notes("  discarded: late reply"), 1);

    sim.SetReplyDelay(0);
    EXPECT_EQ(Read(CMD_GET_BIAS_T), 1) << "its own answer, not the late 37";
}

TEST_F(Faults, ASilentReceiverFailsUnderTwoSecondsAndTheTraceSaysSo) {
    sim.Faults().silent = true;
    const auto start = Clock::now();
    EXPECT_EQ(Read(CMD_GET_IF_GAIN), -1);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(LATE_REPLY_LIMIT_MS + 500));
    EXPECT_EQ(g_events.back(), "< no reply: timeout");
}

TEST_F(Faults, ARefusedWriteFailsAtOnceWithoutReadingAnything) {
    sim.SendUnsolicited(1);  // something the exchange could wrongly take
    sim.SetRefuseWrites(true);
    const std::uint8_t on = 1;
    const auto start = Clock::now();
    const TransactionResult result = WriteSetting(CMD_SET_LNA_ENABLE, &on, 1);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(REPLY_TIMEOUT_MS / 2));
    EXPECT_FALSE(result.Succeeded());
    EXPECT_EQ(log.Lines().back(), L"Error, Zelkor register NOT written.");
    EXPECT_EQ(g_events.back(), "< no reply: write failed");
    sim.SetRefuseWrites(false);
    EXPECT_EQ(Read(CMD_GET_IF_GAIN), 37);
}

TEST_F(Faults, AnotherProgramHoldingTheReceiverGivesItsOwnLineWithinTheBound) {
    sim.SetLockedElsewhere(true);
    const auto start = Clock::now();
    EXPECT_EQ(Read(CMD_GET_IF_GAIN), -1);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(DEVICE_LOCK_TIMEOUT_MS));
    EXPECT_LT(took, std::chrono::milliseconds(DEVICE_LOCK_TIMEOUT_MS + 1000));
    EXPECT_EQ(log.Lines(), (std::vector<std::wstring>{
                               L"HIDOpen of Vid_04d8&Pid_fb31 returns 1", L"Success, Zelkor found.",
                               L"Error, Zelkor busy: another program kept it for over 1.5 s."}));
    EXPECT_EQ(Sent().size(), 0u) << "nothing is sent without the lock";
    EXPECT_EQ(sim.OpenHandles(), 0u);

    // Given back while this one waits: it goes ahead.
    std::thread other([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        sim.SetLockedElsewhere(false);
    });
    EXPECT_EQ(Read(CMD_GET_IF_GAIN), 37);
    other.join();
}

TEST_F(Faults, TheTuningRefreshSharesTheTurnOfTheTransactionAroundIt) {
    int inner = -2;
    const TransactionResult result = SetFrequencyTransaction(433920, [&] {
        sim.SetLockedElsewhere(true);  // would keep out any transaction that needs its own turn
        inner = Read(CMD_GET_IF_GAIN);
        sim.SetLockedElsewhere(false);
    });
    EXPECT_TRUE(result.Succeeded());
    EXPECT_EQ(inner, 37);
    EXPECT_EQ(log.Lines().back(), L"Success, Zelkor frequency set.");
}

}  // namespace
}  // namespace zelkor::testing
