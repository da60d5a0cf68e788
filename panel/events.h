// The panel's dialog procedure in portable form: each front end turns its
// own events into these calls.
#pragma once

#include "dialog.h"

namespace zelkor {

// The open panel, read by the status log and by TuneFrequency; null while
// no panel is open.
extern Dialog* g_hDlg;

// Command IDs the dialog manager itself sends (Enter, Escape), and the
// check boxes' click notification.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kButtonClicked = 0;

enum class ScrollCode {
    LineUp,
    LineDown,
    PageUp,
    PageDown,
    ThumbPosition,
    ThumbTrack,
    Top,
    Bottom,
    EndScroll,
};

// Whether the command closes the panel (OK, Cancel and Exit).
bool EndsDialog(int controlId);

void OnInitDialog(Dialog& panel);
void OnCommand(Dialog& panel, int controlId, int notification);
// `thumb` is the thumb's position for ThumbPosition and ThumbTrack.
void OnVScroll(Dialog& panel, int scrollBarId, ScrollCode code, int thumb);
void OnDeviceChange(Dialog& panel);
void OnDestroy(Dialog& panel);

}  // namespace zelkor
