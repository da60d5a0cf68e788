#include <gtest/gtest.h>

#include <cstdio>

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

// A receiver whose node is there but may not be opened.
class DeniedReceiver final : public HidBackend {
public:
    std::vector<HidInterfaceInfo> Enumerate() override { return {{{L"HID\\VID_04D8&PID_FB31"}, "/dev/hidraw3"}}; }
    HidHandle OpenWrite(const std::string&) override { return denied ? kInvalidHandle : 7; }
    HidHandle OpenRead(const std::string&) override { return 8; }
    bool Write(HidHandle, const std::uint8_t*) override { return false; }
    HidIo Read(HidHandle, std::uint8_t*, int) override { return HidIo::Failed; }
    void Close(HidHandle) override {}
    HidOpenError LastOpenError() override { return {"Permission denied", "to grant access, do this"}; }
    bool denied = true;
};

TEST(OpenFailure, IsToldOnceWithTheReasonAndHowToGrantAccessUntilItChanges) {
    DeniedReceiver backend;
    SetHidBackend(&backend);
    char text[1024] = {};
    std::FILE* stream = fmemopen(text, sizeof text - 1, "w");
    ASSERT_NE(stream, nullptr);
    auto open = [] {
        HidHandle w = kInvalidHandle, r = kInvalidHandle;
        const int found = HIDOpen(HARDWARE_ID_PATTERN, &w, &r);
        HIDClose(w, r);
        return found;
    };
    EXPECT_EQ(open(), 0);
    EXPECT_EQ(OpenFailureMessage(),
              "the receiver is at /dev/hidraw3 but cannot be opened: Permission denied\n"
              "to grant access, do this\n");
    ReportOpenFailure(stream, "prog");
    EXPECT_EQ(open(), 0);
    ReportOpenFailure(stream, "prog");  // the same failure again: said already
    backend.denied = false;
    EXPECT_EQ(open(), 1);
    EXPECT_EQ(OpenFailureMessage(), "");
    ReportOpenFailure(stream, "prog");
    backend.denied = true;
    EXPECT_EQ(open(), 0);
    ReportOpenFailure(stream, "prog");  // denied once more, after it worked
    std::fclose(stream);
    const std::string once =
        "prog: the receiver is at /dev/hidraw3 but cannot be opened: Permission denied\n"
        "prog: to grant access, do this\n";
    EXPECT_EQ(std::string(text), once + once);
    SetHidBackend(nullptr);
}

}  // namespace
}  // namespace zelkor::testing
