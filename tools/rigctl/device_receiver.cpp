#include "device_receiver.h"

#include <cstdio>

#include "discovery.h"
#include "report.h"
#include "transactions.h"

namespace zelkor::rigctl {
namespace {

int Code(bool found, std::uint8_t status) {
    if (!found) return RIG_EIO;
    if (status == REPLY_OK) return RIG_OK;
    return status == 0 ? RIG_ETIMEOUT : RIG_ERJCTED;
}

// Swaps a log view in for the lifetime of one transaction.
class ViewScope {
public:
    explicit ViewScope(LogView* view) : previous_(CurrentLogView()) { SetLogView(view); }
    ~ViewScope() { SetLogView(previous_); }
    ViewScope(const ViewScope&) = delete;
    ViewScope& operator=(const ViewScope&) = delete;

private:
    LogView* previous_;
};

}  // namespace

void TurnLock::lock() {
    std::unique_lock<std::mutex> guard(mutex_);
    const std::uint64_t ticket = next_++;
    turn_.wait(guard, [&] { return serving_ == ticket; });
}

void TurnLock::unlock() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        ++serving_;
    }
    turn_.notify_all();
}

int DeviceReceiver::GetFrequency(std::uint32_t* hertz) {
    std::uint8_t bytes[4] = {};
    std::uint8_t status = 0;
    int found = 0;
    {
        std::lock_guard<TurnLock> guard(lock_);
        ViewScope scope(view_);
        found = ReadSetting(CMD_GET_FREQ, bytes, sizeof bytes, &status);
    }
    // A receiver that is there but may not be opened is the operator's to
    // fix: say why on standard error, once per distinct cause.
    ReportOpenFailure(stderr);
    const int code = Code(found == 1, status);
    if (code == RIG_OK)
        *hertz = std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 |
                 std::uint32_t(bytes[2]) << 16 | std::uint32_t(bytes[3]) << 24;
    return code;
}

int DeviceReceiver::SetFrequency(std::uint32_t kilohertz) {
    TransactionResult result;
    {
        std::lock_guard<TurnLock> guard(lock_);
        ViewScope scope(view_);
        result = SetFrequencyTransaction(kilohertz, nullptr);
    }
    ReportOpenFailure(stderr);
    return Code(result.found, result.status);
}

}  // namespace zelkor::rigctl
