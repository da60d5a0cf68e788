#include "hidraw.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace zelkor {
namespace fs = std::filesystem;
namespace {

std::optional<std::string> ReadSmallFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text;
    char buffer[4096];
    in.read(buffer, sizeof buffer);  // sysfs attributes are small; cap what we take
    text.assign(buffer, static_cast<std::size_t>(in.gcount()));
    return text;
}

std::optional<unsigned> ParseHex(const std::string& text, unsigned maxValue) {
    if (text.empty() || text.size() > 8) return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return std::nullopt;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    if (value > maxValue) return std::nullopt;
    return value;
}

// The USB device above a hidraw node, if there is one (uhid has none).
std::optional<unsigned> FindBcdDevice(const fs::path& hidDevice) {
    std::error_code ec;
    fs::path dir = fs::canonical(hidDevice, ec);
    if (ec) return std::nullopt;
    for (int up = 0; up < 3 && dir.has_parent_path() && dir != dir.root_path(); ++up) {
        dir = dir.parent_path();
        if (auto text = ReadSmallFile(dir / "bcdDevice")) {
            std::string digits = *text;
            digits.erase(std::remove_if(digits.begin(), digits.end(),
                                        [](char c) { return c == '\n' || c == ' '; }),
                         digits.end());
            return ParseHex(digits, 0xFFFF);
        }
    }
    return std::nullopt;
}

// hidraw2 before hidraw10.
bool NodeOrder(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

std::wstring Hex4(unsigned value) {
    wchar_t text[8];
    std::swprintf(text, 8, L"%04X", value & 0xFFFFu);
    return text;
}

}  // namespace

std::optional<HidIds> ParseHidUevent(const std::string& uevent) {
    std::istringstream lines(uevent);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("HID_ID=", 0) != 0) continue;
        const std::string value = line.substr(7);
        const auto first = value.find(':');
        const auto second = first == std::string::npos ? first : value.find(':', first + 1);
        if (second == std::string::npos) return std::nullopt;
        auto bus = ParseHex(value.substr(0, first), 0xFFFF);
        auto vendor = ParseHex(value.substr(first + 1, second - first - 1), 0xFFFF);
        auto product = ParseHex(value.substr(second + 1), 0xFFFF);
        if (!bus || !vendor || !product) return std::nullopt;
        return HidIds{*bus, *vendor, *product};
    }
    return std::nullopt;
}

std::vector<std::wstring> HardwareIdsFor(const HidIds& ids, std::optional<unsigned> bcdDevice) {
    const std::wstring base = L"HID\\VID_" + Hex4(ids.vendor) + L"&PID_" + Hex4(ids.product);
    std::vector<std::wstring> list;
    if (bcdDevice) list.push_back(base + L"&REV_" + Hex4(*bcdDevice));
    list.push_back(base);
    return list;
}

HidrawBackend::HidrawBackend(std::string sysfsRoot, std::string devRoot)
    : sysfsRoot_(std::move(sysfsRoot)), devRoot_(std::move(devRoot)) {}

std::vector<HidInterfaceInfo> HidrawBackend::Enumerate() {
    std::vector<std::string> nodes;
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(sysfsRoot_) / "class" / "hidraw", ec), end;
         !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind("hidraw", 0) == 0) nodes.push_back(name);
    }
    std::sort(nodes.begin(), nodes.end(), NodeOrder);

    std::vector<HidInterfaceInfo> devices;
    for (const std::string& node : nodes) {
        const fs::path hidDevice = fs::path(sysfsRoot_) / "class" / "hidraw" / node / "device";
        HidInterfaceInfo info;
        info.path = devRoot_ + "/" + node;
        if (auto uevent = ReadSmallFile(hidDevice / "uevent"))
            if (auto ids = ParseHidUevent(*uevent))
                info.hardwareIds = HardwareIdsFor(*ids, FindBcdDevice(hidDevice));
        devices.push_back(std::move(info));
    }
    return devices;
}

HidHandle HidrawBackend::OpenWrite(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    return fd < 0 ? kInvalidHandle : fd;
}

HidHandle HidrawBackend::OpenRead(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    return fd < 0 ? kInvalidHandle : fd;
}

bool HidrawBackend::Write(HidHandle handle, const std::uint8_t* report) {
    // Unnumbered reports: the kernel takes report ID 0 in front and strips it.
    ssize_t written;
    do {
        written = ::write(static_cast<int>(handle), report, REPORT_SIZE);
    } while (written < 0 && errno == EINTR);
    return written == static_cast<ssize_t>(REPORT_SIZE);
}

HidIo HidrawBackend::Read(HidHandle handle, std::uint8_t* report, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd pfd{static_cast<int>(handle), POLLIN, 0};
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const int ready = ::poll(&pfd, 1, static_cast<int>(std::max<long long>(0, left.count())));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return HidIo::Failed;
        if (ready == 0) return HidIo::Timeout;
        if (!(pfd.revents & POLLIN)) return HidIo::Failed;  // POLLERR/POLLHUP: unplugged
        break;
    }
    // The kernel hands back the 64 data bytes without a report ID.
    std::memset(report, 0, REPORT_SIZE);
    ssize_t got;
    do {
        got = ::read(static_cast<int>(handle), report + 1, REPORT_SIZE - 1);
    } while (got < 0 && errno == EINTR);
    return got > 0 ? HidIo::Ok : HidIo::Failed;
}

void HidrawBackend::Close(HidHandle handle) { ::close(static_cast<int>(handle)); }

HidBackend* PlatformHidBackend() {
    static HidrawBackend backend;
    return &backend;
}

}  // namespace zelkor
