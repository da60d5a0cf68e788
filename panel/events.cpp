#include "events.h"

#include <string>

#include "receiver_settings.h"
#include "resource.h"
#include "settings.h"
#include "status_log.h"
#include "transactions.h"
#include "tuning.h"

namespace zelkor {

Dialog* g_hDlg = nullptr;

namespace {

// The status log shown in the panel's log edit control.
class PanelLog final : public LogView {
public:
    void Clear() override {
        if (g_hDlg) g_hDlg->SetItemText(IDC_LOG, L"");
    }
    void Append(const std::wstring& text) override {
        if (g_hDlg) g_hDlg->ReplaceSelection(IDC_LOG, text);
    }
};

PanelLog g_panelLog;

}  // namespace

void OnInitDialog(Dialog& panel) {
    g_hDlg = &panel;
    SetLogView(&g_panelLog);
    panel.SetItemText(IDC_IF_GAIN_VALUE, L"0");
    panel.SetScrollInfo(IDC_IF_GAIN_SPIN, ScrollInfo{0, static_cast<int>(IF_GAIN_MAX), 1, 0});
    FillSelectors(panel);
    RefreshPanel(panel);
}

bool EndsDialog(int controlId) { return controlId == kIdOk || controlId == kIdCancel || controlId == IDC_EXIT; }

void OnCommand(Dialog& panel, int controlId, int notification) {
    if (EndsDialog(controlId)) {
        panel.EndDialog(1);
        return;
    }
    switch (controlId) {
    case IDC_SET_FREQUENCY:
        SetFrequencyFromEntry(panel);
        break;
    case IDC_SET_DEFAULTS:
        SetPanelDefaults(panel);
        ApplyAllSelectors(panel);
        RefreshPanel(panel);
        break;
    case IDC_BOOTLOADER:
        SwitchToBootloader();
        break;
    case IDC_BIAS_T:
    case IDC_LNA_ENABLE:
    case IDC_MIXER_GAIN:
        // The box has toggled itself already: its state is the new value.
        if (notification == kButtonClicked) WriteSwitch(panel, controlId);
        break;
    default:
        break;
    }
}

void OnVScroll(Dialog& panel, int scrollBarId, ScrollCode code, int thumb) {
    const ScrollInfo info = panel.GetScrollInfo(scrollBarId);
    const int step = panel.IsControlKeyDown() ? info.page : 1;
    int position = info.pos;
    // Up raises the gain, unlike a scroll bar's usual sense.
    switch (code) {
    case ScrollCode::LineUp: position += step; break;
    case ScrollCode::LineDown: position -= step; break;
    case ScrollCode::PageUp: position += info.page; break;
    case ScrollCode::PageDown: position -= info.page; break;
    case ScrollCode::ThumbPosition:
    case ScrollCode::ThumbTrack: position = thumb; break;
    case ScrollCode::Top: position = info.min; break;
    case ScrollCode::Bottom: position = info.max; break;
    case ScrollCode::EndScroll: break;
    }
    if (position > info.max) position = info.max;
    if (position < info.min) position = info.min;
    panel.SetScrollPos(scrollBarId, position);
    if (scrollBarId == IDC_IF_GAIN_SPIN)
        panel.SetItemText(IDC_IF_GAIN_VALUE, std::to_wstring(position));
    // Every spinner message writes, the end-of-scroll notice included.
    WriteIfGainFromSpinner(panel);
}

void OnDeviceChange(Dialog& panel) {
    LogClear();
    RefreshPanel(panel);
}

void OnDestroy(Dialog&) {
    SetLogView(nullptr);
    g_hDlg = nullptr;
}

}  // namespace zelkor
