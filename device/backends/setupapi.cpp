// Windows backend: the HID interfaces the setup API lists, opened as files.
#include <windows.h>
// After windows.h; initguid.h makes this file define the interface GUID.
#include <initguid.h>
#include <hidclass.h>
#include <setupapi.h>

#include "hid.h"
#include "multi_string.h"

namespace zelkor {
namespace {

// Device paths are ASCII in practice; UTF-8 keeps any other character.
std::string ToUtf8(const wchar_t* text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) return {};
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), bytes, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(bytes - 1));
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    const int chars = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (chars <= 1) return {};
    std::wstring out(static_cast<std::size_t>(chars), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), chars);
    out.resize(static_cast<std::size_t>(chars - 1));
    return out;
}

HANDLE ToHandle(HidHandle handle) { return reinterpret_cast<HANDLE>(handle); }

HidHandle FromHandle(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? kInvalidHandle : reinterpret_cast<HidHandle>(handle);
}

// Empty when the property can't be read: such a device never matches.
std::vector<std::wstring> HardwareIds(HDEVINFO set, SP_DEVINFO_DATA* device) {
    BYTE* buffer = nullptr;
    DWORD size = 0;
    bool ok = true;
    while (!SetupDiGetDeviceRegistryPropertyW(set, device, SPDRP_HARDWAREID, nullptr, buffer,
                                              size, &size)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            ok = false;
            break;
        }
        if (buffer) LocalFree(buffer);
        buffer = static_cast<BYTE*>(LocalAlloc(LPTR, size));
        if (!buffer) {
            ok = false;
            break;
        }
    }
    std::vector<std::wstring> ids;
    if (ok) ids = SplitMultiString(reinterpret_cast<const wchar_t*>(buffer), size);
    if (buffer) LocalFree(buffer);
    return ids;
}

// The path of the set's index-th HID interface; empty when it can't be had.
std::string InterfacePath(HDEVINFO set, DWORD index) {
    SP_DEVICE_INTERFACE_DATA iface{};
    iface.cbSize = sizeof iface;
    if (!SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_HID, index, &iface))
        return {};
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailW(set, &iface, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) return {};
    auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(LocalAlloc(LPTR, size));
    if (!detail) return {};
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    std::string path;
    if (SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, size, nullptr, nullptr))
        path = ToUtf8(detail->DevicePath);
    LocalFree(detail);
    return path;
}

HidHandle Open(const std::string& path, DWORD access, DWORD flags) {
    const std::wstring widePath = FromUtf8(path);
    if (widePath.empty()) return kInvalidHandle;
    return FromHandle(CreateFileW(widePath.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, flags, nullptr));
}

class SetupApiBackend final : public HidBackend {
public:
    std::vector<HidInterfaceInfo> Enumerate() override;
    HidHandle OpenWrite(const std::string& path) override;
    // Overlapped, so that a read can be given up after its timeout.
    HidHandle OpenRead(const std::string& path) override;
    bool Write(HidHandle handle, const std::uint8_t* report) override;
    HidIo Read(HidHandle handle, std::uint8_t* report, int timeoutMs) override;
    void Close(HidHandle handle) override;
};

std::vector<HidInterfaceInfo> SetupApiBackend::Enumerate() {
    std::vector<HidInterfaceInfo> devices;
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVINTERFACE_HID, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return devices;
    for (DWORD i = 0;; ++i) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(set, i, &device)) break;
        HidInterfaceInfo info;
        info.hardwareIds = HardwareIds(set, &device);
        // The interface of the same index belongs to this device.
        info.path = InterfacePath(set, i);
        devices.push_back(std::move(info));
    }
    SetupDiDestroyDeviceInfoList(set);
    return devices;
}

HidHandle SetupApiBackend::OpenWrite(const std::string& path) {
    return Open(path, GENERIC_WRITE, 0);
}

HidHandle SetupApiBackend::OpenRead(const std::string& path) {
    return Open(path, GENERIC_READ, FILE_FLAG_OVERLAPPED);
}

bool SetupApiBackend::Write(HidHandle handle, const std::uint8_t* report) {
    DWORD written = 0;
    return WriteFile(ToHandle(handle), report, static_cast<DWORD>(REPORT_SIZE), &written,
                     nullptr) &&
           written == REPORT_SIZE;
}

HidIo SetupApiBackend::Read(HidHandle handle, std::uint8_t* report, int timeoutMs) {
    const HANDLE file = ToHandle(handle);
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!overlapped.hEvent) return HidIo::Failed;
    HidIo result = HidIo::Failed;
    DWORD got = 0;
    if (ReadFile(file, report, static_cast<DWORD>(REPORT_SIZE), nullptr, &overlapped) ||
        GetLastError() == ERROR_IO_PENDING) {
        if (WaitForSingleObject(overlapped.hEvent, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0) {
            if (GetOverlappedResult(file, &overlapped, &got, FALSE)) result = HidIo::Ok;
        } else {
            // A silent receiver: give up, and wait for the cancel to land
            // before the buffer and the event go away.
            CancelIoEx(file, &overlapped);
            if (GetOverlappedResult(file, &overlapped, &got, TRUE)) result = HidIo::Ok;
            else if (GetLastError() == ERROR_OPERATION_ABORTED) result = HidIo::Timeout;
        }
    }
    CloseHandle(overlapped.hEvent);
    if (result == HidIo::Ok && got == 0) result = HidIo::Failed;
    return result;
}

void SetupApiBackend::Close(HidHandle handle) { CloseHandle(ToHandle(handle)); }

}  // namespace

HidBackend* PlatformHidBackend() {
    static SetupApiBackend backend;
    return &backend;
}

}  // namespace zelkor
