#include "simulated_firmware.h"

#include <algorithm>
#include <cstring>

#include "report.h"

namespace zelkor {

std::uint8_t ReceiverFirmware::RfFilterFor(std::uint32_t hertz) {
    const std::uint32_t mhz = hertz / 1000000u;
    // Narrow amateur bands first, then the wide bands; outside the table the
    // nearest end band is used.
    if (hertz >= 144000000u && hertz < 146000000u) return 7;
    if (hertz >= 430000000u && hertz < 440000000u) return 9;
    if (hertz < 4000000u) return 0;
    if (mhz < 8) return 1;
    if (mhz < 16) return 2;
    if (mhz < 32) return 3;
    if (mhz < 75) return 4;
    if (mhz < 125) return 5;
    if (mhz < 250) return 6;
    if (mhz < 875) return 8;
    return 10;
}

bool ReceiverFirmware::Apply(std::uint8_t code, const std::uint8_t* p, WireReport& reply) {
    std::uint8_t* data = reply.data() + 2;
    const bool write = !faults.status || *faults.status == REPLY_OK;
    auto flag = [&](std::uint8_t& field) {
        if (p[0] > 1) return false;
        if (write) field = p[0];
        return true;
    };
    switch (code) {
    case CMD_SET_FREQ: {
        const std::uint32_t hz = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
                                 std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
        if (hz < MIN_HZ || hz > MAX_HZ) return false;
        if (write) {
            settings.frequencyHz = hz;
            settings.rfFilter = RfFilterFor(hz);
        }
        return true;
    }
    case CMD_SET_LNA_ENABLE: return flag(settings.lna);
    case CMD_SET_MIXER_GAIN: return flag(settings.mixerGain);
    case CMD_SET_BIAS_T: return flag(settings.biasT);
    case CMD_SET_RF_FILTER:
        if (p[0] > 10) return false;
        if (write) settings.rfFilter = p[0];
        return true;
    case CMD_SET_IF_FILTER:
        if (p[0] > 7) return false;
        if (write) settings.ifFilter = p[0];
        return true;
    case CMD_SET_IF_GAIN: {
        const std::uint16_t step = std::uint16_t(p[0] | p[1] << 8);
        if (step > 59) return false;
        if (write) settings.ifGain = step;
        return true;
    }
    case CMD_GET_FREQ:
        for (int i = 0; i < 4; ++i) data[i] = std::uint8_t(settings.frequencyHz >> (8 * i));
        return true;
    case CMD_GET_LNA_ENABLE: data[0] = settings.lna; return true;
    case CMD_GET_RF_FILTER: data[0] = settings.rfFilter; return true;
    case CMD_GET_MIXER_GAIN: data[0] = settings.mixerGain; return true;
    case CMD_GET_IF_GAIN: data[0] = std::uint8_t(settings.ifGain); return true;
    case CMD_GET_IF_FILTER: data[0] = settings.ifFilter; return true;
    case CMD_GET_BIAS_T: data[0] = settings.biasT; return true;
    case CMD_RESET_TO_BOOTLOADER:
        if (write) leftForBootloader = true;
        return true;
    default: return false;
    }
}

std::optional<ReceiverFirmware::WireReport> ReceiverFirmware::Answer(const std::uint8_t* data,
                                                                      std::size_t length) {
    if (faults.silent || leftForBootloader) return std::nullopt;
    std::uint8_t request[64] = {};
    std::memcpy(request, data, std::min<std::size_t>(length, sizeof request));
    WireReport reply = {};
    reply[0] = request[0];
    const bool done = Apply(request[0], request + 1, reply);
    reply[1] = faults.status ? *faults.status : (done ? REPLY_OK : 0);
    if (faults.garbage) {
        for (auto& byte : reply) {  // xorshift: repeatable noise
            noise_ ^= noise_ << 13;
            noise_ ^= noise_ >> 17;
            noise_ ^= noise_ << 5;
            byte = std::uint8_t(noise_);
        }
    }
    if (faults.replyLength < reply.size())
        std::fill(reply.begin() + faults.replyLength, reply.end(), 0);
    return reply;
}

}  // namespace zelkor
