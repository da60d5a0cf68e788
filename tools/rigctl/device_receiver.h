// The protocol's receiver, reached through device-link transactions.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "protocol.h"
#include "status_log.h"

namespace zelkor::rigctl {

// Receiver accesses in the order they were asked for. A plain mutex lets a
// client that just finished take the receiver again before the others and
// starve them for a second at a time under load.
class TurnLock {
public:
    void lock();
    void unlock();

private:
    std::mutex mutex_;
    std::condition_variable turn_;
    std::uint64_t next_ = 0, serving_ = 0;
};

// One per connection. The device link's backend and log view are globals
// meant for one thread, so every transaction runs under `deviceLock`, shared
// by all connections, with this connection's log view swapped in for it.
class DeviceReceiver final : public Receiver {
public:
    DeviceReceiver(TurnLock& deviceLock, LogView* view) : lock_(deviceLock), view_(view) {}

    // Reads CMD_GET_FREQ. Receiver absent: RIG_EIO; status 0 (the zero-filled
    // reply of a silent or vanished receiver): RIG_ETIMEOUT; other status:
    // RIG_ERJCTED.
    int GetFrequency(std::uint32_t* hertz) override;
    int SetFrequency(std::uint32_t kilohertz) override;

private:
    TurnLock& lock_;
    LogView* view_;
};

}  // namespace zelkor::rigctl
