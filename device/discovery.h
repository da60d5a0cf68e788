// Finding the receiver by its hardware ID and opening it as a pair of
// handles, afresh for every transaction.
#pragma once

#include <cstdio>
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

// When the last HIDOpen found the receiver but could not open it: lines for
// standard error with the path, the system's reason and how to grant access.
// Empty when it opened, or when the receiver is simply not there.
std::string OpenFailureMessage();
// Prints OpenFailureMessage() once, each line behind "program: ", and again
// only after it changed; the status log keeps its own lines regardless.
void ReportOpenFailure(std::FILE* stream, const char* program = "zelkor-ctl");

}  // namespace zelkor
