// What the receiver's filter codes mean, shared by the panel's selectors,
// the command-line tool and the simulated firmware.
#pragma once

#include <cstdint>

namespace zelkor {

struct SelectorItem {
    const wchar_t* label;  // nullptr ends a list
    std::uint8_t code;
};

extern const SelectorItem kRfFilterItems[];  // codes 0..10
extern const SelectorItem kIfFilterItems[];  // codes 0..7

constexpr std::uint32_t MIN_FREQUENCY_KHZ = 100;
constexpr std::uint32_t MAX_FREQUENCY_KHZ = 2500000;
constexpr unsigned IF_GAIN_MAX = 59;

// The label of `code` in a list, or nullptr.
const wchar_t* LabelForCode(const SelectorItem* items, std::uint8_t code);

}  // namespace zelkor
