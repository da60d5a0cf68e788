// Finding the receiver by its hardware ID and opening it as a pair of
// handles, afresh for every transaction.
#pragma once

#include <string>

#include "hid.h"

namespace zelkor {

extern const wchar_t HARDWARE_ID_PATTERN[];  // L"Vid_04d8&Pid_fb31"

// Lowercases A-Z only, so no locale can change other characters.
std::wstring LowerAscii(std::wstring text);

// Only the first hardware-ID string counts, matched without regard to case.
bool MatchesHardwareId(const HidInterfaceInfo& device, const wchar_t* pattern);

// 1 when the first matching device was found and both handles opened, else 0.
// Each handle is stored as soon as it is opened: the caller closes the pair
// on every path.
int HIDOpen(const wchar_t* pattern, HidHandle* hWrite, HidHandle* hRead);
void HIDClose(HidHandle hWrite, HidHandle hRead);

}  // namespace zelkor
