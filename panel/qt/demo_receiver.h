// The demo receiver's power cycle on Qt's event loop: its timers run with
// this object as their context, so none outlives it.
#pragma once

#include <QObject>

#include "demo_power_cycle.h"
#include "panel_window.h"

namespace zelkor::qt {

class DemoReceiver final : public QObject {
    Q_OBJECT
public:
    DemoReceiver(SimulatedHid& receiver, PanelWindow& panel, bool startUnplugged, DemoTiming timing = {});

private:
    DemoPowerCycle cycle_;
};

}  // namespace zelkor::qt
