// The simulated receiver coming and going in the demo panel, as a real one
// would: it leaves for its bootloader and is back a power-cycle later, and
// it can be plugged in a while after the start. Each arrival and departure
// is a device notice to the panel, delivered from the event loop, so after
// the transaction during which the receiver left.
#pragma once

#include <QObject>

#include "panel_window.h"
#include "simulated.h"

namespace zelkor::qt {

class DemoReceiver final : public QObject {
    Q_OBJECT
public:
    struct Timing {
        int plugInMs = kDemoPlugInDelayMs;  // after the start, when it starts unplugged
        int returnMs = kDemoReturnDelayMs;  // after leaving for the bootloader
    };

    DemoReceiver(SimulatedHid& receiver, PanelWindow& panel, bool startUnplugged, Timing timing);
    DemoReceiver(SimulatedHid& receiver, PanelWindow& panel, bool startUnplugged)
        : DemoReceiver(receiver, panel, startUnplugged, Timing{}) {}
    ~DemoReceiver() override;

private:
    void OnPresence(bool present);

    SimulatedHid& receiver_;
    PanelWindow& panel_;
    Timing timing_;
};

}  // namespace zelkor::qt
