#include "reentry_gate.h"

namespace zelkor {

template <typename Handler>
void ReentryGate::Run(Handler&& handler) {
    ++depth_;
    handler();
    --depth_;
    if (depth_ > 0) return;
    while (heldNotices_ > 0 && !ended_) {
        --heldNotices_;
        ++depth_;
        OnDeviceChange(panel_);
        --depth_;
    }
    heldNotices_ = 0;
    if (idleHook_) idleHook_();
}

void ReentryGate::InitDialog() {
    open_ = true;
    ended_ = false;
    heldNotices_ = 0;
    Run([this] { OnInitDialog(panel_); });
}

void ReentryGate::Command(int controlId, int notification) {
    if (EndsDialog(controlId)) ended_ = true;
    Run([&] { OnCommand(panel_, controlId, notification); });
}

void ReentryGate::VScroll(int scrollBarId, ScrollCode code, int thumb) {
    Run([&] { OnVScroll(panel_, scrollBarId, code, thumb); });
}

void ReentryGate::DeviceChange() {
    if (!open_ || ended_) return;
    if (Busy()) {
        ++heldNotices_;
        return;
    }
    Run([this] { OnDeviceChange(panel_); });
}

void ReentryGate::Destroy() {
    if (!open_) return;
    open_ = false;
    ended_ = true;
    OnDestroy(panel_);
}

}  // namespace zelkor
