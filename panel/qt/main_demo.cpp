// zelkor-panel-demo: the control panel on the simulated receiver.
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <memory>

#include "demo_receiver.h"
#include "hid.h"
#include "panel_app.h"
#include "panel_window.h"
#include "simulated.h"
#include "trace.h"

namespace {

const char kUsage[] =
    "usage: zelkor-panel-demo [--trace] [--absent] [--version] [--help] [Qt options]\n"
    "The control panel on the built-in simulated receiver.\n"
    "  --trace   print every report exchanged on standard error\n"
    "  --absent  start with the receiver unplugged; it is plugged in 2 s later\n";

}  // namespace

int main(int argc, char** argv) {
    if (const auto status = zelkor::qt::AnswerInfoOption(argc, argv, "zelkor-panel-demo " ZELKOR_VERSION, kUsage))
        return *status;
    QApplication app(argc, argv);  // takes Qt's own options out first
    bool trace = false;
    bool absent = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--trace") == 0) {
            trace = true;
        } else if (std::strcmp(argv[i], "--absent") == 0) {
            absent = true;
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }

    zelkor::SimulatedHid receiver;
    std::unique_ptr<zelkor::TraceHid> tracer;
    zelkor::HidBackend* backend = &receiver;
    if (trace) {
        tracer = std::make_unique<zelkor::TraceHid>(receiver, zelkor::StreamSink(stderr));
        backend = tracer.get();
    }
    zelkor::SetHidBackend(backend);
    int status = 0;
    {
        zelkor::qt::PanelWindow window;
        zelkor::qt::DemoReceiver demo(receiver, window, absent);
        status = zelkor::qt::RunPanel(window);
    }
    zelkor::SetHidBackend(nullptr);
    return status;
}
