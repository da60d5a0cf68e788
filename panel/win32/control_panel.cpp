#include "control_panel.h"

#include "events.h"
#include "reentry_gate.h"
#include "resource.h"
#include "scroll_code.h"
#include "win32_dialog.h"

namespace zelkor {

static_assert(kSbLineUp == SB_LINEUP && kSbLineDown == SB_LINEDOWN && kSbPageUp == SB_PAGEUP &&
              kSbPageDown == SB_PAGEDOWN && kSbThumbPosition == SB_THUMBPOSITION &&
              kSbThumbTrack == SB_THUMBTRACK && kSbTop == SB_TOP && kSbBottom == SB_BOTTOM &&
              kSbEndScroll == SB_ENDSCROLL);
static_assert(kIdOk == IDOK && kIdCancel == IDCANCEL && kButtonClicked == BN_CLICKED);

HINSTANCE g_hInst = nullptr;
HBRUSH g_hBrush = nullptr;
HFONT g_hFont = nullptr;
HBITMAP g_hBitmap = nullptr;

namespace {

Win32Dialog g_panel;
ReentryGate g_gate(g_panel);

template <typename Handle>
void DeleteAndInvalidate(Handle& object) {
    DeleteObject(object);
    object = reinterpret_cast<Handle>(static_cast<INT_PTR>(-1));
}

void CreateAppearance(HWND hDlg) {
    g_hBrush = CreateSolidBrush(RGB(0, 0, 0));
    // Height 48 is the cell height; charset 0 is ANSI_CHARSET.
    g_hFont = CreateFontW(48, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, 0, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS, L"Arial");
    SendDlgItemMessageW(hDlg, IDC_FREQUENCY, WM_SETFONT, reinterpret_cast<WPARAM>(g_hFont), TRUE);
    SendDlgItemMessageW(hDlg, IDC_KHZ_LABEL, WM_SETFONT, reinterpret_cast<WPARAM>(g_hFont), TRUE);
    g_hBitmap = LoadBitmapW(g_hInst, MAKEINTRESOURCEW(IDB_SIGNAL_CHAIN));
    SendDlgItemMessageW(hDlg, IDC_DIAGRAM, STM_SETIMAGE, IMAGE_BITMAP,
                        reinterpret_cast<LPARAM>(g_hBitmap));
}

}  // namespace

HWND ControlPanelWindow() { return g_panel.Window(); }

INT_PTR CALLBACK ControlPanelProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        g_panel.Attach(hDlg);
        CreateAppearance(hDlg);
        g_gate.InitDialog();
        return FALSE;
    case WM_COMMAND:
        g_gate.Command(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_VSCROLL: {
        const HWND scrollBar = reinterpret_cast<HWND>(lParam);
        g_gate.VScroll(GetDlgCtrlID(scrollBar), ScrollCodeFromSb(LOWORD(wParam)), HIWORD(wParam));
        return FALSE;
    }
    case WM_CTLCOLOREDIT:
        if (reinterpret_cast<HWND>(lParam) != GetDlgItem(hDlg, IDC_FREQUENCY)) return FALSE;
        SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 255, 0));
        SetBkColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
        return reinterpret_cast<INT_PTR>(g_hBrush);
    case WM_DEVICECHANGE:
        g_gate.DeviceChange();
        return FALSE;
    case WM_DESTROY:
        DeleteAndInvalidate(g_hBitmap);
        DeleteAndInvalidate(g_hFont);
        DeleteAndInvalidate(g_hBrush);
        g_gate.Destroy();
        g_panel.Attach(nullptr);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace zelkor
