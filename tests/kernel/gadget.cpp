// zelkor-gadget: plays the receiver as a real USB HID device. It builds a
// configfs HID gadget (one 64-byte input and one 64-byte output report, no
// report IDs), binds it to a UDC (dummy_hcd in the kernel test) and answers
// the host on /dev/hidgN with the same firmware model as the simulated
// receiver. Faults: silent, a fixed status, unplug after N reports (the UDC
// is unbound) and replug (bound again).
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <string>
#include <thread>
#include <vector>

#include "wire_receiver.h"

namespace {
using namespace zelkor::kerneltest;
using Clock = std::chrono::steady_clock;

const char kUsage[] =
    "usage: zelkor-gadget [--name DIR] [--udc UDC] [--vendor ID] [--product ID] [--bcd BCD]\n"
    "                     [--serial TEXT] [--log FILE] [--silent] [--status N]\n"
    "                     [--unplug-after N] [--replug-after-ms MS] [--lifetime S]\n";

// Vendor-defined page, 64 bytes in, 64 bytes out, no report ID.
const unsigned char kReportDescriptor[] = {
    0x06, 0x00, 0xFF,  // usage page (vendor 0xFF00)
    0x09, 0x01,        // usage 1
    0xA1, 0x01,        // collection (application)
    0x15, 0x00,        //   logical minimum 0
    0x26, 0xFF, 0x00,  //   logical maximum 255
    0x75, 0x08,        //   report size 8
    0x95, 0x40,        //   report count 64
    0x09, 0x01,        //   usage 1
    0x81, 0x02,        //   input (data, variable, absolute)
    0x95, 0x40,        //   report count 64
    0x09, 0x01,        //   usage 1
    0x91, 0x02,        //   output (data, variable, absolute)
    0xC0,              // end collection
};

struct Gadget {
    std::string name = "zelkor";
    std::string udc;
    unsigned vendor = 0x04d8;
    unsigned product = 0xfb31;
    unsigned bcd = 0x0213;
    std::string serial = "ZK0001";

    std::string Dir() const { return "/sys/kernel/config/usb_gadget/" + name; }
    std::string Function() const { return Dir() + "/functions/hid.usb0"; }
};

std::string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04x", value);
    return text;
}

void Remove(const Gadget& g) {
    const std::string d = g.Dir();
    if (::access(d.c_str(), F_OK) != 0) return;
    WriteAttribute(d + "/UDC", "\n");
    ::unlink((d + "/configs/c.1/hid.usb0").c_str());
    ::rmdir((d + "/configs/c.1/strings/0x409").c_str());
    ::rmdir((d + "/configs/c.1").c_str());
    ::rmdir(g.Function().c_str());
    ::rmdir((d + "/strings/0x409").c_str());
    ::rmdir(d.c_str());
}

bool Create(const Gadget& g, std::string& error) {
    Remove(g);  // a gadget left behind by an earlier run
    const std::string d = g.Dir();
    const std::string f = g.Function();
    auto dir = [&](const std::string& path) {
        if (::mkdir(path.c_str(), 0755) == 0) return true;
        error = "mkdir " + path + ": " + std::strerror(errno);
        return false;
    };
    auto attr = [&](const std::string& path, const std::string& value) {
        if (WriteAttribute(path, value)) return true;
        error = "write " + path + ": " + std::strerror(errno);
        return false;
    };
    return dir(d) && attr(d + "/idVendor", Hex(g.vendor)) && attr(d + "/idProduct", Hex(g.product)) &&
           attr(d + "/bcdDevice", Hex(g.bcd)) && attr(d + "/bcdUSB", "0x0200") &&
           dir(d + "/strings/0x409") && attr(d + "/strings/0x409/manufacturer", "Zelkor") &&
           attr(d + "/strings/0x409/product", "Zelkor receiver") &&
           attr(d + "/strings/0x409/serialnumber", g.serial) && dir(d + "/configs/c.1") &&
           attr(d + "/configs/c.1/MaxPower", "100") && dir(d + "/configs/c.1/strings/0x409") &&
           attr(d + "/configs/c.1/strings/0x409/configuration", "receiver") && dir(f) &&
           attr(f + "/protocol", "0") && attr(f + "/subclass", "0") && attr(f + "/report_length", "64") &&
           attr(f + "/report_desc",
                std::string(reinterpret_cast<const char*>(kReportDescriptor), sizeof kReportDescriptor)) &&
           (::symlink(f.c_str(), (d + "/configs/c.1/hid.usb0").c_str()) == 0 ||
            (error = "symlink: " + std::string(std::strerror(errno)), false));
}

std::string FirstUdc() {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir("/sys/class/udc")) {
        while (dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.') names.push_back(entry->d_name);
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names.empty() ? std::string() : names.front();
}

// Binding plugs the device in; the function's node appears with it.
int BindAndOpen(const Gadget& g, WireReceiver& receiver) {
    if (!WriteAttribute(g.Dir() + "/UDC", g.udc)) {
        receiver.Note("binding to %s failed: %s", g.udc.c_str(), std::strerror(errno));
        return -1;
    }
    const auto dev = ReadAttribute(g.Function() + "/dev");  // "major:minor"
    const std::string node =
        "/dev/hidg" + (dev && dev->find(':') != std::string::npos ? dev->substr(dev->find(':') + 1) : "0");
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline && !StopRequested()) {
        const int fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
        if (fd >= 0) {
            receiver.Note("plugged in on %s, serving %s", g.udc.c_str(), node.c_str());
            return fd;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    receiver.Note("%s did not appear", node.c_str());
    return -1;
}

void Unplug(const Gadget& g, int& fd, WireReceiver& receiver) {
    if (fd >= 0) ::close(fd);
    fd = -1;
    WriteAttribute(g.Dir() + "/UDC", "\n");
    receiver.Note("unplugged after %u reports", receiver.reportsTaken);
}

// The host takes an input report only while it polls the endpoint; never
// wait for that longer than a reply could matter.
void Reply(int fd, const zelkor::ReceiverFirmware::WireReport& reply, WireReceiver& receiver) {
    pollfd pfd{fd, POLLOUT, 0};
    if (::poll(&pfd, 1, 2000) <= 0 || !(pfd.revents & POLLOUT)) {
        receiver.Note("reply not taken by the host");
        return;
    }
    if (::write(fd, reply.data(), reply.size()) == static_cast<ssize_t>(reply.size()))
        receiver.LogSent(reply.data(), reply.size());
    else
        receiver.Note("reply write failed: %s", std::strerror(errno));
}

bool ParseHex16(const char* text, unsigned& out) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 16);
    if (!*text || *end || value > 0xFFFF) return false;
    out = unsigned(value);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Gadget gadget;
    ServeOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string error;
        const bool hasValue = i + 1 < argc;
        if (ParseServeOption(argc, argv, i, options, error)) {
            if (!error.empty()) {
                std::fprintf(stderr, "zelkor-gadget: %s\n", error.c_str());
                return 2;
            }
        } else if (hasValue && arg == "--name") {
            gadget.name = argv[++i];
        } else if (hasValue && arg == "--udc") {
            gadget.udc = argv[++i];
        } else if (hasValue && arg == "--serial") {
            gadget.serial = argv[++i];
        } else if (hasValue && (arg == "--vendor" || arg == "--product" || arg == "--bcd")) {
            unsigned& field = arg == "--vendor" ? gadget.vendor : arg == "--product" ? gadget.product : gadget.bcd;
            if (!ParseHex16(argv[++i], field)) {
                std::fprintf(stderr, "zelkor-gadget: %s takes four hex digits\n", arg.c_str());
                return 2;
            }
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (gadget.udc.empty()) gadget.udc = FirstUdc();
    if (gadget.udc.empty()) {
        std::fprintf(stderr, "zelkor-gadget: no UDC in /sys/class/udc (is dummy_hcd loaded?)\n");
        return 1;
    }

    InstallStopHandlers();
    WireReceiver receiver(options.log);
    receiver.firmware.faults.silent = options.silent;
    receiver.firmware.faults.status = options.status;

    std::string error;
    if (!Create(gadget, error)) {
        std::fprintf(stderr, "zelkor-gadget: %s\n", error.c_str());
        Remove(gadget);
        return 1;
    }
    int fd = BindAndOpen(gadget, receiver);
    if (fd < 0) {
        Remove(gadget);
        return 1;
    }

    const auto end = Clock::now() + std::chrono::seconds(options.lifetimeS);
    auto replugAt = Clock::time_point::max();  // max: stays unplugged
    while (!StopRequested() && Clock::now() < end) {
        if (fd < 0) {
            if (Clock::now() >= replugAt) {
                replugAt = Clock::time_point::max();
                fd = BindAndOpen(gadget, receiver);
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            continue;
        }
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, 100) <= 0 || !(pfd.revents & POLLIN)) continue;
        std::uint8_t data[64];
        const ssize_t got = ::read(fd, data, sizeof data);
        if (got <= 0) continue;
        const auto reply = receiver.Take(data, std::size_t(got));
        if (options.unplugAfter > 0 && receiver.reportsTaken >= unsigned(options.unplugAfter)) {
            options.unplugAfter = -1;  // once
            Unplug(gadget, fd, receiver);
            if (options.replugAfterMs >= 0)
                replugAt = Clock::now() + std::chrono::milliseconds(options.replugAfterMs);
            continue;
        }
        if (reply) Reply(fd, *reply, receiver);
    }
    if (fd >= 0) ::close(fd);
    Remove(gadget);
    receiver.Note("stopped");
    return 0;
}
