// zelkor-panel.exe: the control panel on the receiver found through the
// setup API.
#include <windows.h>

#include "control_panel.h"
#include "hid.h"
#include "resource.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    using namespace zelkor;
    SetHidBackend(PlatformHidBackend());
    g_hInst = instance;
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_CONTROL_PANEL), nullptr, ControlPanelProc, 0);
    return 0;
}
