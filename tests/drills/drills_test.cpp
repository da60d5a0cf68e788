// Failure drills: every fault the receiver or the system can throw at the
// panel, checked for the log line, the controls, bounded waits and leaks.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "discovery.h"
#include "events.h"
#include "fake_dialog.h"
#include "hidraw.h"
#include "recording.h"
#include "report.h"
#include "resource.h"
#include "settings.h"
#include "transactions.h"

namespace zelkor::testing {
namespace {

using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::wstring>;

const std::wstring kNotFound = L"Error, Zelkor not found: is Zelkor correctly installed?";

class Drill : public SimulatedReceiverTest {
protected:
    void SetUp() override {
        SimulatedReceiverTest::SetUp();
        SetLogView(nullptr);
        sim.Settings().biasT = 1;
        sim.Settings().ifGain = 33;
        OnInitDialog(dialog);
    }
    void TearDown() override {
        OnDestroy(dialog);
        SimulatedReceiverTest::TearDown();
    }
    Lines LogLines() {
        RecordingLog parsed;
        parsed.Append(dialog.texts[IDC_LOG]);
        return parsed.Lines();
    }
    // A refresh, with how long it took; a hang guard, not a speed check.
    Clock::duration TimedRefresh() {
        const auto start = Clock::now();
        OnDeviceChange(dialog);
        const auto took = Clock::now() - start;
        EXPECT_LT(took, std::chrono::milliseconds(7 * LATE_REPLY_LIMIT_MS + 5000));
        return took;
    }
    FakeDialog dialog;
};

TEST_F(Drill, ReplyFaultsShowTheFailureLineAndTheDataAsReported) {
    struct Case {
        const char* name;
        std::function<void(FirmwareFaults&)> fault;
        const wchar_t* lastLine;
        const wchar_t* gain;
        const wchar_t* frequency;
        bool biasT;
    } cases[] = {
        {"status 0", [](FirmwareFaults& f) { f.status = 0; }, L"Error, Zelkor read command.", L"33", L"100000000", true},
        {"status 2", [](FirmwareFaults& f) { f.status = 2; }, L"Error, Zelkor read command.", L"33", L"100000000", true},
        {"status 255", [](FirmwareFaults& f) { f.status = 255; }, L"Error, Zelkor read command.", L"33", L"100000000", true},
        {"short reply", [](FirmwareFaults& f) { f.replyLength = 1; }, L"Error, Zelkor read command.", L"0", L"0", false},
        {"silent", [](FirmwareFaults& f) { f.silent = true; }, L"Error, Zelkor read command.", L"0", L"0", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim.Faults() = {};
        c.fault(sim.Faults());
        TimedRefresh();
        EXPECT_EQ(LogLines().back(), c.lastLine);
        EXPECT_EQ(dialog.texts[IDC_IF_GAIN_VALUE], c.gain);
        EXPECT_EQ(dialog.texts[IDC_CURRENT_FREQUENCY], c.frequency);
        EXPECT_EQ(dialog.checks[IDC_BIAS_T], c.biasT);
        EXPECT_EQ(sim.OpenHandles(), 0u);
    }
}

TEST_F(Drill, GarbageRepliesNeverPutOutOfRangeValuesOnScreen) {
    sim.Faults().garbage = true;
    for (int round = 0; round < 50; ++round) {
        OnDeviceChange(dialog);
        const int gain = std::stoi(dialog.texts[IDC_IF_GAIN_VALUE]);
        EXPECT_TRUE(gain >= 0 && gain <= 59) << gain;
        EXPECT_LE(dialog.texts[IDC_CURRENT_FREQUENCY].size(), 10u);
        EXPECT_EQ(dialog.texts[IDC_CURRENT_FREQUENCY].find(L'-'), std::wstring::npos);
        const int rf = dialog.selection[IDC_RF_FILTER];
        EXPECT_TRUE(rf >= -1 && rf <= 10);
    }
}

TEST_F(Drill, UnpluggedBetweenTransactionsGivesNotFoundAndZeros) {
    sim.SetPresent(false);
    TimedRefresh();
    EXPECT_EQ(LogLines(), (Lines{L"HIDOpen of Vid_04d8&Pid_fb31 returns 0", kNotFound}));
    EXPECT_EQ(dialog.texts[IDC_CURRENT_FREQUENCY], L"0");
    EXPECT_FALSE(dialog.checks[IDC_BIAS_T]);
    // Actions while unplugged only log.
    dialog.checks[IDC_LNA_ENABLE] = false;
    OnCommand(dialog, IDC_LNA_ENABLE, kButtonClicked);
    EXPECT_EQ(LogLines().back(), kNotFound);
    OnVScroll(dialog, IDC_IF_GAIN_SPIN, ScrollCode::LineUp, 0);
    EXPECT_EQ(LogLines().back(), kNotFound);
}

TEST_F(Drill, UnpluggedMidExchangeFailsFastAndTheRestIsNotFound) {
    sim.UnplugAfterReports(3);  // during the bias-T read
    const auto took = TimedRefresh();
    EXPECT_LT(took, std::chrono::milliseconds(REPLY_TIMEOUT_MS)) << "a vanished device fails at once";
    EXPECT_EQ(LogLines().back(), kNotFound);
    EXPECT_FALSE(dialog.checks[IDC_BIAS_T]);
    EXPECT_EQ(dialog.texts[IDC_CURRENT_FREQUENCY], L"0");
    EXPECT_EQ(sim.OpenHandles(), 0u);
}

TEST_F(Drill, ReplugDuringARefreshRecoversForTheRemainingReads) {
    sim.SetPresenceListener([this](bool present) {
        if (!present) sim.SetPresent(true);  // back at once, as after a brief glitch
    });
    sim.UnplugAfterReports(3);
    TimedRefresh();
    sim.SetPresenceListener(nullptr);
    EXPECT_EQ(LogLines().back(), L"Success, Zelkor read command, value: 0");
    EXPECT_FALSE(dialog.checks[IDC_BIAS_T]) << "the read that was cut off shows 0";
    EXPECT_TRUE(dialog.checks[IDC_LNA_ENABLE]);
    EXPECT_EQ(dialog.texts[IDC_IF_GAIN_VALUE], L"33");
    EXPECT_EQ(dialog.texts[IDC_CURRENT_FREQUENCY], L"100000000");
}

TEST_F(Drill, NoHandleLeaksOverAThousandTransactionsWhateverTheFault) {
    const std::uint8_t on = 1;
    std::uint8_t value;
    for (int i = 0; i < 1000; ++i) {
        sim.Faults() = {};
        switch (i % 5) {
        case 0: sim.Faults().status = 2; break;
        case 1: sim.Faults().replyLength = 1; break;
        case 2: sim.UnplugAfterReports(1); break;
        case 3: sim.SetFailOpenRead(true); break;
        default: break;
        }
        WriteSetting(CMD_SET_BIAS_T, &on, 1);
        ReadSetting(CMD_GET_FREQ, &value, 1);
        sim.SetFailOpenRead(false);
        sim.SetPresent(true);
        ASSERT_EQ(sim.OpenHandles(), 0u) << "round " << i;
    }
}

std::size_t OpenDescriptors() {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++count;
    }
    return count;
}

// The hidraw backend over a fixture tree whose device node is a plain file:
// every exchange opens and closes real descriptors.
TEST(HidrawDrill, NoDescriptorLeaksOverAThousandTransactions) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("zelkor-drill-" + std::to_string(::getpid()));
    fs::remove_all(root);
    const fs::path hid = root / "sys/devices/usb1/1-1/1-1:1.0/0003:04D8:FB31.0001";
    fs::create_directories(hid);
    std::ofstream(hid / "uevent") << "HID_ID=0003:000004D8:0000FB31\n";
    fs::create_directories(root / "sys/class/hidraw/hidraw0");
    fs::create_directory_symlink(hid, root / "sys/class/hidraw/hidraw0/device");
    fs::create_directories(root / "dev");
    std::ofstream(root / "dev/hidraw0") << std::string(64, '\1');

    HidrawBackend backend((root / "sys").string(), (root / "dev").string());
    SetHidBackend(&backend);
    const PauseFunction previous = SetPauseFunction([](unsigned) {});
    const std::size_t before = OpenDescriptors();
    std::uint8_t value = 0;
    int found = 0;
    for (int i = 0; i < 1000; ++i) found += ReadSetting(CMD_GET_IF_GAIN, &value, 1);
    EXPECT_EQ(found, 1000);
    EXPECT_EQ(OpenDescriptors(), before + 3)
        << "only the one held on the node, its watcher's wake-up and its view of the node's directory";
    EXPECT_EQ(backend.HeldPath(), (root / "dev/hidraw0").string());
    fs::permissions(root / "dev/hidraw0", fs::perms::none);
    if (::geteuid() != 0) {
        EXPECT_EQ(ReadSetting(CMD_GET_IF_GAIN, &value, 1), 0) << "EACCES is not found";
    }
    EXPECT_EQ(OpenDescriptors(), before + 3);
    SetPauseFunction(previous);
    SetHidBackend(nullptr);
    fs::remove_all(root);
}

// Input reports reach every reader of the device, so two panels on one
// receiver may take each other's replies; neither may hang or crash.
TEST_F(Drill, TwoClientsOnOneReceiverNeverHang) {
    OnDestroy(dialog);
    // Neither the trace nor the recorded pause: both write one shared list.
    SetHidBackend(&sim);
    const PauseFunction recording = SetPauseFunction([](unsigned) {});
    std::atomic<int> exchanges{0};
    auto client = [&](std::uint8_t code) {
        for (int i = 0; i < 300; ++i) {
            HidHandle w = kInvalidHandle, r = kInvalidHandle;
            if (HIDOpen(HARDWARE_ID_PATTERN, &w, &r)) {
                std::uint8_t value;
                HIDReadCommand(w, r, code, &value, 1);
                ++exchanges;
            }
            HIDClose(w, r);
        }
    };
    const auto start = Clock::now();
    std::thread a(client, CMD_GET_IF_GAIN), b(client, CMD_GET_LNA_ENABLE);
    a.join();
    b.join();
    EXPECT_EQ(exchanges, 600);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(sim.OpenHandles(), 0u);
    SetPauseFunction(recording);
    OnInitDialog(dialog);  // for TearDown
}

// Transactions take turns: two threads reading different settings over and
// over, with reports arriving besides the replies, each see only their own.
TEST_F(Drill, TwoClientsTakingTurnsNeverSeeEachOthersValues) {
    OnDestroy(dialog);
    SetHidBackend(&sim);
    const PauseFunction recording = SetPauseFunction([](unsigned) {});
    sim.SetReportsBeforeReply(1);
    std::atomic<int> wrong{0}, done{0};
    auto client = [&](std::uint8_t code, std::uint8_t truth) {
        for (int i = 0; i < 300; ++i) {
            std::uint8_t value = 0xEE, status = 0;
            if (ReadSetting(code, &value, 1, &status) == 1 && status == REPLY_OK) {
                ++done;
                if (value != truth) ++wrong;
            }
        }
    };
    std::thread a(client, CMD_GET_IF_GAIN, 33), b(client, CMD_GET_LNA_ENABLE, 1);
    a.join();
    b.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(done, 600);
    EXPECT_EQ(sim.OpenHandles(), 0u);
    sim.SetReportsBeforeReply(0);
    SetPauseFunction(recording);
    OnInitDialog(dialog);  // for TearDown
}

}  // namespace
}  // namespace zelkor::testing
