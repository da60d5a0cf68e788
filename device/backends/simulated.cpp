#include "simulated.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "report.h"

namespace zelkor {

SimulatedHid::SimulatedHid()
    : hardwareIds_{L"HID\\VID_04D8&PID_FB31&REV_0100", L"HID\\VID_04D8&PID_FB31",
                   L"HID_DEVICE_UP:FF00_U:0001", L"HID_DEVICE"} {}

std::vector<HidInterfaceInfo> SimulatedHid::Enumerate() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<HidInterfaceInfo> list;
    for (std::size_t i = 0; i < others_.size(); ++i)
        list.push_back({others_[i], "sim:other" + std::to_string(i)});
    if (present_) list.push_back({hardwareIds_, kReceiverPath});
    return list;
}

HidHandle SimulatedHid::OpenWrite(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool receiver = path == kReceiverPath;
    if (receiver && !present_) return kInvalidHandle;
    if (!receiver && path.rfind("sim:other", 0) != 0) return kInvalidHandle;
    handles_[nextHandle_] = Handle{false, receiver, generation_, {}};
    return nextHandle_++;
}

HidHandle SimulatedHid::OpenRead(const std::string& path) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (failOpenRead_) return kInvalidHandle;
        DeliverDueLocked();  // what arrived before this reader opened is not its own
    }
    const HidHandle handle = OpenWrite(path);
    std::lock_guard<std::mutex> lock(mutex_);
    if (handle != kInvalidHandle) handles_[handle].read = true;
    return handle;
}

bool SimulatedHid::AliveLocked(const Handle& h) const {
    return !h.receiver || (present_ && h.generation == generation_);
}

void SimulatedHid::BroadcastLocked(const std::vector<std::uint8_t>& report) {
    // Input reports go to every reader of the device, as on hidraw.
    for (auto& [id, h] : handles_)
        if (h.read && h.receiver && AliveLocked(h)) h.replies.push_back(report);
}

// Looks like a successful reply with a changing value, and answers nothing.
std::vector<std::uint8_t> SimulatedHid::UnsolicitedLocked() {
    std::vector<std::uint8_t> report(REPORT_SIZE, 0);
    report[2] = REPLY_OK;
    report[3] = ++unsolicitedCount_;
    return report;
}

std::chrono::steady_clock::time_point SimulatedHid::DeliverDueLocked() {
    const auto now = std::chrono::steady_clock::now();
    while (!delayed_.empty() && delayed_.front().first <= now) {
        if (present_) BroadcastLocked(delayed_.front().second);
        delayed_.pop_front();
    }
    return delayed_.empty() ? std::chrono::steady_clock::time_point::max() : delayed_.front().first;
}

bool SimulatedHid::Write(HidHandle handle, const std::uint8_t* report) {
    bool left = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = handles_.find(handle);
        if (it == handles_.end() || it->second.read || !AliveLocked(it->second)) return false;
        if (!it->second.receiver) return true;  // other devices swallow reports
        if (refuseWrites_) return false;
        DeliverDueLocked();
        if (unplugAfter_ > 0 && --unplugAfter_ == 0) {
            unplugAfter_ = -1;
            present_ = false;
            ++generation_;
            left = true;
        } else {
            auto reply = firmware_.Answer(report + 1, REPORT_SIZE - 1);
            for (int i = 0; i < reportsBeforeReply_; ++i) BroadcastLocked(UnsolicitedLocked());
            if (reply) {
                std::vector<std::uint8_t> bytes(REPORT_SIZE, 0);
                std::memcpy(bytes.data() + 1, reply->data(), reply->size());
                if (noisyByte1_) {
                    byte1Noise_ = byte1Noise_ * 1103515245u + 12345u;
                    bytes[1] = std::uint8_t(byte1Noise_ >> 16);
                }
                if (replyDelayMs_ > 0)
                    delayed_.emplace_back(std::chrono::steady_clock::now() +
                                              std::chrono::milliseconds(replyDelayMs_),
                                          std::move(bytes));
                else
                    BroadcastLocked(bytes);
            }
            if (firmware_.leftForBootloader) {
                present_ = false;
                ++generation_;
                left = true;  // the reply was already queued; old handles still drain it
            }
        }
    }
    replied_.notify_all();
    if (left) NotifyPresence(false);
    return true;
}

HidIo SimulatedHid::Read(HidHandle handle, std::uint8_t* report, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto due = DeliverDueLocked();
        auto it = handles_.find(handle);
        if (it == handles_.end() || !it->second.read) return HidIo::Failed;
        Handle& h = it->second;
        if (!h.replies.empty()) {
            std::memcpy(report, h.replies.front().data(), REPORT_SIZE);
            h.replies.pop_front();
            return HidIo::Ok;
        }
        // A vanished device fails at once rather than timing out; a receiver
        // that left for its bootloader after its last reply counts as gone.
        if (!h.receiver || h.generation != generation_ || !present_) return HidIo::Failed;
        // A look at the queue, as before every request, costs no timed wait.
        if (std::chrono::steady_clock::now() >= deadline) return HidIo::Timeout;
        if (replied_.wait_until(lock, std::min(deadline, due)) == std::cv_status::timeout) {
            if (std::chrono::steady_clock::now() < deadline) continue;  // a delayed reply is due
            DeliverDueLocked();
            auto again = handles_.find(handle);
            if (again != handles_.end() && !again->second.replies.empty()) continue;
            return HidIo::Timeout;
        }
    }
}

void SimulatedHid::Close(HidHandle handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    handles_.erase(handle);
}

void SimulatedHid::SetPresent(bool present) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (present == present_) return;
        present_ = present;
        if (!present) {
            ++generation_;
        } else {
            firmware_.leftForBootloader = false;
        }
    }
    replied_.notify_all();
    NotifyPresence(present);
}

bool SimulatedHid::Present() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return present_;
}

void SimulatedHid::SetPresenceListener(std::function<void(bool)> listener) {
    std::lock_guard<std::mutex> lock(mutex_);
    listener_ = std::move(listener);
}

void SimulatedHid::NotifyPresence(bool present) {
    std::function<void(bool)> listener;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        listener = listener_;
    }
    if (listener) listener(present);
}

void SimulatedHid::UnplugAfterReports(int reports) {
    std::lock_guard<std::mutex> lock(mutex_);
    unplugAfter_ = reports;
}

void SimulatedHid::SetHardwareIds(std::vector<std::wstring> ids) {
    std::lock_guard<std::mutex> lock(mutex_);
    hardwareIds_ = std::move(ids);
}

void SimulatedHid::AddOtherDevice(std::vector<std::wstring> ids) {
    std::lock_guard<std::mutex> lock(mutex_);
    others_.push_back(std::move(ids));
}

bool SimulatedHid::Lock(HidHandle, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return replied_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !lockedElsewhere_; });
}

void SimulatedHid::SetLockedElsewhere(bool locked) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lockedElsewhere_ = locked;
    }
    replied_.notify_all();
}

void SimulatedHid::SetReplyDelay(int milliseconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    replyDelayMs_ = milliseconds;
}

void SimulatedHid::SendUnsolicited(int count) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (int i = 0; i < count; ++i) BroadcastLocked(UnsolicitedLocked());
    }
    replied_.notify_all();
}

void SimulatedHid::SetReportsBeforeReply(int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    reportsBeforeReply_ = count;
}

void SimulatedHid::SetNoisyByte1(bool noisy) {
    std::lock_guard<std::mutex> lock(mutex_);
    noisyByte1_ = noisy;
}

void SimulatedHid::SetRefuseWrites(bool refuse) {
    std::lock_guard<std::mutex> lock(mutex_);
    refuseWrites_ = refuse;
}

void SimulatedHid::SetFailOpenRead(bool fail) {
    std::lock_guard<std::mutex> lock(mutex_);
    failOpenRead_ = fail;
}

std::size_t SimulatedHid::OpenHandles() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return handles_.size();
}

}  // namespace zelkor
