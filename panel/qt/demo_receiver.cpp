#include "demo_receiver.h"

#include <QTimer>

namespace zelkor::qt {

DemoReceiver::DemoReceiver(SimulatedHid& receiver, PanelWindow& panel, bool startUnplugged, Timing timing)
    : receiver_(receiver), panel_(panel), timing_(timing) {
    if (startUnplugged) {
        receiver_.SetPresent(false);
        QTimer::singleShot(timing_.plugInMs, this, [this] { receiver_.SetPresent(true); });
    }
    // Called from inside the exchange when the receiver leaves: only queue.
    receiver_.SetPresenceListener([this](bool present) {
        QMetaObject::invokeMethod(this, [this, present] { OnPresence(present); }, Qt::QueuedConnection);
    });
}

DemoReceiver::~DemoReceiver() { receiver_.SetPresenceListener(nullptr); }

void DemoReceiver::OnPresence(bool present) {
    panel_.NotifyDeviceChange();
    if (!present) QTimer::singleShot(timing_.returnMs, this, [this] { receiver_.SetPresent(true); });
}

}  // namespace zelkor::qt
