// The panel's dialog procedure on the Windows dialog manager, and the
// globals it shares with the program entry.
#pragma once

#include <windows.h>

namespace zelkor {

extern HINSTANCE g_hInst;
// Appearance objects: from WM_INITDIALOG to WM_DESTROY, then -1.
extern HBRUSH g_hBrush;
extern HFONT g_hFont;
extern HBITMAP g_hBitmap;

INT_PTR CALLBACK ControlPanelProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);

// The open panel's window; null while no panel is open.
HWND ControlPanelWindow();

}  // namespace zelkor
