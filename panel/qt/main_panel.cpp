// zelkor-panel: the control panel on the receiver itself (hidraw).
#include <QApplication>

#include "device_watcher.h"
#include "hid.h"
#include "panel_app.h"
#include "panel_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    zelkor::SetHidBackend(zelkor::PlatformHidBackend());
    int status = 0;
    {
        zelkor::qt::PanelWindow window;
        zelkor::qt::DeviceWatcher watcher;
        QObject::connect(&watcher, &zelkor::qt::DeviceWatcher::DeviceChanged, &window,
                         &zelkor::qt::PanelWindow::NotifyDeviceChange);
        status = zelkor::qt::RunPanel(window);
    }
    zelkor::SetHidBackend(nullptr);
    return status;
}
