#include "hid.h"

namespace zelkor {
namespace {

// Stands in until a program installs a backend: nothing is present.
class NoDevices final : public HidBackend {
public:
    std::vector<HidInterfaceInfo> Enumerate() override { return {}; }
    HidHandle OpenWrite(const std::string&) override { return kInvalidHandle; }
    HidHandle OpenRead(const std::string&) override { return kInvalidHandle; }
    bool Write(HidHandle, const std::uint8_t*) override { return false; }
    HidIo Read(HidHandle, std::uint8_t*, int) override { return HidIo::Failed; }
    void Close(HidHandle) override {}
};

NoDevices g_noDevices;
HidBackend* g_backend = nullptr;

}  // namespace

void SetHidBackend(HidBackend* backend) { g_backend = backend; }

HidBackend& CurrentHidBackend() { return g_backend ? *g_backend : g_noDevices; }

}  // namespace zelkor
