// The receiver's report protocol: command codes and the four exchanges.
#pragma once

#include <cstdint>

#include "hid.h"

namespace zelkor {

constexpr std::uint8_t REPLY_OK = 1;
constexpr unsigned COMMAND_PAUSE_MS = 10;
// A receiver that never answers must not freeze the program: after this the
// exchange ends with the zero-filled reply, i.e. status 0.
constexpr int REPLY_TIMEOUT_MS = 1000;
// After a timeout the exchange keeps listening until this long after its
// request, so that a late reply is taken off the wire here and never read as
// a later request's answer. Every failure stays under 2 s.
constexpr int LATE_REPLY_LIMIT_MS = 1700;

constexpr std::size_t MAX_PAYLOAD = REPORT_SIZE - 2;    // 63
constexpr std::size_t MAX_READ_DATA = REPORT_SIZE - 3;  // 62

enum : std::uint8_t {
    CMD_SET_FREQ = 0x65,
    CMD_GET_FREQ = 0x66,
    CMD_SET_LNA_ENABLE = 0x6E,
    CMD_SET_RF_FILTER = 0x71,
    CMD_SET_MIXER_GAIN = 0x72,
    CMD_SET_IF_GAIN = 0x75,
    CMD_SET_IF_FILTER = 0x7A,
    CMD_SET_BIAS_T = 0x7E,
    CMD_GET_LNA_ENABLE = 0x96,
    CMD_GET_RF_FILTER = 0x99,
    CMD_GET_MIXER_GAIN = 0x9A,
    CMD_GET_IF_GAIN = 0x9D,
    CMD_GET_IF_FILTER = 0xA2,
    CMD_GET_BIAS_T = 0xA6,
    CMD_RESET_TO_BOOTLOADER = 0xFF,
};

// Each returns the reply's status byte. Lengths beyond what a report can
// carry are cut to fit (63 payload bytes, 62 reply bytes).
std::uint8_t HIDWriteCommand(HidHandle hWrite, HidHandle hRead, std::uint8_t code,
                             const void* payload, std::uint8_t length);
std::uint8_t HIDReadCommand(HidHandle hWrite, HidHandle hRead, std::uint8_t code,
                            void* destination, std::uint8_t length);
std::uint8_t HIDSetFreq(HidHandle hWrite, HidHandle hRead, std::uint32_t kilohertz);
std::uint8_t HIDReset(HidHandle hWrite, HidHandle hRead);

// Whether the receiver echoes the command in reply byte 1 is learnt from its
// replies; another receiver starts afresh.
void ForgetReplyEcho();

}  // namespace zelkor
