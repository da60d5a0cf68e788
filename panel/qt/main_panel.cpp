// zelkor-panel: the control panel on the receiver itself (hidraw).
#include <QApplication>
#include <QString>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>

#include "device_watcher.h"
#include "hid.h"
#include "panel_app.h"
#include "panel_window.h"
#include "resource.h"
#include "trace.h"

namespace {

const char kUsage[] =
    "usage: zelkor-panel [--trace] [--version] [--help] [Qt options]\n"
    "The control panel on the receiver plugged into this machine.\n"
    "  --trace   print on standard error where device notices come from, every\n"
    "            report exchanged, and after each notice the status log that\n"
    "            the panel's refresh wrote\n";

void PrintStatusLog(zelkor::qt::PanelWindow& window) {
    const QString log = QString::fromStdWString(window.DialogSeam().GetItemText(IDC_LOG, 1 << 16));
    for (const QString& line : log.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
        std::fprintf(stderr, "log: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
    if (const auto status = zelkor::qt::AnswerInfoOption(argc, argv, "zelkor-panel " ZELKOR_VERSION, kUsage))
        return *status;
    QApplication app(argc, argv);  // takes Qt's own options out first
    bool trace = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--trace") == 0) {
            trace = true;
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }

    std::unique_ptr<zelkor::TraceHid> tracer;
    zelkor::HidBackend* backend = zelkor::PlatformHidBackend();
    if (trace) {
        tracer = std::make_unique<zelkor::TraceHid>(*backend, zelkor::StreamSink(stderr));
        backend = tracer.get();
    }
    zelkor::SetHidBackend(backend);
    int status = 0;
    {
        zelkor::qt::PanelWindow window;
        zelkor::qt::DeviceWatcher watcher;
        // Slots run in the order connected: the notice, the refresh's
        // reports, then the log it wrote.
        if (trace) {
            QObject::connect(&watcher, &zelkor::qt::DeviceWatcher::DeviceChanged, &window, [] {
                std::fprintf(stderr, "device change\n");
                std::fflush(stderr);
            });
        }
        QObject::connect(&watcher, &zelkor::qt::DeviceWatcher::DeviceChanged, &window,
                         &zelkor::qt::PanelWindow::NotifyDeviceChange);
        if (trace) {
            // Notices count only once the window is up: say when that is.
            const char* source = watcher.UsesUdev() ? "udev" : "/dev";
            QTimer::singleShot(0, &window, [source] {
                std::fprintf(stderr, "panel ready; device notices from %s\n", source);
                std::fflush(stderr);
            });
            QObject::connect(&watcher, &zelkor::qt::DeviceWatcher::DeviceChanged, &window,
                             [&window] { PrintStatusLog(window); });
        }
        status = zelkor::qt::RunPanel(window);
    }
    zelkor::SetHidBackend(nullptr);
    return status;
}
