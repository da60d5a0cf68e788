// A model of the receiver's firmware: the settings it holds and the replies
// it gives, in the 64-byte wire form (no report-ID byte). Shared by the
// simulated backend and the USB gadget of the kernel test.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace zelkor {

struct FirmwareSettings {
    std::uint32_t frequencyHz = 100000000;
    std::uint8_t rfFilter = 5;  // follows the frequency
    std::uint8_t ifFilter = 0;
    std::uint8_t biasT = 0;
    std::uint8_t lna = 1;
    std::uint8_t mixerGain = 1;
    std::uint16_t ifGain = 0;
};

// Faults that show on the wire.
struct FirmwareFaults {
    bool silent = false;                   // never answers
    std::optional<std::uint8_t> status;    // every reply carries this status
    std::size_t replyLength = 64;          // bytes kept before the rest is zeroed
    bool garbage = false;                  // replies with noise
};

class ReceiverFirmware {
public:
    using WireReport = std::array<std::uint8_t, 64>;

    // Answers one output report; nothing when silent.
    std::optional<WireReport> Answer(const std::uint8_t* data, std::size_t length);

    // The RF band filter the firmware picks for a frequency.
    static std::uint8_t RfFilterFor(std::uint32_t hertz);

    FirmwareSettings settings;
    FirmwareFaults faults;
    // Set once a reset-to-bootloader was carried out: the receiver leaves.
    bool leftForBootloader = false;

private:
    static constexpr std::uint32_t MIN_HZ = 100000u;
    static constexpr std::uint32_t MAX_HZ = 2500000000u;
    bool Apply(std::uint8_t code, const std::uint8_t* payload, WireReport& reply);
    std::uint32_t noise_ = 0x2545F491u;
};

}  // namespace zelkor
