#include "pause.h"

#include <chrono>
#include <thread>

namespace zelkor {
namespace {

void RealPause(unsigned milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

PauseFunction g_pause = RealPause;

}  // namespace

void Pause(unsigned milliseconds) { g_pause(milliseconds); }

PauseFunction SetPauseFunction(PauseFunction pause) {
    PauseFunction previous = g_pause;
    g_pause = pause ? pause : RealPause;
    return previous;
}

}  // namespace zelkor
