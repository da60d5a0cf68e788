#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "discovery.h"
#include "recording.h"
#include "report.h"

namespace zelkor::testing {
namespace {

class ReportTest : public SimulatedReceiverTest {
protected:
    void SetUp() override {
        SimulatedReceiverTest::SetUp();
        ASSERT_EQ(HIDOpen(HARDWARE_ID_PATTERN, &w, &r), 1);
        g_events.clear();
    }
    void TearDown() override {
        HIDClose(w, r);
        SimulatedReceiverTest::TearDown();
    }
    HidHandle w = kInvalidHandle, r = kInvalidHandle;
};

std::string Zeros(std::size_t bytes) {
    std::string text;
    for (std::size_t i = 0; i < bytes; ++i) text += i ? " 00" : "00";
    return text;
}

struct ReportCase {
    const char* name;
    std::function<void(HidHandle, HidHandle)> exchange;
    std::string head;  // bytes after the report ID, then zeros up to 64
    bool paused;
};

TEST_F(ReportTest, OutputReportsCarryCodeAndLittleEndianPayloadThenZeros) {
    const std::uint8_t gain59[2] = {59, 0};
    const std::uint8_t one = 1;
    const ReportCase cases[] = {
        {"100 kHz", [](HidHandle a, HidHandle b) { HIDSetFreq(a, b, 100); }, "65 a0 86 01 00", false},
        {"2500000 kHz", [](HidHandle a, HidHandle b) { HIDSetFreq(a, b, 2500000); }, "65 00 f9 02 95", false},
        {"145000 kHz", [](HidHandle a, HidHandle b) { HIDSetFreq(a, b, 145000); }, "65 40 86 a4 08", false},
        {"IF gain 59", [&](HidHandle a, HidHandle b) { HIDWriteCommand(a, b, CMD_SET_IF_GAIN, gain59, 2); }, "75 3b 00", true},
        {"bias-T on", [&](HidHandle a, HidHandle b) { HIDWriteCommand(a, b, CMD_SET_BIAS_T, &one, 1); }, "7e 01", true},
        {"read IF filter", [](HidHandle a, HidHandle b) { std::uint8_t v; HIDReadCommand(a, b, CMD_GET_IF_FILTER, &v, 1); }, "a2", true},
        {"read frequency", [](HidHandle a, HidHandle b) { std::uint8_t v[4]; HIDReadCommand(a, b, CMD_GET_FREQ, v, 4); }, "66", true},
        {"reset", [](HidHandle a, HidHandle b) { HIDReset(a, b); }, "ff", false},
    };
    for (const ReportCase& c : cases) {
        SCOPED_TRACE(c.name);
        g_events.clear();
        c.exchange(w, r);
        const std::size_t headBytes = (c.head.size() + 1) / 3;
        std::vector<std::string> expected;
        if (c.paused) expected.push_back("pause 10");
        expected.push_back("> 00 " + c.head + " " + Zeros(64 - headBytes));
        ASSERT_EQ(g_events.size(), expected.size() + 1);  // + the reply
        for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(g_events[i], expected[i]);
        EXPECT_EQ(g_events.back().rfind("< ", 0), 0u);
    }
}

TEST_F(ReportTest, StatusByteIsReturnedUnchanged) {
    for (int status : {0, 2, 255, 1}) {  // 1 last: that reset is carried out
        SCOPED_TRACE(status);
        sim.Faults().status = static_cast<std::uint8_t>(status);
        std::uint8_t value = 0xEE;
        EXPECT_EQ(HIDReadCommand(w, r, CMD_GET_LNA_ENABLE, &value, 1), status);
        EXPECT_EQ(value, 1) << "data is copied whatever the status";
        EXPECT_EQ(HIDSetFreq(w, r, 145000), status);
        EXPECT_EQ(HIDReset(w, r), status);  // refused resets keep the receiver
    }
}

TEST_F(ReportTest, ReadCopiesOnlyTheAskedLengthAndNeverPastTheReport) {
    std::uint8_t buffer[300];
    std::memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(HIDReadCommand(w, r, CMD_GET_FREQ, buffer, 0), REPLY_OK);
    EXPECT_EQ(buffer[0], 0xEE);

    sim.Faults().garbage = true;
    HIDReadCommand(w, r, CMD_GET_FREQ, buffer, 255);
    EXPECT_EQ(buffer[MAX_READ_DATA], 0xEE) << "62 reply bytes at most";

    sim.Faults().garbage = false;
    std::uint8_t frequency[4] = {};
    HIDReadCommand(w, r, CMD_GET_FREQ, frequency, 4);
    EXPECT_EQ(frequency[0] | frequency[1] << 8 | frequency[2] << 16 | uint32_t(frequency[3]) << 24,
              100000000u);
}

TEST_F(ReportTest, OverlongPayloadIsCutToTheReport) {
    std::uint8_t payload[255];
    std::memset(payload, 0xAB, sizeof payload);
    HIDWriteCommand(w, r, 0x01, payload, 255);
    EXPECT_EQ(g_events[1].substr(2, 8), "00 01 ab") << g_events[1];
    EXPECT_EQ(g_events[1].size(), 2 + REPORT_SIZE * 3 - 1);
}

TEST_F(ReportTest, FailedTransfersGiveStatusZeroAndZeroData) {
    std::uint8_t value = 0xEE;
    sim.Faults().replyLength = 1;  // the status byte is lost
    EXPECT_EQ(HIDReadCommand(w, r, CMD_GET_LNA_ENABLE, &value, 1), 0);
    EXPECT_EQ(value, 0);

    sim.SetPresent(false);
    value = 0xEE;
    EXPECT_EQ(HIDReadCommand(w, r, CMD_GET_LNA_ENABLE, &value, 1), 0);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(g_events.back(), "< no reply: write failed") << "the trace says why, not zeros";
}

}  // namespace
}  // namespace zelkor::testing
