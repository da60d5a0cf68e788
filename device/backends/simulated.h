// The simulated receiver: a backend like the others, with the firmware model
// behind it and switches for the faults a real receiver can show.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "hid.h"
#include "simulated_firmware.h"

namespace zelkor {

// The demo panels' receiver: plugged in this long after a start with
// --absent, and back this long after it left for its bootloader, as a
// power-cycle would take.
constexpr int kDemoPlugInDelayMs = 2000;
constexpr int kDemoReturnDelayMs = 3000;

class SimulatedHid final : public HidBackend {
public:
    static constexpr const char* kReceiverPath = "sim:receiver";

    SimulatedHid();

    std::vector<HidInterfaceInfo> Enumerate() override;
    HidHandle OpenWrite(const std::string& path) override;
    HidHandle OpenRead(const std::string& path) override;
    bool Write(HidHandle handle, const std::uint8_t* report) override;
    HidIo Read(HidHandle handle, std::uint8_t* report, int timeoutMs) override;
    void Close(HidHandle handle) override;
    bool Lock(HidHandle handle, int timeoutMs) override;

    // Plugging in or out. Unplugging kills every open handle, as the kernel
    // does; a replugged receiver keeps its settings.
    void SetPresent(bool present);
    bool Present() const;
    // Called (outside the lock) whenever the receiver comes or goes,
    // including when it leaves for its bootloader.
    void SetPresenceListener(std::function<void(bool present)> listener);

    // The receiver vanishes once it has taken this many more output reports,
    // before answering the last one. Negative: never.
    void UnplugAfterReports(int reports);
    void SetHardwareIds(std::vector<std::wstring> ids);
    // Another HID interface, listed before the receiver.
    void AddOtherDevice(std::vector<std::wstring> ids);
    void SetFailOpenRead(bool fail);

    // Replies leave this long after their request (readers open then get
    // them, as on hidraw); beyond the reply timeout they come late.
    void SetReplyDelay(int milliseconds);
    // Input reports nobody asked for, to every reader open now.
    void SendUnsolicited(int count);
    // This many unsolicited reports go out after each request, before its reply.
    void SetReportsBeforeReply(int count);
    // Output reports are refused: the write fails and the firmware sees nothing.
    void SetRefuseWrites(bool refuse);
    // Reply byte 1, which the protocol leaves open, carries noise instead of
    // the command code.
    void SetNoisyByte1(bool noisy);
    // Another program holds the receiver's lock until this is cleared.
    void SetLockedElsewhere(bool locked);

    // Direct access to the model; lock-free, so only between exchanges.
    FirmwareSettings& Settings() { return firmware_.settings; }
    FirmwareFaults& Faults() { return firmware_.faults; }
    std::size_t OpenHandles() const;

private:
    struct Handle {
        bool read = false;
        bool receiver = false;
        unsigned generation = 0;
        std::deque<std::vector<std::uint8_t>> replies;
    };
    bool AliveLocked(const Handle& h) const;
    void NotifyPresence(bool present);
    void BroadcastLocked(const std::vector<std::uint8_t>& report);
    std::vector<std::uint8_t> UnsolicitedLocked();
    // Hands the delayed replies that are due to the readers open now; the
    // time the next one is due, or max() when none waits.
    std::chrono::steady_clock::time_point DeliverDueLocked();

    mutable std::mutex mutex_;
    std::condition_variable replied_;
    ReceiverFirmware firmware_;
    bool present_ = true;
    unsigned generation_ = 0;  // bumped on every unplug
    int unplugAfter_ = -1;
    bool failOpenRead_ = false;
    int replyDelayMs_ = 0;
    int reportsBeforeReply_ = 0;
    bool refuseWrites_ = false;
    bool lockedElsewhere_ = false;
    bool noisyByte1_ = false;
    std::uint32_t byte1Noise_ = 0x9E3779B9u;
    std::uint8_t unsolicitedCount_ = 0;
    std::deque<std::pair<std::chrono::steady_clock::time_point, std::vector<std::uint8_t>>> delayed_;
    std::vector<std::wstring> hardwareIds_;
    std::vector<std::vector<std::wstring>> others_;
    std::map<HidHandle, Handle> handles_;
    HidHandle nextHandle_ = 100;
    std::function<void(bool)> listener_;
};

}  // namespace zelkor
