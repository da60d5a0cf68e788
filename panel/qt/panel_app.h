// The program's entry after setup: the panel as its one modal dialog.
#pragma once

#include "panel_window.h"

namespace zelkor::qt {

// Initialises and shows the panel and returns when it closes: 0, whatever
// the dialog's result. With ZELKOR_PANEL_EXIT_WHEN_FILLED set in the
// environment it instead reports on standard error when the panel was shown
// and filled (wall-clock seconds) and the peak resident memory, then closes:
// the hook the panel benchmark measures with.
int RunPanel(PanelWindow& window);

}  // namespace zelkor::qt
