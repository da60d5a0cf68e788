#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "recording.h"
#include "report.h"
#include "transactions.h"

namespace zelkor::testing {
namespace {

using Lines = std::vector<std::wstring>;
const std::wstring kOpened = L"HIDOpen of Vid_04d8&Pid_fb31 returns 1";
const std::wstring kNotOpened = L"HIDOpen of Vid_04d8&Pid_fb31 returns 0";
const std::wstring kFound = L"Success, Zelkor found.";
const std::wstring kNotFound = L"Error, Zelkor not found: is Zelkor correctly installed?";

using Transactions = SimulatedReceiverTest;

TransactionResult WriteBiasT() {
    const std::uint8_t on = 1;
    return WriteSetting(CMD_SET_BIAS_T, &on, 1);
}

TEST_F(Transactions, LogLinesForEveryOutcome) {
    struct Case {
        const char* name;
        std::function<void(SimulatedHid&)> setup;
        std::function<void()> run;
        Lines expected;
    };
    std::uint8_t value = 0;
    const Case cases[] = {
        {"write ok", [](SimulatedHid&) {}, [] { WriteBiasT(); },
         {kOpened, kFound, L"HIDWriteCommand returns 1", L"Success, Zelkor write register."}},
        {"write refused", [](SimulatedHid& s) { s.Faults().status = 2; }, [] { WriteBiasT(); },
         {kOpened, kFound, L"HIDWriteCommand returns 2", L"Error, Zelkor register NOT written."}},
        {"read ok", [](SimulatedHid&) {}, [&] { ReadSetting(CMD_GET_LNA_ENABLE, &value, 1); },
         {kOpened, kFound, L"HIDReadCommand returns 1", L"Success, Zelkor read command, value: 1"}},
        {"read frequency shows the first byte", [](SimulatedHid&) {},
         [] { std::uint8_t f[4]; ReadSetting(CMD_GET_FREQ, f, 4); },
         {kOpened, kFound, L"HIDReadCommand returns 1", L"Success, Zelkor read command, value: 0"}},
        {"read status 255", [](SimulatedHid& s) { s.Faults().status = 255; },
         [&] { ReadSetting(CMD_GET_LNA_ENABLE, &value, 1); },
         {kOpened, kFound, L"HIDReadCommand returns 255", L"Error, Zelkor read command."}},
        {"bootloader refused", [](SimulatedHid& s) { s.Faults().status = 0; }, [] { SwitchToBootloader(); },
         {kOpened, kFound, L"HIDReset returns 0", L"Error, Zelkor NOT reset."}},
        {"bootloader", [](SimulatedHid&) {}, [] { SwitchToBootloader(); },
         {kOpened, kFound, L"HIDReset returns 1", L"Success, Zelkor reset to bootloader."}},
        {"tune refused", [](SimulatedHid& s) { s.Faults().status = 0; },
         [] { SetFrequencyTransaction(2500000, nullptr); },
         {kOpened, kFound, L"HIDSetFreq of 2500000 returns 0", L"Error, Zelkor frequency NOT set."}},
        {"tune", [](SimulatedHid&) {}, [] { SetFrequencyTransaction(145000, nullptr); },
         {kOpened, kFound, L"HIDSetFreq of 145000 returns 1", L"Success, Zelkor frequency set."}},
        {"absent", [](SimulatedHid& s) { s.SetPresent(false); }, [] { WriteBiasT(); },
         {kNotOpened, kNotFound}},
        {"absent read", [](SimulatedHid& s) { s.SetPresent(false); },
         [&] { ReadSetting(CMD_GET_LNA_ENABLE, &value, 1); }, {kNotOpened, kNotFound}},
        {"absent tune", [](SimulatedHid& s) { s.SetPresent(false); },
         [] { SetFrequencyTransaction(100, nullptr); }, {kNotOpened, kNotFound}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim.Faults() = {};
        sim.SetPresent(true);
        c.setup(sim);
        log.Append(L"left over");
        c.run();
        EXPECT_EQ(log.Lines(), c.expected);
        EXPECT_EQ(sim.OpenHandles(), 0u) << "the pair is closed on every path";
    }
}

TEST_F(Transactions, ReadSettingReportsFoundNotStatus) {
    std::uint8_t value = 0xEE, status = 0xEE;
    sim.Faults().status = 0;
    EXPECT_EQ(ReadSetting(CMD_GET_MIXER_GAIN, &value, 1, &status), 1);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(value, 1) << "the reply's data arrives whatever the status";

    sim.SetPresent(false);
    value = 0xEE;
    EXPECT_EQ(ReadSetting(CMD_GET_MIXER_GAIN, &value, 1, &status), 0);
    EXPECT_EQ(value, 0xEE) << "untouched when the receiver is not found";
}

TEST_F(Transactions, TuneRunsItsFollowUpInsideTheOpenPairBeforeTheSuccessLine) {
    std::size_t handlesDuringFollowUp = 0;
    const auto result = SetFrequencyTransaction(145000, [&] {
        handlesDuringFollowUp = sim.OpenHandles();
        std::uint8_t f[4];
        ReadSetting(CMD_GET_FREQ, f, 4);  // clears the log, as the panel's refresh does
    });
    EXPECT_TRUE(result.Succeeded());
    EXPECT_EQ(handlesDuringFollowUp, 2u);
    EXPECT_EQ(log.Lines(), (Lines{kOpened, kFound, L"HIDReadCommand returns 1",
                                  L"Success, Zelkor read command, value: 64",
                                  L"Success, Zelkor frequency set."}));
    EXPECT_EQ(sim.Settings().frequencyHz, 145000000u);
    EXPECT_EQ(sim.OpenHandles(), 0u);

    bool ran = false;
    sim.Faults().status = 2;
    EXPECT_FALSE(SetFrequencyTransaction(145000, [&] { ran = true; }).Succeeded());
    EXPECT_FALSE(ran);
}

TEST(TransactionsWithoutLogView, StillReachTheReceiver) {
    SimulatedHid sim;
    SetHidBackend(&sim);
    SetLogView(nullptr);
    const PauseFunction previous = SetPauseFunction([](unsigned) {});
    const std::uint8_t on = 1;
    EXPECT_TRUE(WriteSetting(CMD_SET_BIAS_T, &on, 1).Succeeded());
    EXPECT_EQ(sim.Settings().biasT, 1);
    SetPauseFunction(previous);
    SetHidBackend(nullptr);
}

TEST_F(Transactions, SilentReceiverTimesOutWithStatusZero) {
    sim.Faults().silent = true;
    std::uint8_t value = 0xEE, status = 0xEE;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadSetting(CMD_GET_IF_GAIN, &value, 1, &status), 1);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(status, 0);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(log.Lines().back(), L"Error, Zelkor read command.");
    // Bounded, not timed: the wait is the reply timeout, not forever.
    EXPECT_GE(waited, std::chrono::milliseconds(REPLY_TIMEOUT_MS));
    EXPECT_LT(waited, std::chrono::seconds(30));
}

TEST_F(Transactions, UnplugMidExchangeFailsAtOnceThenNotFound) {
    sim.UnplugAfterReports(1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(WriteBiasT().Succeeded());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(REPLY_TIMEOUT_MS))
        << "a vanished device must not wait for the timeout";
    EXPECT_EQ(log.Lines().back(), L"Error, Zelkor register NOT written.");
    EXPECT_EQ(WriteBiasT().found, false);
    EXPECT_EQ(log.Lines(), (Lines{kNotOpened, kNotFound}));
    sim.SetPresent(true);
    EXPECT_TRUE(WriteBiasT().Succeeded());
    EXPECT_EQ(sim.OpenHandles(), 0u);
}

TEST_F(Transactions, PauseComesBeforeSettingCommandsOnly) {
    std::uint8_t value;
    ReadSetting(CMD_GET_LNA_ENABLE, &value, 1);
    WriteBiasT();
    SetFrequencyTransaction(145000, nullptr);
    SwitchToBootloader();
    std::vector<std::string> kinds;
    for (const std::string& event : g_events) kinds.push_back(event.substr(0, event.find(' ', 2)));
    EXPECT_EQ(kinds, (std::vector<std::string>{"pause", "> 00", "< 00", "pause", "> 00", "< 00",
                                               "> 00", "< 00", "> 00", "< 00"}));
}

}  // namespace
}  // namespace zelkor::testing
