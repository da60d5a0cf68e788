#include <gtest/gtest.h>

#include "discovery.h"
#include "recording.h"

namespace zelkor::testing {
namespace {

TEST(HardwareIdMatch, OnlyTheFirstStringCountsAndCaseIsIgnored) {
    struct Case {
        std::vector<std::wstring> ids;
        bool matches;
    } cases[] = {
        {{L"HID\\VID_04D8&PID_FB31&REV_0100"}, true},
        {{L"hid\\vid_04d8&pid_fb31"}, true},
        {{L"HID\\Vid_04D8&pID_Fb31&MI_00"}, true},
        {{L"HID\\VID_04D8&PID_FB32", L"HID\\VID_04D8&PID_FB31"}, false},
        {{L"HID\\VID_845E&PID_0001"}, false},
        {{}, false},
        // Lowercasing touches A-Z only: a Kelvin sign is not a 'k'.
        {{L"HID\\VID_04D8&PID_FB31\u212A"}, true},
        {{L"HID\\VID_04D8&PID_FB3"}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MatchesHardwareId({c.ids, "p"}, HARDWARE_ID_PATTERN), c.matches)
            << (c.ids.empty() ? std::string("(none)") : std::string(c.ids[0].begin(), c.ids[0].end()));
    }
    EXPECT_EQ(LowerAscii(L"AZaz\u00C4\u212A"), L"azaz\u00C4\u212A");
}

using Discovery = SimulatedReceiverTest;

TEST_F(Discovery, OpensTheReceiverAsAWriteAndAReadHandle) {
    sim.AddOtherDevice({L"HID\\VID_845E&PID_0001"});
    HidHandle w = kInvalidHandle, r = kInvalidHandle;
    ASSERT_EQ(HIDOpen(HARDWARE_ID_PATTERN, &w, &r), 1);
    EXPECT_NE(w, kInvalidHandle);
    EXPECT_NE(r, kInvalidHandle);
    EXPECT_NE(w, r);
    EXPECT_EQ(sim.OpenHandles(), 2u);
    HIDClose(w, r);
    EXPECT_EQ(sim.OpenHandles(), 0u);
}

TEST_F(Discovery, AbsentOrUnmatchedLeavesBothHandlesInvalid) {
    sim.SetHardwareIds({L"HID\\VID_1234&PID_5678", L"HID\\VID_04D8&PID_FB31"});
    HidHandle w = kInvalidHandle, r = kInvalidHandle;
    EXPECT_EQ(HIDOpen(HARDWARE_ID_PATTERN, &w, &r), 0);
    EXPECT_EQ(w, kInvalidHandle);
    EXPECT_EQ(r, kInvalidHandle);

    sim.SetHardwareIds({L"HID\\VID_04D8&PID_FB31"});
    sim.SetPresent(false);
    EXPECT_EQ(HIDOpen(HARDWARE_ID_PATTERN, &w, &r), 0);
    EXPECT_EQ(w, kInvalidHandle);
    EXPECT_EQ(r, kInvalidHandle);
    HIDClose(w, r);  // closing an unopened pair is harmless
    EXPECT_EQ(sim.OpenHandles(), 0u);
}

TEST_F(Discovery, FailedReadOpenKeepsTheWriteHandleForTheCallerToClose) {
    sim.SetFailOpenRead(true);
    HidHandle w = kInvalidHandle, r = kInvalidHandle;
    EXPECT_EQ(HIDOpen(HARDWARE_ID_PATTERN, &w, &r), 0);
    EXPECT_NE(w, kInvalidHandle);
    EXPECT_EQ(r, kInvalidHandle);
    EXPECT_EQ(sim.OpenHandles(), 1u);
    HIDClose(w, r);
    EXPECT_EQ(sim.OpenHandles(), 0u);
}

// A backend whose first matching device has no path: the search stops there.
class TwoReceivers final : public HidBackend {
public:
    std::vector<HidInterfaceInfo> Enumerate() override {
        return {{{L"HID\\VID_04D8&PID_FB31"}, ""}, {{L"HID\\VID_04D8&PID_FB31"}, "second"}};
    }
    HidHandle OpenWrite(const std::string&) override { return ++opens; }
    HidHandle OpenRead(const std::string&) override { return ++opens; }
    bool Write(HidHandle, const std::uint8_t*) override { return false; }
    HidIo Read(HidHandle, std::uint8_t*, int) override { return HidIo::Failed; }
    void Close(HidHandle) override {}
    int opens = 0;
};

TEST(DiscoveryStops, AtTheFirstMatchEvenWhenItCannotBeOpened) {
    TwoReceivers backend;
    SetHidBackend(&backend);
    HidHandle w = kInvalidHandle, r = kInvalidHandle;
    EXPECT_EQ(HIDOpen(HARDWARE_ID_PATTERN, &w, &r), 0);
    EXPECT_EQ(backend.opens, 0);
    SetHidBackend(nullptr);
}

}  // namespace
}  // namespace zelkor::testing
