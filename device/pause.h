// The 10 ms pause between setting commands, behind a seam so tests and
// benchmarks can count or drop it. The program never replaces it.
#pragma once

namespace zelkor {

using PauseFunction = void (*)(unsigned milliseconds);

void Pause(unsigned milliseconds);
// Returns the previous function; nullptr restores the real sleep.
PauseFunction SetPauseFunction(PauseFunction pause);

}  // namespace zelkor
