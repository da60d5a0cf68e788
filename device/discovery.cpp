#include "discovery.h"

namespace zelkor {

const wchar_t HARDWARE_ID_PATTERN[] = L"Vid_04d8&Pid_fb31";

std::wstring LowerAscii(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

bool MatchesHardwareId(const HidInterfaceInfo& device, const wchar_t* pattern) {
    if (device.hardwareIds.empty()) return false;
    return LowerAscii(device.hardwareIds.front()).find(LowerAscii(pattern)) != std::wstring::npos;
}

int HIDOpen(const wchar_t* pattern, HidHandle* hWrite, HidHandle* hRead) {
    HidBackend& hid = CurrentHidBackend();
    for (const HidInterfaceInfo& device : hid.Enumerate()) {
        if (!MatchesHardwareId(device, pattern)) continue;
        // The search ends at the first match, opened or not.
        if (device.path.empty()) return 0;
        *hWrite = hid.OpenWrite(device.path);
        if (*hWrite == kInvalidHandle) return 0;
        *hRead = hid.OpenRead(device.path);
        if (*hRead == kInvalidHandle) return 0;
        return 1;
    }
    return 0;
}

void HIDClose(HidHandle hWrite, HidHandle hRead) {
    HidBackend& hid = CurrentHidBackend();
    if (hWrite != kInvalidHandle) hid.Close(hWrite);
    if (hRead != kInvalidHandle) hid.Close(hRead);
}

}  // namespace zelkor
