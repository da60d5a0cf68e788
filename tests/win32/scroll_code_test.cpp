#include <gtest/gtest.h>

#include "scroll_code.h"

namespace zelkor::testing {
namespace {

// The numbers are the Windows SDK's SB_* values, written out so that a
// slip in scroll_code.h shows here even where windows.h is missing.
TEST(ScrollCodeFromSb, TranslatesEverySpinnerNotification) {
    struct Case {
        int sb;
        ScrollCode expected;
    } cases[] = {
        {0, ScrollCode::LineUp},         {1, ScrollCode::LineDown},
        {2, ScrollCode::PageUp},         {3, ScrollCode::PageDown},
        {4, ScrollCode::ThumbPosition},  {5, ScrollCode::ThumbTrack},
        {6, ScrollCode::Top},            {7, ScrollCode::Bottom},
        {8, ScrollCode::EndScroll},
        // Codes a scroll bar doesn't send here leave the position alone.
        {9, ScrollCode::EndScroll},      {-1, ScrollCode::EndScroll},
        {0xFFFF, ScrollCode::EndScroll},
    };
    for (const Case& c : cases)
        EXPECT_EQ(static_cast<int>(ScrollCodeFromSb(c.sb)), static_cast<int>(c.expected)) << c.sb;
}

}  // namespace
}  // namespace zelkor::testing
