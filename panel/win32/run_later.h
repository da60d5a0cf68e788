// Work for the panel's thread after a delay, on thread timers: the dialog's
// message loop dispatches them, and so does a message box's.
#pragma once

#include <functional>

namespace zelkor {

// Runs `task` on this thread's message loop `delayMs` from now.
void RunLater(int delayMs, std::function<void()> task);
// Drops the tasks that have not run yet.
void CancelLaterTasks();

}  // namespace zelkor
