#include "demo_power_cycle.h"

#include <utility>

namespace zelkor {

DemoPowerCycle::DemoPowerCycle(SimulatedHid& receiver, RunLater runLater, std::function<void()> notifyPanel,
                               bool startUnplugged, DemoTiming timing)
    : receiver_(receiver), runLater_(std::move(runLater)), notifyPanel_(std::move(notifyPanel)), timing_(timing) {
    if (startUnplugged) {
        receiver_.SetPresent(false);
        runLater_(timing_.plugInMs, [this] { PlugIn(); });
    }
    // Called from inside the exchange when the receiver leaves: only queue.
    receiver_.SetPresenceListener([this](bool present) {
        runLater_(0, [this, present] {
            notifyPanel_();
            if (!present) runLater_(timing_.returnMs, [this] { PlugIn(); });
        });
    });
}

DemoPowerCycle::~DemoPowerCycle() { receiver_.SetPresenceListener(nullptr); }

void DemoPowerCycle::PlugIn() { receiver_.SetPresent(true); }

}  // namespace zelkor
