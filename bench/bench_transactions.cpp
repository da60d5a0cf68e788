// Prints what a transaction costs on top of the receiver itself.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "hid.h"
#include "pause.h"
#include "report.h"
#include "simulated.h"
#include "transactions.h"

namespace {
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void SevenReads() {
    std::uint8_t v;
    std::uint8_t f[4];
    for (std::uint8_t code : {zelkor::CMD_GET_RF_FILTER, zelkor::CMD_GET_IF_FILTER, zelkor::CMD_GET_BIAS_T,
                              zelkor::CMD_GET_LNA_ENABLE, zelkor::CMD_GET_MIXER_GAIN, zelkor::CMD_GET_IF_GAIN})
        zelkor::ReadSetting(code, &v, 1);
    zelkor::ReadSetting(zelkor::CMD_GET_FREQ, f, 4);
}
}  // namespace

int main() {
    zelkor::SimulatedHid sim;
    zelkor::SetHidBackend(&sim);

    // Discovery + open + exchange + close + log, the pause taken out.
    zelkor::SetPauseFunction([](unsigned) {});
    const int n = 20000;
    std::uint8_t value;
    for (int i = 0; i < 1000; ++i) zelkor::ReadSetting(zelkor::CMD_GET_IF_GAIN, &value, 1);
    auto start = Clock::now();
    for (int i = 0; i < n; ++i) zelkor::ReadSetting(zelkor::CMD_GET_IF_GAIN, &value, 1);
    const double perTransactionUs = Seconds(Clock::now() - start) / n * 1e6;
    std::printf("transaction overhead without pause: %.2f us (target: < 50 us)\n", perTransactionUs);

    // Seven reads with the real 10 ms pause against the 70 ms floor: median of runs.
    zelkor::SetPauseFunction(nullptr);
    std::vector<double> ratios;
    for (int i = 0; i < 30; ++i) {
        start = Clock::now();
        SevenReads();
        ratios.push_back(Seconds(Clock::now() - start) / 0.070);
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("seven reads / 70 ms floor: %.4f ratio, median of %zu (target: <= 1.03)\n",
                ratios[ratios.size() / 2], ratios.size());
    std::printf("seven reads / 70 ms floor, worst: %.4f ratio (target: none, for scale)\n", ratios.back());
    zelkor::SetHidBackend(nullptr);
    return 0;
}
