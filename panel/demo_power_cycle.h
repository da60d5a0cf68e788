// The demo panels' simulated receiver comes and goes as a real one would:
// it can be plugged in a while after the start, and after leaving for its
// bootloader it is back a power-cycle later. Each arrival and departure is
// a device notice to the panel, delivered from the event loop, so after the
// transaction during which the receiver left.
#pragma once

#include <functional>

#include "simulated.h"

namespace zelkor {

struct DemoTiming {
    int plugInMs = kDemoPlugInDelayMs;  // after the start, when it starts unplugged
    int returnMs = kDemoReturnDelayMs;  // after the panel heard it leave
};

class DemoPowerCycle {
public:
    // The front end's event loop: runs `task` on the panel's thread `delayMs`
    // from now (0: once the running handler has returned), unless the loop
    // has ended first.
    using RunLater = std::function<void(int delayMs, std::function<void()> task)>;

    DemoPowerCycle(SimulatedHid& receiver, RunLater runLater, std::function<void()> notifyPanel, bool startUnplugged,
                   DemoTiming timing = {});
    ~DemoPowerCycle();
    DemoPowerCycle(const DemoPowerCycle&) = delete;
    DemoPowerCycle& operator=(const DemoPowerCycle&) = delete;

private:
    void PlugIn();

    SimulatedHid& receiver_;
    RunLater runLater_;
    std::function<void()> notifyPanel_;
    DemoTiming timing_;
};

}  // namespace zelkor
