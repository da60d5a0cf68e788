// Windows backend: the HID interfaces the setup API lists, opened as files.
#include <windows.h>
// After windows.h; initguid.h makes this file define the interface GUID.
#include <initguid.h>
#include <hidclass.h>
#include <setupapi.h>

#include <map>
#include <mutex>

#include "discovery.h"
#include "hid.h"
#include "multi_string.h"
#include "report.h"

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

// The path of the device's own HID interface; empty when it can't be had.
std::string InterfacePath(HDEVINFO set, SP_DEVINFO_DATA* device) {
    SP_DEVICE_INTERFACE_DATA iface{};
    iface.cbSize = sizeof iface;
    if (!SetupDiEnumDeviceInterfaces(set, device, &GUID_DEVINTERFACE_HID, 0, &iface))
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

// Waits for an overlapped transfer up to timeoutMs; past that it is
// cancelled, and the cancel waited for before the buffer goes away.
HidIo Finish(HANDLE file, OVERLAPPED& overlapped, int timeoutMs, DWORD* done) {
    if (WaitForSingleObject(overlapped.hEvent, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0)
        return GetOverlappedResult(file, &overlapped, done, FALSE) ? HidIo::Ok : HidIo::Failed;
    CancelIoEx(file, &overlapped);
    if (GetOverlappedResult(file, &overlapped, done, TRUE)) return HidIo::Ok;
    return GetLastError() == ERROR_OPERATION_ABORTED ? HidIo::Timeout : HidIo::Failed;
}

// A name for the mutex every program shares for one device path.
std::wstring MutexName(const std::string& path) {
    // The only backslash a name may hold ends its namespace.
    std::wstring device = LowerAscii(FromUtf8(path));
    for (wchar_t& c : device)
        if (c == L'\\') c = L'#';
    return (L"Local\\zelkor-" + device).substr(0, MAX_PATH - 1);
}

// Both handles are overlapped, so that neither a write nor a read can block
// for longer than its bound.
class SetupApiBackend final : public HidBackend {
public:
    std::vector<HidInterfaceInfo> Enumerate() override;
    HidHandle OpenWrite(const std::string& path) override;
    HidHandle OpenRead(const std::string& path) override;
    bool Write(HidHandle handle, const std::uint8_t* report) override;
    HidIo Read(HidHandle handle, std::uint8_t* report, int timeoutMs) override;
    void Close(HidHandle handle) override;
    // A named mutex per device path; owned by the thread that took it.
    bool Lock(HidHandle handle, int timeoutMs) override;
    HidOpenError LastOpenError() override;

private:
    HidHandle Open(const std::string& path, DWORD access);

    std::mutex mutex_;
    std::map<HidHandle, std::string> paths_;
    std::map<HidHandle, HANDLE> locks_;
    DWORD lastOpenError_ = 0;
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
        info.path = InterfacePath(set, &device);
        devices.push_back(std::move(info));
    }
    SetupDiDestroyDeviceInfoList(set);
    return devices;
}

HidHandle SetupApiBackend::Open(const std::string& path, DWORD access) {
    const std::wstring widePath = FromUtf8(path);
    if (widePath.empty()) return kInvalidHandle;
    const HidHandle handle = FromHandle(CreateFileW(widePath.c_str(), access,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    std::lock_guard<std::mutex> lock(mutex_);
    if (handle == kInvalidHandle) lastOpenError_ = GetLastError();
    else paths_[handle] = path;
    return handle;
}

HidHandle SetupApiBackend::OpenWrite(const std::string& path) { return Open(path, GENERIC_WRITE); }

HidHandle SetupApiBackend::OpenRead(const std::string& path) { return Open(path, GENERIC_READ); }

HidOpenError SetupApiBackend::LastOpenError() {
    std::lock_guard<std::mutex> lock(mutex_);
    switch (lastOpenError_) {
    case ERROR_SUCCESS:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEVICE_NOT_CONNECTED: return {};
    case ERROR_ACCESS_DENIED: return {"Access is denied", ""};
    case ERROR_SHARING_VIOLATION: return {"another program has it open for itself alone", ""};
    default: return {"Windows error " + std::to_string(lastOpenError_), ""};
    }
}

bool SetupApiBackend::Write(HidHandle handle, const std::uint8_t* report) {
    const HANDLE file = ToHandle(handle);
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!overlapped.hEvent) return false;
    DWORD written = 0;
    HidIo result = HidIo::Failed;
    if (WriteFile(file, report, static_cast<DWORD>(REPORT_SIZE), nullptr, &overlapped) ||
        GetLastError() == ERROR_IO_PENDING)
        result = Finish(file, overlapped, REPLY_TIMEOUT_MS, &written);
    CloseHandle(overlapped.hEvent);
    return result == HidIo::Ok && written == REPORT_SIZE;
}

HidIo SetupApiBackend::Read(HidHandle handle, std::uint8_t* report, int timeoutMs) {
    const HANDLE file = ToHandle(handle);
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!overlapped.hEvent) return HidIo::Failed;
    HidIo result = HidIo::Failed;
    DWORD got = 0;
    if (ReadFile(file, report, static_cast<DWORD>(REPORT_SIZE), nullptr, &overlapped) ||
        GetLastError() == ERROR_IO_PENDING)
        result = Finish(file, overlapped, timeoutMs, &got);
    CloseHandle(overlapped.hEvent);
    if (result == HidIo::Ok && got == 0) result = HidIo::Failed;
    return result;
}

bool SetupApiBackend::Lock(HidHandle handle, int timeoutMs) {
    std::string path;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = paths_.find(handle);
        if (it == paths_.end()) return true;
        path = it->second;
    }
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, MutexName(path).c_str());
    if (!mutex) return true;  // no shared lock to be had: carry on as before
    const DWORD waited = WaitForSingleObject(mutex, static_cast<DWORD>(timeoutMs));
    // An abandoned mutex was left by a program that ended mid-transaction.
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        CloseHandle(mutex);
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    locks_[handle] = mutex;
    return true;
}

void SetupApiBackend::Close(HidHandle handle) {
    HANDLE held = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        paths_.erase(handle);
        auto it = locks_.find(handle);
        if (it != locks_.end()) {
            held = it->second;
            locks_.erase(it);
        }
    }
    if (held) {
        ReleaseMutex(held);
        CloseHandle(held);
    }
    CloseHandle(ToHandle(handle));
}

}  // namespace

HidBackend* PlatformHidBackend() {
    static SetupApiBackend backend;
    return &backend;
}

}  // namespace zelkor
