// zelkor-panel-demo.exe: the control panel on the simulated receiver.
//   --absent      start unplugged; the receiver arrives 2 s later
//   --trace FILE  write every report exchanged to FILE (a GUI program has
//                 no console)
// After the switch to the bootloader the receiver leaves and comes back
// 3 s later. Each arrival and departure reaches the panel as a device-change
// notice, as on Windows.
#include <windows.h>
#include <dbt.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <string>

#include "control_panel.h"
#include "demo_power_cycle.h"
#include "hid.h"
#include "resource.h"
#include "run_later.h"
#include "trace.h"

namespace {

using namespace zelkor;

constexpr wchar_t kUsage[] = L"Usage: zelkor-panel-demo [--absent] [--trace FILE]";

void NotifyPanel() {
    if (const HWND panel = ControlPanelWindow()) SendMessageW(panel, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
}

struct Options {
    bool absent = false;
    std::wstring tracePath;
    bool valid = true;
};

Options ParseCommandLine() {
    Options options;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return Options{false, {}, false};
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--absent") {
            options.absent = true;
        } else if (arg == L"--trace" && i + 1 < argc) {
            options.tracePath = argv[++i];
        } else {
            options.valid = false;
        }
    }
    LocalFree(argv);
    return options;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    const Options options = ParseCommandLine();
    if (!options.valid) {
        MessageBoxW(nullptr, kUsage, L"zelkor-panel-demo", MB_OK | MB_ICONWARNING);
        return 2;
    }
    std::unique_ptr<std::FILE, FileCloser> traceFile;
    if (!options.tracePath.empty()) {
        traceFile.reset(_wfopen(options.tracePath.c_str(), L"w"));
        if (!traceFile) {
            const std::wstring text = L"Cannot write the trace to " + options.tracePath;
            MessageBoxW(nullptr, text.c_str(), L"zelkor-panel-demo", MB_OK | MB_ICONWARNING);
            return 2;
        }
    }

    SimulatedHid simulated;
    DemoPowerCycle powerCycle(simulated, RunLater, NotifyPanel, options.absent);
    std::unique_ptr<TraceHid> trace;
    HidBackend* backend = &simulated;
    if (traceFile) {
        trace = std::make_unique<TraceHid>(simulated, StreamSink(traceFile.get()));
        backend = trace.get();
    }
    SetHidBackend(backend);

    g_hInst = instance;
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_CONTROL_PANEL), nullptr, ControlPanelProc, 0);

    SetHidBackend(nullptr);
    CancelLaterTasks();
    return 0;
}
