#include "transactions.h"

#include <cstring>
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
    if (result.found) {
        LogAppend(L"\r\nSuccess, Zelkor found.");
        result.status = exchange(hWrite, hRead);
        conclude(result.status);
    } else {
        LogAppend(L"\r\nError, Zelkor not found: is Zelkor correctly installed?");
    }
    HIDClose(hWrite, hRead);
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
