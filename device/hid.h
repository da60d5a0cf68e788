// The HID seam: everything platform-specific about reaching a HID device.
// One implementation per platform lives in device/backends/; callers never
// see a platform type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zelkor {

// Every report on the seam is 65 bytes: report ID (always 0 here) + 64 data
// bytes, whatever the platform does underneath.
constexpr std::size_t REPORT_SIZE = 65;

using HidHandle = std::intptr_t;
// Not INVALID_HANDLE_VALUE: windows.h defines that as a macro.
constexpr HidHandle kInvalidHandle = -1;

struct HidInterfaceInfo {
    std::vector<std::wstring> hardwareIds;  // empty when the property can't be read
    std::string path;                       // empty when the path can't be had
};

enum class HidIo { Ok, Timeout, Failed };

// Why the last open of a path failed while the device is there.
struct HidOpenError {
    std::string reason;  // the system's words, e.g. "Permission denied"
    std::string advice;  // how to grant access; empty when that is not the cause
};

class HidBackend {
public:
    virtual ~HidBackend() = default;

    // The present HID interfaces, in the platform's enumeration order.
    virtual std::vector<HidInterfaceInfo> Enumerate() = 0;
    virtual HidHandle OpenWrite(const std::string& path) = 0;
    virtual HidHandle OpenRead(const std::string& path) = 0;
    virtual bool Write(HidHandle handle, const std::uint8_t* report) = 0;
    // On anything but Ok the buffer's content is unspecified.
    virtual HidIo Read(HidHandle handle, std::uint8_t* report, int timeoutMs) = 0;
    virtual void Close(HidHandle handle) = 0;

    // The advisory lock other programs see on the device this handle is open
    // on, so that their exchanges never interleave with ours. Released when
    // the handle is closed. False when it was not had within timeoutMs.
    virtual bool Lock(HidHandle, int /*timeoutMs*/) { return true; }
    // After an OpenWrite or OpenRead failed: why, when the device is there
    // but may not be opened; an empty reason when it is simply gone.
    virtual HidOpenError LastOpenError() { return {}; }
    // What the exchange made of a report it read or of a missing reply
    // ("discarded: ...", "no reply: ..."); only a trace shows it.
    virtual void Note(const std::string& /*what*/) {}
};

// The backend every exchange and every HIDOpen goes through. The program
// installs one at start; it is not owned here.
void SetHidBackend(HidBackend* backend);
HidBackend& CurrentHidBackend();

// The platform's own backend (hidraw on Linux, SetupDi on Windows).
HidBackend* PlatformHidBackend();

}  // namespace zelkor
