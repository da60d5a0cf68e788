// The program's entry after setup: the panel as its one modal dialog.
#pragma once

#include <optional>

#include "panel_window.h"

namespace zelkor::qt {

// Initialises and shows the panel and returns when it closes: 0, whatever
// the dialog's result. With ZELKOR_PANEL_EXIT_WHEN_FILLED set in the
// environment it instead reports on standard error when the panel was shown
// and filled (wall-clock seconds) and the peak resident memory, then closes:
// the hook the panel benchmark measures with.
int RunPanel(PanelWindow& window);

// Answers --version (with `nameAndVersion`) and --help (with `usage`) on
// standard output before anything needs a display: the exit status, or
// nothing when neither was asked for.
std::optional<int> AnswerInfoOption(int argc, char** argv, const char* nameAndVersion, const char* usage);

}  // namespace zelkor::qt
