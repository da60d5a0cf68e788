// zelkor-rtt: sanity figures from inside the guest: the round trip of one
// bare exchange through hidraw and the real USB stack, and the seven read
// transactions of a status refresh (with their real 10 ms pauses), and that
// refresh against its floor of pauses.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "discovery.h"
#include "hid.h"
#include "pause.h"
#include "report.h"
#include "transactions.h"

int main() {
    using namespace zelkor;
    using Clock = std::chrono::steady_clock;
    SetHidBackend(PlatformHidBackend());
    HidBackend& hid = CurrentHidBackend();

    HidHandle hWrite = kInvalidHandle, hRead = kInvalidHandle;
    if (!HIDOpen(HARDWARE_ID_PATTERN, &hWrite, &hRead)) {
        std::puts("round trip: receiver not found");
        HIDClose(hWrite, hRead);
        return 1;
    }
    std::vector<double> micros;
    bool ok = true;
    for (int i = 0; i < 20 && ok; ++i) {
        std::uint8_t out[REPORT_SIZE] = {0, CMD_GET_IF_GAIN};
        std::uint8_t in[REPORT_SIZE] = {};
        const auto start = Clock::now();
        ok = hid.Write(hWrite, out) && hid.Read(hRead, in, REPLY_TIMEOUT_MS) == HidIo::Ok && in[2] == REPLY_OK;
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    HIDClose(hWrite, hRead);
    if (!ok) {
        std::puts("round trip: an exchange failed");
        return 1;
    }
    std::sort(micros.begin(), micros.end());

    // A seven-read status as the panel's refresh does it. The first of a
    // process may pay for taking the device; the figure is the median after.
    const std::uint8_t codes[] = {CMD_GET_RF_FILTER, CMD_GET_IF_FILTER, CMD_GET_BIAS_T, CMD_GET_LNA_ENABLE,
                                  CMD_GET_MIXER_GAIN, CMD_GET_IF_GAIN, CMD_GET_FREQ};
    std::vector<double> refreshes;
    for (int round = 0; round < 6 && ok; ++round) {
        const auto start = Clock::now();
        for (std::uint8_t code : codes) {
            std::uint8_t value[4] = {}, status = 0;
            ok = ReadSetting(code, value, sizeof value, &status) == 1 && status == REPLY_OK && ok;
        }
        refreshes.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    if (!ok) {
        std::puts("round trip: a status read failed");
        return 1;
    }
    // Where a read transaction's time goes besides the exchange.
    auto medianMs = [](auto&& step) {
        std::vector<double> ms;
        for (int i = 0; i < 7; ++i) {
            const auto start = Clock::now();
            step();
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        std::sort(ms.begin(), ms.end());
        return ms[ms.size() / 2];
    };
    const double pauseMs = medianMs([] { Pause(10); });
    const double openCloseMs = medianMs([] {
        HidHandle w = kInvalidHandle, r = kInvalidHandle;
        HIDOpen(HARDWARE_ID_PATTERN, &w, &r);
        HIDClose(w, r);
    });
    const double first = refreshes.front();
    refreshes.erase(refreshes.begin());
    std::sort(refreshes.begin(), refreshes.end());
    const double floorMs = 7 * 10.0;  // the pause before each read
    const double median = refreshes[refreshes.size() / 2];
    std::printf("round trip: one exchange %.0f us (median of %zu, min %.0f, max %.0f); "
                "seven-read status %.1f ms (first %.1f ms)\n",
                micros[micros.size() / 2], micros.size(), micros.front(), micros.back(), median, first);
    std::printf("round trip: a 10 ms pause takes %.1f ms, finding and opening the receiver and closing "
                "it again %.1f ms\n",
                pauseMs, openCloseMs);
    // Noise on a busy machine only adds: the best refresh shows the cost.
    std::printf("ratio: seven-read status / %.0f ms floor = %.2f (best of %zu: %.2f; target 1.25)\n", floorMs,
                median / floorMs, refreshes.size(), refreshes.front() / floorMs);
    return 0;
}
