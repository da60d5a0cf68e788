// Linux backend on the kernel's hidraw devices.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <thread>

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
    ~HidrawBackend() override;
    HidrawBackend(const HidrawBackend&) = delete;
    HidrawBackend& operator=(const HidrawBackend&) = delete;

    std::vector<HidInterfaceInfo> Enumerate() override;
    HidHandle OpenWrite(const std::string& path) override;
    HidHandle OpenRead(const std::string& path) override;
    bool Write(HidHandle handle, const std::uint8_t* report) override;
    HidIo Read(HidHandle handle, std::uint8_t* report, int timeoutMs) override;
    void Close(HidHandle handle) override;
    // flock on the node, waited for in the kernel so that the program that
    // waits gets the next turn.
    bool Lock(HidHandle handle, int timeoutMs) override;
    HidOpenError LastOpenError() override;

    // The node held open between transactions; empty when none is.
    std::string HeldPath();

private:
    // The kernel's USB HID driver pauses 50 ms whenever a device goes from no
    // open descriptor to one, so the node of the device last opened stays
    // open (never read) until it goes away or another node is opened.
    void Hold(const std::string& path);
    void DropHeldIfGoneLocked();
    // Drops the held descriptor the moment the device goes away, so that a
    // returning receiver can have its node back; runs while one is held.
    void Watch();
    void WakeWatcherLocked();
    void WatchNodeDirectoryLocked(const std::string& path);
    HidHandle Open(const std::string& path, int flags);

    std::string sysfsRoot_;
    std::string devRoot_;
    std::mutex mutex_;
    int heldFd_ = -1;
    std::string heldPath_;
    int wakeFd_ = -1;    // eventfd: stop
    int nodesFd_ = -1;   // inotify on the held node's directory
    int watch_ = -1;
    std::string watchedDirectory_;
    bool stopping_ = false;
    std::thread watcher_;
    int lastOpenErrno_ = 0;
};

}  // namespace zelkor
