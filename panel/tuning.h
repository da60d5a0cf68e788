// Tuning from the frequency entry.
#pragma once

#include <string>

#include "dialog.h"

namespace zelkor {

constexpr std::size_t FREQUENCY_ENTRY_CHARS = 30;  // the buffer: 29 characters are taken

// The entry's text as a decimal integer, the way the standard wide-string
// conversion reads it: leading white space, an optional sign, digits up to
// the first non-digit; no digits give 0; beyond 32 bits it saturates.
int ParseFrequencyEntry(const std::wstring& text);

void SetFrequencyFromEntry(Dialog& panel);
// Takes a value already checked to lie in 100..2500000.
void TuneFrequency(int kilohertz);

}  // namespace zelkor
