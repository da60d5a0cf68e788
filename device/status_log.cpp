#include "status_log.h"

namespace zelkor {
namespace {
LogView* g_logView = nullptr;
}

void SetLogView(LogView* view) { g_logView = view; }
LogView* CurrentLogView() { return g_logView; }

void LogClear() {
    if (g_logView) g_logView->Clear();
}

void LogAppend(const std::wstring& text) {
    if (g_logView) g_logView->Append(text);
}

}  // namespace zelkor
