#include "transactions.h"

#include <chrono>
#include <cstring>
#include <mutex>
#include <string>

#include "discovery.h"
#include "report.h"
#include "status_log.h"

namespace zelkor {
namespace {

std::wstring Number(unsigned value) { return std::to_wstring(value); }

void LogOutcome(std::uint8_t status, const wchar_t* success, const wchar_t* failure) {
    LogAppend(status == REPLY_OK ? success : failure);
}

// This thread's turn at the receiver: one transaction at a time in this
// program (a nested one shares the turn of the one around it) and, through
// the backend's lock on the device, in every other program too.
class Turn {
public:
    explicit Turn(HidHandle hWrite) {
        const auto start = std::chrono::steady_clock::now();
        if (!mutex_.try_lock_for(std::chrono::milliseconds(DEVICE_LOCK_TIMEOUT_MS))) return;
        if (depth_ == 0) {
            const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start);
            const int left = DEVICE_LOCK_TIMEOUT_MS - static_cast<int>(waited.count());
            if (!CurrentHidBackend().Lock(hWrite, left > 0 ? left : 0)) {
                mutex_.unlock();
                return;
            }
        }
        ++depth_;
        held_ = true;
    }
    ~Turn() {
        if (!held_) return;
        --depth_;
        mutex_.unlock();
    }
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;
    bool Held() const { return held_; }

private:
    static std::recursive_timed_mutex mutex_;
    static thread_local int depth_;
    bool held_ = false;
};

std::recursive_timed_mutex Turn::mutex_;
thread_local int Turn::depth_ = 0;

}  // namespace

bool TransactionResult::Succeeded() const { return found && status == REPLY_OK; }

TransactionResult RunTransaction(
    const std::function<std::uint8_t(HidHandle, HidHandle)>& exchange,
    const std::function<void(std::uint8_t)>& conclude) {
    HidHandle hWrite = kInvalidHandle;
    HidHandle hRead = kInvalidHandle;
    LogClear();
    TransactionResult result;
    result.found = HIDOpen(HARDWARE_ID_PATTERN, &hWrite, &hRead) == 1;
    LogAppend(std::wstring(L"HIDOpen of ") + HARDWARE_ID_PATTERN + L" returns " +
              Number(result.found ? 1 : 0));
    if (!result.found) {
        LogAppend(L"\r\nError, Zelkor not found: is Zelkor correctly installed?");
        HIDClose(hWrite, hRead);
        return result;
    }
    LogAppend(L"\r\nSuccess, Zelkor found.");
    {
        // The device lock goes with the pair, so the turn ends after the close.
        Turn turn(hWrite);
        if (turn.Held()) {
            result.status = exchange(hWrite, hRead);
            conclude(result.status);
        } else {
            LogAppend(L"\r\nError, Zelkor busy: another program kept it for over 1.5 s.");
        }
        HIDClose(hWrite, hRead);
    }
    return result;
}

TransactionResult WriteSetting(std::uint8_t code, const void* data, std::uint8_t length) {
    return RunTransaction(
        [&](HidHandle w, HidHandle r) { return HIDWriteCommand(w, r, code, data, length); },
        [](std::uint8_t status) {
            LogAppend(L"\r\nHIDWriteCommand returns " + Number(status));
            LogOutcome(status, L"\r\nSuccess, Zelkor write register.",
                       L"\r\nError, Zelkor register NOT written.");
        });
}

int ReadSetting(std::uint8_t code, void* destination, std::uint8_t length, std::uint8_t* status) {
    std::uint8_t data[MAX_READ_DATA] = {};
    const std::size_t copied = length < MAX_READ_DATA ? length : MAX_READ_DATA;
    const TransactionResult result = RunTransaction(
        [&](HidHandle w, HidHandle r) { return HIDReadCommand(w, r, code, data, length); },
        [&](std::uint8_t replyStatus) {
            LogAppend(L"\r\nHIDReadCommand returns " + Number(replyStatus));
            LogOutcome(replyStatus,
                       (L"\r\nSuccess, Zelkor read command, value: " + Number(data[0])).c_str(),
                       L"\r\nError, Zelkor read command.");
        });
    if (result.found && destination) std::memcpy(destination, data, copied);
    if (status) *status = result.status;
    return result.found ? 1 : 0;
}

TransactionResult SwitchToBootloader() {
    return RunTransaction([](HidHandle w, HidHandle r) { return HIDReset(w, r); },
                          [](std::uint8_t status) {
                              LogAppend(L"\r\nHIDReset returns " + Number(status));
                              LogOutcome(status, L"\r\nSuccess, Zelkor reset to bootloader.",
                                         L"\r\nError, Zelkor NOT reset.");
                          });
}

TransactionResult SetFrequencyTransaction(std::uint32_t kilohertz,
                                          const std::function<void()>& afterSuccess) {
    return RunTransaction(
        [&](HidHandle w, HidHandle r) { return HIDSetFreq(w, r, kilohertz); },
        [&](std::uint8_t status) {
            LogAppend(L"\r\nHIDSetFreq of " + Number(kilohertz) + L" returns " + Number(status));
            if (status == REPLY_OK) {
                if (afterSuccess) afterSuccess();
                LogAppend(L"\r\nSuccess, Zelkor frequency set.");
            } else {
                LogAppend(L"\r\nError, Zelkor frequency NOT set.");
            }
        });
}

}  // namespace zelkor
