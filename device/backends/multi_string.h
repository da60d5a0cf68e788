// The wide-string list a registry property of type REG_MULTI_SZ holds, as
// the Windows backend reads the hardware IDs. Portable so it can be tested
// anywhere.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zelkor {

// The strings of a list in `bytes` bytes of `data`: each ended by a null,
// the list by an empty string. A list cut short (no final null within the
// size) keeps what was complete plus the unterminated tail.
std::vector<std::wstring> SplitMultiString(const wchar_t* data, std::size_t bytes);

}  // namespace zelkor
