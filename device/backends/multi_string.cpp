#include "multi_string.h"

namespace zelkor {

std::vector<std::wstring> SplitMultiString(const wchar_t* data, std::size_t bytes) {
    std::vector<std::wstring> list;
    if (!data) return list;
    const std::size_t chars = bytes / sizeof(wchar_t);  // an odd trailing byte is no character
    std::size_t start = 0;
    for (std::size_t i = 0; i <= chars; ++i) {
        if (i < chars && data[i] != L'\0') continue;
        if (i == start) break;  // the empty string ends the list
        list.emplace_back(data + start, i - start);
        start = i + 1;
    }
    return list;
}

}  // namespace zelkor
