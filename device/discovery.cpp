#include "discovery.h"

#include <mutex>

#include "report.h"

namespace zelkor {
namespace {

std::mutex g_failureMutex;
std::string g_failure;   // OpenFailureMessage()
std::string g_reported;  // what ReportOpenFailure last printed
std::string g_lastPath;  // of the receiver last opened

void NoteOpenFailure(HidBackend& hid, const std::string& path) {
    const HidOpenError error = hid.LastOpenError();
    std::string text;
    if (!error.reason.empty()) {
        text = "the receiver is at " + path + " but cannot be opened: " + error.reason + "\n";
        if (!error.advice.empty()) text += error.advice + "\n";
    }
    std::lock_guard<std::mutex> lock(g_failureMutex);
    g_failure = text;
}

void ClearOpenFailure() {
    std::lock_guard<std::mutex> lock(g_failureMutex);
    g_failure.clear();
}

}  // namespace

const wchar_t HARDWARE_ID_PATTERN[] = L"Vid_04d8&Pid_fb31";

std::wstring LowerAscii(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

bool MatchesHardwareId(const HidInterfaceInfo& device, const wchar_t* pattern) {
    if (device.hardwareIds.empty()) return false;
    return LowerAscii(device.hardwareIds.front()).find(LowerAscii(pattern)) != std::wstring::npos;
}

int HIDOpen(const wchar_t* pattern, HidHandle* hWrite, HidHandle* hRead) {
    HidBackend& hid = CurrentHidBackend();
    for (const HidInterfaceInfo& device : hid.Enumerate()) {
        if (!MatchesHardwareId(device, pattern)) continue;
        // The search ends at the first match, opened or not.
        if (device.path.empty()) break;
        *hWrite = hid.OpenWrite(device.path);
        if (*hWrite != kInvalidHandle) *hRead = hid.OpenRead(device.path);
        if (*hWrite == kInvalidHandle || *hRead == kInvalidHandle) {
            NoteOpenFailure(hid, device.path);
            return 0;
        }
        ClearOpenFailure();
        if (device.path != g_lastPath) {
            g_lastPath = device.path;
            ForgetReplyEcho();
        }
        return 1;
    }
    ClearOpenFailure();
    return 0;
}

void HIDClose(HidHandle hWrite, HidHandle hRead) {
    HidBackend& hid = CurrentHidBackend();
    if (hWrite != kInvalidHandle) hid.Close(hWrite);
    if (hRead != kInvalidHandle) hid.Close(hRead);
}

}  // namespace zelkor

namespace zelkor {

std::string OpenFailureMessage() {
    std::lock_guard<std::mutex> lock(g_failureMutex);
    return g_failure;
}

void ReportOpenFailure(std::FILE* stream, const char* program) {
    std::lock_guard<std::mutex> lock(g_failureMutex);
    if (g_failure == g_reported) return;
    g_reported = g_failure;
    for (std::size_t start = 0, end; start < g_failure.size(); start = end + 1) {
        end = g_failure.find('\n', start);
        std::fprintf(stream, "%s: %s\n", program, g_failure.substr(start, end - start).c_str());
    }
    std::fflush(stream);
}

}  // namespace zelkor
