// Transactions: clear the log, open the receiver, one exchange, a log line
// for every step, close.
#pragma once

#include <cstdint>
#include <functional>

#include "hid.h"

namespace zelkor {

// How long a transaction waits for another program's transaction on the
// same receiver to end before it gives up.
constexpr int DEVICE_LOCK_TIMEOUT_MS = 1500;

struct TransactionResult {
    bool found = false;
    std::uint8_t status = 0;
    bool Succeeded() const;  // found and status 1
};

// The frame shared by every transaction. `exchange` runs only when the
// receiver was opened and no other transaction holds it (within this
// program, a transaction run inside another one shares its turn);
// `conclude` then logs the report and outcome lines.
TransactionResult RunTransaction(
    const std::function<std::uint8_t(HidHandle hWrite, HidHandle hRead)>& exchange,
    const std::function<void(std::uint8_t status)>& conclude);

TransactionResult WriteSetting(std::uint8_t code, const void* data, std::uint8_t length);
// 1 when the receiver was found, whatever the reply's status; the reply data
// reaches destination only then. The status goes to *status if asked for.
int ReadSetting(std::uint8_t code, void* destination, std::uint8_t length,
                std::uint8_t* status = nullptr);
TransactionResult SwitchToBootloader();
// Sets the frequency; on status 1 runs `afterSuccess` (the panel refreshes
// there) with this transaction's pair still open, then logs success.
TransactionResult SetFrequencyTransaction(std::uint32_t kilohertz,
                                          const std::function<void()>& afterSuccess);

}  // namespace zelkor
