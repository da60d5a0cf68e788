// The spinner's scroll-bar notification codes (SB_*) as the panel's
// ScrollCode. Free of windows.h so it can be tested on any platform; the
// Win32 build checks the numbers against the SDK's.
#pragma once

#include "events.h"

namespace zelkor {

constexpr int kSbLineUp = 0;
constexpr int kSbLineDown = 1;
constexpr int kSbPageUp = 2;
constexpr int kSbPageDown = 3;
constexpr int kSbThumbPosition = 4;
constexpr int kSbThumbTrack = 5;
constexpr int kSbTop = 6;
constexpr int kSbBottom = 7;
constexpr int kSbEndScroll = 8;

// Codes the panel has no use for leave the position as it is (EndScroll),
// yet still write the IF gain, as every spinner message does.
constexpr ScrollCode ScrollCodeFromSb(int code) {
    switch (code) {
    case kSbLineUp: return ScrollCode::LineUp;
    case kSbLineDown: return ScrollCode::LineDown;
    case kSbPageUp: return ScrollCode::PageUp;
    case kSbPageDown: return ScrollCode::PageDown;
    case kSbThumbPosition: return ScrollCode::ThumbPosition;
    case kSbThumbTrack: return ScrollCode::ThumbTrack;
    case kSbTop: return ScrollCode::Top;
    case kSbBottom: return ScrollCode::Bottom;
    default: return ScrollCode::EndScroll;
    }
}

}  // namespace zelkor
