#include "demo_receiver.h"

#include <QTimer>

namespace zelkor::qt {

DemoReceiver::DemoReceiver(SimulatedHid& receiver, PanelWindow& panel, bool startUnplugged, DemoTiming timing)
    : cycle_(
          receiver,
          [this](int delayMs, std::function<void()> task) { QTimer::singleShot(delayMs, this, std::move(task)); },
          [&panel] { panel.NotifyDeviceChange(); }, startUnplugged, timing) {}

}  // namespace zelkor::qt
