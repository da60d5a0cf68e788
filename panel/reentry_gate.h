// The one door through which events reach the dialog procedure, and its
// re-entrancy policy. A handler can wait in a nested message loop (the
// range message box) where the system still delivers device notices. Such a
// notice is held and its refresh runs once the outermost handler has
// returned, just as a notice that arrives during a transaction waits for it:
// two handlers never interleave their transactions and log lines, and every
// notice still gets its own refresh. Both front ends go through here, so
// both panels behave alike.
#pragma once

#include <functional>

#include "dialog.h"
#include "events.h"

namespace zelkor {

class ReentryGate {
public:
    explicit ReentryGate(Dialog& panel) : panel_(panel) {}

    void InitDialog();
    void Command(int controlId, int notification);
    void VScroll(int scrollBarId, ScrollCode code, int thumb);
    // Ignored before the initialisation and once a command has ended the
    // dialog; held while a handler runs.
    void DeviceChange();
    void Destroy();

    // Whether a handler is running, nested loops included.
    bool Busy() const { return depth_ > 0; }
    // Called each time the outermost handler, and the notices it held, are
    // done.
    void SetIdleHook(std::function<void()> hook) { idleHook_ = std::move(hook); }

private:
    template <typename Handler>
    void Run(Handler&& handler);

    Dialog& panel_;
    std::function<void()> idleHook_;
    bool open_ = false;
    bool ended_ = false;
    int depth_ = 0;
    int heldNotices_ = 0;
};

}  // namespace zelkor
