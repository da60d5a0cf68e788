// Any reply, of any length, through all four exchanges.
#include <cstdint>
#include <cstring>

#include "hid.h"
#include "pause.h"
#include "report.h"

namespace {

class ReplyBackend final : public zelkor::HidBackend {
public:
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    bool pending = false;
    std::vector<zelkor::HidInterfaceInfo> Enumerate() override { return {}; }
    zelkor::HidHandle OpenWrite(const std::string&) override { return 1; }
    zelkor::HidHandle OpenRead(const std::string&) override { return 2; }
    // One reply to every request, as a device gives.
    bool Write(zelkor::HidHandle, const std::uint8_t*) override {
        pending = true;
        return true;
    }
    zelkor::HidIo Read(zelkor::HidHandle, std::uint8_t* report, int) override {
        if (size == 0 || !pending) return zelkor::HidIo::Timeout;
        pending = false;
        // As a backend may: copy whatever arrived, up to a report.
        std::memcpy(report, data, size < zelkor::REPORT_SIZE ? size : zelkor::REPORT_SIZE);
        return size >= 3 ? zelkor::HidIo::Ok : zelkor::HidIo::Failed;
    }
    void Close(zelkor::HidHandle) override {}
};

ReplyBackend g_backend;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelkor;
    static bool ready = [] {
        SetHidBackend(&g_backend);
        SetPauseFunction([](unsigned) {});
        return true;
    }();
    (void)ready;
    if (size < 2) return 0;
    const std::uint8_t length = data[0];
    const std::uint8_t code = data[1];
    g_backend.data = data + 2;
    g_backend.size = size - 2;
    ForgetReplyEcho();  // each input a receiver of its own

    std::uint8_t destination[256];
    std::memset(destination, 0xA5, sizeof destination);
    const std::uint8_t status = HIDReadCommand(1, 2, code, destination, length);
    // Never more than a report's worth of data, never past the asked length.
    for (std::size_t i = length < MAX_READ_DATA ? length : MAX_READ_DATA; i < sizeof destination; ++i)
        if (destination[i] != 0xA5) __builtin_trap();
    std::uint8_t payload[255] = {};
    HIDWriteCommand(1, 2, code, payload, length);
    HIDSetFreq(1, 2, 2500000);
    const std::uint8_t reset = HIDReset(1, 2);
    if (status != reset) __builtin_trap();  // the same reply gives the same status
    return 0;
}
