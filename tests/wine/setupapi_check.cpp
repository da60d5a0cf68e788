// Checks the setup-API backend against the HID devices Wine itself provides
// (a virtual mouse and keyboard, vendor 845E): they are listed with their
// hardware IDs and paths, none passes for the receiver, and a read on a
// device that sends nothing gives up after its timeout and leaves the
// handle usable. Run by scripts/test-windows; prints one line per check.
#include <chrono>
#include <cstdio>
#include <string>

#include "discovery.h"
#include "hid.h"

namespace {

using namespace zelkor;

int g_passed = 0;
int g_failed = 0;

void Check(bool ok, const std::string& what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
    (ok ? g_passed : g_failed)++;
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

}  // namespace

int main() {
    HidBackend& hid = *PlatformHidBackend();
    SetHidBackend(&hid);

    const std::vector<HidInterfaceInfo> devices = hid.Enumerate();
    Check(!devices.empty(), std::to_string(devices.size()) + " HID interfaces listed");
    for (const HidInterfaceInfo& device : devices) {
        const std::string first = device.hardwareIds.empty() ? "" : Narrow(device.hardwareIds[0]);
        Check(LowerAscii(device.hardwareIds.empty() ? L"" : device.hardwareIds[0])
                      .find(L"vid_845e") != std::wstring::npos,
              "hardware ID " + first);
        Check(!device.path.empty(), "path " + device.path);
        Check(!MatchesHardwareId(device, HARDWARE_ID_PATTERN), "not taken for the receiver");
    }

    HidHandle hWrite = kInvalidHandle, hRead = kInvalidHandle;
    Check(HIDOpen(HARDWARE_ID_PATTERN, &hWrite, &hRead) == 0 && hWrite == kInvalidHandle &&
              hRead == kInvalidHandle,
          "HIDOpen finds no receiver and opens nothing");
    HIDClose(hWrite, hRead);

    if (!devices.empty()) {
        const std::string& path = devices.front().path;
        const HidHandle w = hid.OpenWrite(path);
        const HidHandle r = hid.OpenRead(path);
        Check(w != kInvalidHandle && r != kInvalidHandle, "opened for writing and for reading");
        if (r != kInvalidHandle) {
            for (int attempt = 1; attempt <= 2; ++attempt) {
                std::uint8_t report[REPORT_SIZE];
                const auto start = std::chrono::steady_clock::now();
                const HidIo result = hid.Read(r, report, 300);
                const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now() - start)
                                    .count();
                Check(result == HidIo::Timeout,
                      "read " + std::to_string(attempt) + " on a silent device gives up after " +
                          std::to_string(ms) + " ms (timeout 300 ms)");
            }
        }
        if (w != kInvalidHandle) hid.Close(w);
        if (r != kInvalidHandle) hid.Close(r);
    }

    SetHidBackend(nullptr);
    std::printf("setupapi-check: %d of %d checks passed\n", g_passed, g_passed + g_failed);
    return g_failed == 0 ? 0 : 1;
}
