#include "report.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>

#include "pause.h"

namespace zelkor {
namespace {

using Report = std::uint8_t[REPORT_SIZE];
using Clock = std::chrono::steady_clock;

// At most what a device can have queued for one reader (hidraw keeps 64).
constexpr int kMaxStaleReports = 256;

// Whether this receiver puts the command code in reply byte 1. The protocol
// leaves that byte open, so it only counts once replies to two different
// commands carried their codes; a receiver whose replies keep coming
// without them is taken not to echo. Either belief ends at the first sign
// that it does not hold.
class EchoBelief {
public:
    enum Kind { Unknown, Echoes, NoEcho };
    Kind Current() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (distinctCodes_ >= 2) return Echoes;
        return misses_ >= 3 ? NoEcho : Unknown;
    }
    void Taken(std::uint8_t code, bool echoed) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!echoed) {
            distinctCodes_ = 0;
            ++misses_;
        } else {
            if (code != lastCode_ || distinctCodes_ == 0) ++distinctCodes_;
            misses_ = 0;
        }
        lastCode_ = code;
    }
    void Forget() {
        std::lock_guard<std::mutex> lock(mutex_);
        distinctCodes_ = misses_ = 0;
    }

private:
    std::mutex mutex_;
    int distinctCodes_ = 0;
    int misses_ = 0;
    std::uint8_t lastCode_ = 0;
};

EchoBelief g_echo;

// Until the echo is known, a report without the command in byte 1 may be a
// stale one sent just before the reply: one that has it and comes this soon
// after is taken instead.
constexpr auto kBetterReplyWait = std::chrono::milliseconds(100);

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// One request, one reply. A transfer that fails leaves the zero-filled
// reply, i.e. status 0; the trace is told why.
std::uint8_t Exchange(HidHandle hWrite, HidHandle hRead, const Report& out, Report& in) {
    HidBackend& hid = CurrentHidBackend();
    const std::uint8_t code = out[1];
    // Anything already queued was sent before this request: never its answer.
    for (int i = 0; i < kMaxStaleReports && hid.Read(hRead, in, 0) == HidIo::Ok; ++i)
        hid.Note("  discarded: queued before the request");
    std::memset(in, 0, REPORT_SIZE);
    if (!hid.Write(hWrite, out)) {
        hid.Note("< no reply: write failed");
        return 0;
    }
    const auto sent = Clock::now();
    const auto deadline = sent + std::chrono::milliseconds(REPLY_TIMEOUT_MS);
    const EchoBelief::Kind echo = g_echo.Current();
    bool skipped = false;
    bool held = false;  // a report without the echo, kept in `in` for want of a better one
    auto waitUntil = deadline;
    Report report = {};
    HidIo io;
    // Bounded by time, not by what arrives: a device may never stop sending.
    while ((io = Clock::now() < waitUntil ? hid.Read(hRead, report, MillisecondsLeft(waitUntil))
                                          : HidIo::Timeout) == HidIo::Ok) {
        if (report[1] == code || echo == EchoBelief::NoEcho) {
            g_echo.Taken(code, report[1] == code);
            std::memcpy(in, report, REPORT_SIZE);
            return in[2];
        }
        skipped = true;
        if (echo == EchoBelief::Echoes) {
            hid.Note("  discarded: not the reply (byte 1 is not the command)");
            continue;
        }
        hid.Note(held ? "  byte 1 is not the command: taken instead of the one before, unless one with it follows"
                      : "  byte 1 is not the command: taken unless one with it follows");
        std::memcpy(in, report, REPORT_SIZE);
        if (!held) waitUntil = std::min(deadline, Clock::now() + kBetterReplyWait);
        held = true;
    }
    if (held && io == HidIo::Timeout) {
        g_echo.Taken(code, false);
        return in[2];
    }
    std::memset(in, 0, REPORT_SIZE);
    if (io == HidIo::Failed) {
        hid.Note("< no reply: device gone");
        return 0;
    }
    if (skipped) g_echo.Forget();  // it may have stopped echoing
    hid.Note("< no reply: timeout");
    // The receiver answers every request once: wait for that answer here.
    const auto lateLimit = sent + std::chrono::milliseconds(LATE_REPLY_LIMIT_MS);
    while (Clock::now() < lateLimit && hid.Read(hRead, report, MillisecondsLeft(lateLimit)) == HidIo::Ok) {
        const bool ours = echo != EchoBelief::Echoes || report[1] == code;
        hid.Note(ours ? "  discarded: late reply" : "  discarded: not the reply (byte 1 is not the command)");
        if (ours) break;
    }
    return 0;
}

}  // namespace

std::uint8_t HIDWriteCommand(HidHandle hWrite, HidHandle hRead, std::uint8_t code,
                             const void* payload, std::uint8_t length) {
    Report au8BufOut = {};
    Report au8BufIn = {};
    au8BufOut[0] = 0;
    au8BufOut[1] = code;
    if (payload) std::memcpy(au8BufOut + 2, payload, std::min<std::size_t>(length, MAX_PAYLOAD));
    Pause(COMMAND_PAUSE_MS);
    return Exchange(hWrite, hRead, au8BufOut, au8BufIn);
}

std::uint8_t HIDReadCommand(HidHandle hWrite, HidHandle hRead, std::uint8_t code,
                            void* destination, std::uint8_t length) {
    Report au8BufOut = {};
    Report au8BufIn = {};
    au8BufOut[0] = 0;
    au8BufOut[1] = code;
    Pause(COMMAND_PAUSE_MS);
    const std::uint8_t status = Exchange(hWrite, hRead, au8BufOut, au8BufIn);
    if (destination)
        std::memcpy(destination, au8BufIn + 3, std::min<std::size_t>(length, MAX_READ_DATA));
    return status;
}

std::uint8_t HIDSetFreq(HidHandle hWrite, HidHandle hRead, std::uint32_t kilohertz) {
    Report au8BufOut = {};
    Report au8BufIn = {};
    const std::uint32_t hertz = kilohertz * 1000u;
    au8BufOut[0] = 0;
    au8BufOut[1] = CMD_SET_FREQ;
    for (int i = 0; i < 4; ++i) au8BufOut[2 + i] = static_cast<std::uint8_t>(hertz >> (8 * i));
    return Exchange(hWrite, hRead, au8BufOut, au8BufIn);
}

void ForgetReplyEcho() { g_echo.Forget(); }

std::uint8_t HIDReset(HidHandle hWrite, HidHandle hRead) {
    Report au8BufOut = {};
    Report au8BufIn = {};
    au8BufOut[0] = 0;
    au8BufOut[1] = CMD_RESET_TO_BOOTLOADER;
    return Exchange(hWrite, hRead, au8BufOut, au8BufIn);
}

}  // namespace zelkor
