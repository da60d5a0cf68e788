#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "demo_power_cycle.h"

namespace zelkor::testing {
namespace {

// An event loop whose clock moves only when told to.
class ManualLoop {
public:
    DemoPowerCycle::RunLater Runner() {
        return [this](int delayMs, std::function<void()> task) {
            tasks_.push_back(Task{now_ + delayMs, next_++, std::move(task)});
        };
    }
    // Runs, in time order, every task due by `ms`, those they queue included.
    void AdvanceTo(int ms) {
        for (;;) {
            const auto due = std::min_element(tasks_.begin(), tasks_.end(), [](const Task& a, const Task& b) {
                return a.at != b.at ? a.at < b.at : a.order < b.order;
            });
            if (due == tasks_.end() || due->at > ms) break;
            now_ = due->at;
            const std::function<void()> task = std::move(due->run);
            tasks_.erase(due);
            task();
        }
        now_ = ms;
    }
    std::size_t Pending() const { return tasks_.size(); }

private:
    struct Task {
        int at;
        int order;
        std::function<void()> run;
    };
    std::vector<Task> tasks_;
    int now_ = 0;
    int next_ = 0;
};

class DemoPowerCycleTest : public ::testing::Test {
protected:
    std::unique_ptr<DemoPowerCycle> Start(bool unplugged) {
        return std::make_unique<DemoPowerCycle>(sim, loop.Runner(), [this] { ++notices; }, unplugged,
                                                DemoTiming{50, 300});
    }

    SimulatedHid sim;
    ManualLoop loop;
    int notices = 0;
};

TEST_F(DemoPowerCycleTest, PlugsInLateThenReturnsAPowerCycleAfterLeaving) {
    const auto cycle = Start(true);
    EXPECT_FALSE(sim.Present());
    loop.AdvanceTo(49);
    EXPECT_FALSE(sim.Present());
    loop.AdvanceTo(50);
    EXPECT_TRUE(sim.Present());
    EXPECT_EQ(notices, 1);

    // The receiver leaves inside an exchange: the panel hears of it from
    // the loop, and the return is timed from then.
    sim.SetPresent(false);
    EXPECT_EQ(notices, 1);
    loop.AdvanceTo(50);
    EXPECT_EQ(notices, 2);
    loop.AdvanceTo(349);
    EXPECT_FALSE(sim.Present());
    loop.AdvanceTo(350);
    EXPECT_TRUE(sim.Present());
    EXPECT_EQ(notices, 3);
    EXPECT_EQ(loop.Pending(), 0u);
}

TEST_F(DemoPowerCycleTest, PluggedInFromTheStartAndSilentOnceGone) {
    auto cycle = Start(false);
    EXPECT_TRUE(sim.Present());
    EXPECT_EQ(loop.Pending(), 0u);
    cycle.reset();
    sim.SetPresent(false);
    sim.SetPresent(true);
    EXPECT_EQ(loop.Pending(), 0u);
    EXPECT_EQ(notices, 0);
}

}  // namespace
}  // namespace zelkor::testing
