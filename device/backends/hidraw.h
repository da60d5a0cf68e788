// Linux backend on the kernel's hidraw devices.
#pragma once

#include <optional>
#include <string>

#include "hid.h"

namespace zelkor {

// What a HID device's uevent says about it (HID_ID=bus:vendor:product).
struct HidIds {
    unsigned bus = 0;
    unsigned vendor = 0;
    unsigned product = 0;
};
std::optional<HidIds> ParseHidUevent(const std::string& uevent);

// Hardware-ID strings in the Windows form, most specific first:
// HID\VID_04D8&PID_FB31&REV_0100, HID\VID_04D8&PID_FB31.
std::vector<std::wstring> HardwareIdsFor(const HidIds& ids, std::optional<unsigned> bcdDevice);

class HidrawBackend final : public HidBackend {
public:
    // The roots are parameters so tests can point them at a fixture tree.
    explicit HidrawBackend(std::string sysfsRoot = "/sys", std::string devRoot = "/dev");

    std::vector<HidInterfaceInfo> Enumerate() override;
    HidHandle OpenWrite(const std::string& path) override;
    HidHandle OpenRead(const std::string& path) override;
    bool Write(HidHandle handle, const std::uint8_t* report) override;
    HidIo Read(HidHandle handle, std::uint8_t* report, int timeoutMs) override;
    void Close(HidHandle handle) override;

private:
    std::string sysfsRoot_;
    std::string devRoot_;
};

}  // namespace zelkor
