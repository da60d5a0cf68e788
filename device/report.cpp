#include "report.h"

#include <algorithm>
#include <cstring>

#include "pause.h"

namespace zelkor {
namespace {

using Report = std::uint8_t[REPORT_SIZE];

// The results of the transfer are not examined: a failed write or read
// leaves the zero-filled reply, so the exchange reports status 0.
std::uint8_t Exchange(HidHandle hWrite, HidHandle hRead, const Report& out, Report& in) {
    HidBackend& hid = CurrentHidBackend();
    hid.Write(hWrite, out);
    if (hid.Read(hRead, in, REPLY_TIMEOUT_MS) != HidIo::Ok) std::memset(in, 0, REPORT_SIZE);
    return in[2];
}

}  // namespace

std::uint8_t HIDWriteCommand(HidHandle hWrite, HidHandle hRead, std::uint8_t code,
                             const void* payload, std::uint8_t length) {
    Report au8BufOut = {};
    Report au8BufIn = {};
    au8BufOut[0] = 0;
    au8BufOut[1] = code;
    if (payload) std::memcpy(au8BufOut + 2, payload, std::min<std::size_t>(length, MAX_PAYLOAD));
    Pause(COMMAND_PAUSE_MS);
    return Exchange(hWrite, hRead, au8BufOut, au8BufIn);
}

std::uint8_t HIDReadCommand(HidHandle hWrite, HidHandle hRead, std::uint8_t code,
                            void* destination, std::uint8_t length) {
    Report au8BufOut = {};
    Report au8BufIn = {};
    au8BufOut[0] = 0;
    au8BufOut[1] = code;
    Pause(COMMAND_PAUSE_MS);
    const std::uint8_t status = Exchange(hWrite, hRead, au8BufOut, au8BufIn);
    if (destination)
        std::memcpy(destination, au8BufIn + 3, std::min<std::size_t>(length, MAX_READ_DATA));
    return status;
}

std::uint8_t HIDSetFreq(HidHandle hWrite, HidHandle hRead, std::uint32_t kilohertz) {
    Report au8BufOut = {};
    Report au8BufIn = {};
    const std::uint32_t hertz = kilohertz * 1000u;
    au8BufOut[0] = 0;
    au8BufOut[1] = CMD_SET_FREQ;
    for (int i = 0; i < 4; ++i) au8BufOut[2 + i] = static_cast<std::uint8_t>(hertz >> (8 * i));
    return Exchange(hWrite, hRead, au8BufOut, au8BufIn);
}

std::uint8_t HIDReset(HidHandle hWrite, HidHandle hRead) {
    Report au8BufOut = {};
    Report au8BufIn = {};
    au8BufOut[0] = 0;
    au8BufOut[1] = CMD_RESET_TO_BOOTLOADER;
    return Exchange(hWrite, hRead, au8BufOut, au8BufIn);
}

}  // namespace zelkor
