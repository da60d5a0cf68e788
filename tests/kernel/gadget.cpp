// zelkor-gadget: plays the receiver as a real USB HID device. It builds a
// configfs HID gadget (one 64-byte input and one 64-byte output report, no
// report IDs), binds it to a UDC (dummy_hcd in the kernel test) and answers
// the host on /dev/hidgN with the same firmware model as the simulated
// receiver. Faults: silent, a fixed status, unplug after N reports (the UDC
// is unbound) and replug (bound again), stale reports before every reply,
// unsolicited reports, noise where the firmware echoes the command code,
// and two that SIGUSR1 and SIGUSR2 arm for the next report only: a reply
// sent late, and a refused command followed by a stale success report.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fstream>
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
    "                     [--unplug-after N] [--replug-after-ms MS] [--lifetime S]\n"
    "                     [--state FILE] [--late-ms MS] [--stale N] [--unsolicited-ms MS]\n"
    "                     [--echo-noise] [--faults FILE]\n"
    "SIGUSR1 makes the next reply late, SIGUSR2 refuses the next report, SIGHUP\n"
    "takes the faults anew from FILE (the fault options above, as words).\n";

using WireReport = zelkor::ReceiverFirmware::WireReport;

// Faults of the USB side only; the firmware's own are in ServeOptions.
struct WireFaults {
    int lateMs = 1300;       // the delay of a reply SIGUSR1 made late
    int stale = 0;           // old replies sent again before every reply
    int unsolicitedMs = -1;  // an unasked report this often while idle
    bool echoNoise = false;  // noise in the byte that echoes the command
};

std::atomic<bool> g_lateArmed{false};
std::atomic<bool> g_refuseArmed{false};
std::atomic<bool> g_reloadFaults{false};
void OnLate(int) { g_lateArmed = true; }
void OnRefuse(int) { g_refuseArmed = true; }
void OnReload(int) { g_reloadFaults = true; }

// The faults, which a running gadget also takes from its faults file.
bool ParseFaultOption(int argc, char** argv, int& i, ServeOptions& options, WireFaults& wire,
                      std::string& error) {
    const std::string arg = argv[i];
    if (arg == "--echo-noise") {
        wire.echoNoise = true;
        return true;
    }
    if (arg == "--late-ms" || arg == "--stale" || arg == "--unsolicited-ms") {
        int& field = arg == "--late-ms" ? wire.lateMs : arg == "--stale" ? wire.stale : wire.unsolicitedMs;
        char* end = nullptr;
        const long value = i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : -1;
        if (!end || *end || value < 0 || value > 60000) {
            error = arg + " takes a number from 0 to 60000";
        } else {
            field = int(value);
            ++i;
        }
        return true;
    }
    return ParseServeOption(argc, argv, i, options, error);
}

// The faults file's words replace every fault set before.
bool LoadFaults(const std::string& path, ServeOptions& options, WireFaults& wire, std::string& error) {
    std::ifstream file(path);
    std::vector<std::string> words{"faults"};
    for (std::string word; file >> word;) words.push_back(word);
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    options.silent = false;
    options.status.reset();
    wire = WireFaults{};
    for (int i = 1; i < int(argv.size()); ++i) {
        if (!ParseFaultOption(int(argv.size()), argv.data(), i, options, wire, error)) error = "not a fault: " + words[i];
        if (!error.empty()) return false;
    }
    return true;
}

// Looks like a successful reply to no command at all, with values that no
// setting holds.
WireReport Unasked() {
    WireReport report = {};
    report[1] = 1;
    std::fill(report.begin() + 2, report.begin() + 6, 0x2a);
    return report;
}

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

enum class Kind { Reply, Extra, Unsolicited };

// The host takes an input report only while it polls the endpoint; never
// wait for that longer than a reply could matter. An extra report sent with
// a reply waits less, and an unsolicited one waits for nobody: it is dropped
// while the last report is still pending.
void Send(int fd, const WireReport& report, WireReceiver& receiver, Kind kind = Kind::Reply) {
    const bool unasked = kind != Kind::Reply;
    pollfd pfd{fd, POLLOUT, 0};
    if (::poll(&pfd, 1, kind == Kind::Reply ? 2000 : kind == Kind::Extra ? 200 : 0) <= 0 ||
        !(pfd.revents & POLLOUT)) {
        if (kind != Kind::Unsolicited) receiver.Note("%s not taken by the host", unasked ? "extra report" : "reply");
        return;
    }
    if (::write(fd, report.data(), report.size()) != static_cast<ssize_t>(report.size()))
        receiver.Note("report write failed: %s", std::strerror(errno));
    else if (unasked)
        receiver.LogUnasked(report.data(), report.size());
    else
        receiver.LogSent(report.data(), report.size());
}

// Sleeps, but not past a stop request.
void Pause(int ms) {
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (!StopRequested() && Clock::now() < until)
        std::this_thread::sleep_for(std::min<Clock::duration>(until - Clock::now(), std::chrono::milliseconds(20)));
}

// Answers one report taken from the host, with the faults asked for.
class Responder {
public:
    Responder(WireReceiver& receiver, const WireFaults& faults) : receiver_(receiver), faults_(faults) {}

    void Answer(int fd, const std::uint8_t* data, std::size_t length) {
        const bool refuse = g_refuseArmed.exchange(false);
        const bool late = g_lateArmed.exchange(false);
        std::optional<WireReport> stale;
        if (refuse) {
            // What the command would have got: sent after the refusal, it
            // looks like an old success of the same command.
            zelkor::ReceiverFirmware shadow = receiver_.firmware;
            stale = shadow.Answer(data, length);
            receiver_.firmware.faults.status = 0;
        }
        auto reply = receiver_.Take(data, length);
        if (refuse) receiver_.firmware.faults.status = options_status_;
        if (!reply) return;
        if (faults_.echoNoise) (*reply)[0] = Noise();
        for (int i = 0; i < faults_.stale; ++i) {
            const std::size_t back = std::size_t(faults_.stale - i);
            Send(fd, history_.size() >= back ? history_[history_.size() - back] : Unasked(), receiver_, Kind::Extra);
        }
        if (late) {
            receiver_.Note("reply held back %d ms", faults_.lateMs);
            Pause(faults_.lateMs);
        }
        Send(fd, *reply, receiver_);
        if (stale) Send(fd, *stale, receiver_, Kind::Extra);
        history_.push_back(*reply);
        if (history_.size() > 8) history_.pop_front();
    }

    // The fixed status the firmware answers with outside a refusal.
    void KeepStatus(std::optional<std::uint8_t> status) { options_status_ = status; }

private:
    std::uint8_t Noise() {  // xorshift: repeatable
        noise_ ^= noise_ << 13;
        noise_ ^= noise_ >> 17;
        noise_ ^= noise_ << 5;
        return std::uint8_t(noise_);
    }

    WireReceiver& receiver_;
    const WireFaults& faults_;
    std::deque<WireReport> history_;
    std::optional<std::uint8_t> options_status_;
    std::uint32_t noise_ = 0x9E3779B9u;
};

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
    WireFaults wire;
    std::string faultsPath;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string error;
        const bool hasValue = i + 1 < argc;
        if (ParseFaultOption(argc, argv, i, options, wire, error)) {
            if (!error.empty()) {
                std::fprintf(stderr, "zelkor-gadget: %s\n", error.c_str());
                return 2;
            }
        } else if (hasValue && arg == "--name") {
            gadget.name = argv[++i];
        } else if (hasValue && arg == "--udc") {
            gadget.udc = argv[++i];
        } else if (hasValue && arg == "--faults") {
            faultsPath = argv[++i];
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
    std::signal(SIGUSR1, OnLate);
    std::signal(SIGUSR2, OnRefuse);
    std::signal(SIGHUP, OnReload);
    WireReceiver receiver(options.log);
    receiver.Apply(options);
    Responder responder(receiver, wire);
    responder.KeepStatus(options.status);

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
    auto unaskedAt = wire.unsolicitedMs > 0 ? Clock::now() : Clock::time_point::max();
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
        if (g_reloadFaults.exchange(false)) {
            std::string error;
            if (!LoadFaults(faultsPath, options, wire, error)) receiver.Note("faults file: %s", error.c_str());
            receiver.Apply(options);
            responder.KeepStatus(options.status);
            unaskedAt = wire.unsolicitedMs > 0 ? Clock::now() : Clock::time_point::max();
            receiver.Note("faults now from %s", faultsPath.c_str());
        }
        if (Clock::now() >= unaskedAt) {
            Send(fd, Unasked(), receiver, Kind::Unsolicited);
            unaskedAt = Clock::now() + std::chrono::milliseconds(wire.unsolicitedMs);
        }
        const auto untilUnasked =
            std::chrono::duration_cast<std::chrono::milliseconds>(unaskedAt - Clock::now()).count();
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, int(std::clamp<long long>(untilUnasked, 0, 100))) <= 0 || !(pfd.revents & POLLIN))
            continue;
        std::uint8_t data[64];
        const ssize_t got = ::read(fd, data, sizeof data);
        if (got <= 0) continue;
        if (options.unplugAfter > 0 && receiver.reportsTaken + 1 >= unsigned(options.unplugAfter)) {
            receiver.Take(data, std::size_t(got));
            options.unplugAfter = -1;  // once
            Unplug(gadget, fd, receiver);
            if (options.replugAfterMs >= 0)
                replugAt = Clock::now() + std::chrono::milliseconds(options.replugAfterMs);
            continue;
        }
        responder.Answer(fd, data, std::size_t(got));
    }
    if (fd >= 0) ::close(fd);
    Remove(gadget);
    receiver.Note("stopped");
    return 0;
}
