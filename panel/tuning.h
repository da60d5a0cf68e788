// Tuning from the frequency entry.
#pragma once

#include <string>

#include "dialog.h"

namespace zelkor {

// The entry's text as a decimal integer, the way the standard wide-string
// conversion reads it: leading white space, an optional sign, digits up to
// the first non-digit; no digits give 0; beyond 32 bits it saturates. The
// whole text counts, however long.
int ParseFrequencyEntry(const std::wstring& text);

void SetFrequencyFromEntry(Dialog& panel);
// Takes a value already checked to lie in 100..2500000.
void TuneFrequency(int kilohertz);

}  // namespace zelkor
