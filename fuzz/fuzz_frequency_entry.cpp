// Any text in the frequency entry: the conversion matches the C library's
// on plain ASCII, and nothing outside 100..2500000 is ever tuned.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cwchar>
#include <string>

#include "tuning.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring text;
    bool ascii = true;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const wchar_t c = static_cast<wchar_t>(data[i] | data[i + 1] << 8);
        if (c == 0) break;
        ascii = ascii && c < 0x80;
        text += c;
    }
    const int value = zelkor::ParseFrequencyEntry(text);
    if (ascii) {
        errno = 0;
        long long expected = std::wcstoll(text.c_str(), nullptr, 10);
        if (expected > INT_MAX) expected = INT_MAX;
        if (expected < INT_MIN) expected = INT_MIN;
        if (value != expected) __builtin_trap();
    }
    return 0;
}
