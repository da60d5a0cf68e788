#include <gtest/gtest.h>

#include <vector>

#include "discovery.h"
#include "multi_string.h"

namespace zelkor::testing {
namespace {

using Strings = std::vector<std::wstring>;

// The hardware-ID property as the setup API hands it over: a buffer and
// the byte count it reported.
Strings Split(const std::wstring& buffer, std::size_t bytes) {
    return SplitMultiString(buffer.data(), bytes);
}

constexpr std::size_t W = sizeof(wchar_t);

// A literal with its embedded nulls (without the one the compiler adds).
template <std::size_t N>
std::wstring Raw(const wchar_t (&text)[N]) {
    return std::wstring(text, N - 1);
}

TEST(MultiString, SplitsTheHardwareIdListTheWayTheSetupApiReportsIt) {
    const std::wstring full = Raw(L"HID\\VID_04D8&PID_FB31&REV_0100\0HID\\VID_04D8&PID_FB31\0\0");
    struct Case {
        const char* what;
        std::wstring buffer;
        std::size_t bytes;
        Strings expected;
    } cases[] = {
        {"two strings, list ended", full, full.size() * W,
         {L"HID\\VID_04D8&PID_FB31&REV_0100", L"HID\\VID_04D8&PID_FB31"}},
        {"size counts bytes past the list end", full + std::wstring(4, L'x'), (full.size() + 4) * W,
         {L"HID\\VID_04D8&PID_FB31&REV_0100", L"HID\\VID_04D8&PID_FB31"}},
        {"last string unterminated", Raw(L"A\0BC"), 4 * W, {L"A", L"BC"}},
        {"odd byte count drops the partial character", Raw(L"AB"), 2 * W - 1, {L"A"}},
        {"empty list", Raw(L"\0\0"), 2 * W, {}},
        {"no bytes", Raw(L"A"), 0, {}},
        {"empty first string ends the list", Raw(L"\0B\0\0"), 4 * W, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(Split(c.buffer, c.bytes), c.expected) << c.what;
    EXPECT_EQ(SplitMultiString(nullptr, 16), Strings{});
}

TEST(MultiString, OnlyTheFirstStringOfTheListIsMatched) {
    const std::wstring later = Raw(L"HID\\VID_845E&PID_0001\0HID\\VID_04D8&PID_FB31\0\0");
    EXPECT_FALSE(MatchesHardwareId({Split(later, later.size() * W), "p"}, HARDWARE_ID_PATTERN));
    const std::wstring first = Raw(L"hid\\vid_04d8&pid_fb31\0\0");
    EXPECT_TRUE(MatchesHardwareId({Split(first, first.size() * W), "p"}, HARDWARE_ID_PATTERN));
}

}  // namespace
}  // namespace zelkor::testing
