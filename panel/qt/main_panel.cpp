// zelkor-panel: the control panel on the receiver itself (hidraw).
#include <QApplication>

#include "device_watcher.h"
#include "hid.h"
#include "panel_app.h"
#include "panel_window.h"

int main(int argc, char** argv) {
    if (const auto status = zelkor::qt::AnswerInfoOption(
            argc, argv, "zelkor-panel " ZELKOR_VERSION,
            "usage: zelkor-panel [--version] [--help] [Qt options]\n"
            "The control panel on the receiver plugged into this machine.\n"))
        return *status;
    QApplication app(argc, argv);
    zelkor::SetHidBackend(zelkor::PlatformHidBackend());
    int status = 0;
    {
        zelkor::qt::PanelWindow window;
        zelkor::qt::DeviceWatcher watcher;
        QObject::connect(&watcher, &zelkor::qt::DeviceWatcher::deviceChanged, &window,
                         &zelkor::qt::PanelWindow::NotifyDeviceChange);
        status = zelkor::qt::RunPanel(window);
    }
    zelkor::SetHidBackend(nullptr);
    return status;
}
