#include <gtest/gtest.h>

#include "simulated_firmware.h"
#include "report.h"

namespace zelkor {
namespace {

TEST(Firmware, PicksTheRfFilterFromTheFrequency) {
    struct Case {
        std::uint32_t hz;
        std::uint8_t code;
    } cases[] = {
        {100000, 0},     {3999999, 0},    {4000000, 1},    {15000000, 2},
        {28000000, 3},   {50000000, 4},   {100000000, 5},  {145000000, 7},
        {146000000, 6},  {200000000, 6},  {435000000, 9},  {500000000, 8},
        {1296000000, 10}, {2500000000u, 10},
    };
    for (const Case& c : cases) EXPECT_EQ(ReceiverFirmware::RfFilterFor(c.hz), c.code) << c.hz;
}

ReceiverFirmware::WireReport Ask(ReceiverFirmware& fw, std::vector<std::uint8_t> request) {
    request.resize(64);
    auto reply = fw.Answer(request.data(), request.size());
    EXPECT_TRUE(reply.has_value());
    return reply.value_or(ReceiverFirmware::WireReport{});
}

TEST(Firmware, RefusesUnknownCodesAndOutOfRangeValues) {
    ReceiverFirmware fw;
    struct Case {
        std::vector<std::uint8_t> request;
        std::uint8_t status;
    } cases[] = {
        {{0x01}, 0},
        {{CMD_SET_IF_GAIN, 59, 0}, 1},
        {{CMD_SET_IF_GAIN, 60, 0}, 0},
        {{CMD_SET_IF_FILTER, 8}, 0},
        {{CMD_SET_BIAS_T, 2}, 0},
        {{CMD_SET_FREQ, 0x9f, 0x86, 0x01, 0x00}, 0},  // 99,999 Hz
        {{CMD_SET_FREQ, 0xa0, 0x86, 0x01, 0x00}, 1},
    };
    for (const auto& c : cases) {
        const auto reply = Ask(fw, c.request);
        EXPECT_EQ(reply[0], c.request[0]);
        EXPECT_EQ(reply[1], c.status) << int(c.request[0]);
    }
    EXPECT_EQ(fw.settings.ifGain, 59);
    EXPECT_EQ(fw.settings.frequencyHz, 100000u);
}

TEST(Firmware, ForcedFailureStatusChangesNothing) {
    ReceiverFirmware fw;
    fw.faults.status = 0;
    Ask(fw, {CMD_SET_BIAS_T, 1});
    Ask(fw, {CMD_RESET_TO_BOOTLOADER});
    EXPECT_EQ(fw.settings.biasT, 0);
    EXPECT_FALSE(fw.leftForBootloader);
    fw.faults.status.reset();
    EXPECT_EQ(Ask(fw, {CMD_RESET_TO_BOOTLOADER})[1], 1);
    EXPECT_TRUE(fw.leftForBootloader);
    std::uint8_t request[64] = {CMD_GET_BIAS_T};
    EXPECT_FALSE(fw.Answer(request, 64)) << "gone into the bootloader";
}

}  // namespace
}  // namespace zelkor
