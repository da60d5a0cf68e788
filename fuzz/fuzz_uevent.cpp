// Any uevent text: parsing never fails unsafely, and what it accepts makes
// a well-formed hardware ID.
#include <cstdint>
#include <string>

#include "hidraw.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto ids = zelkor::ParseHidUevent(text);
    if (!ids) return 0;
    if (ids->vendor > 0xFFFF || ids->product > 0xFFFF || ids->bus > 0xFFFF) __builtin_trap();
    for (const std::wstring& id : zelkor::HardwareIdsFor(*ids, ids->bus)) {
        if (id.rfind(L"HID\\VID_", 0) != 0 || id.size() > 40) __builtin_trap();
    }
    return 0;
}
