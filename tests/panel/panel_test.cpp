#include <gtest/gtest.h>

#include <climits>

#include "events.h"
#include "fake_dialog.h"
#include "reentry_gate.h"
#include "recording.h"
#include "resource.h"
#include "settings.h"
#include "tuning.h"

namespace zelkor::testing {
namespace {

using Strings = std::vector<std::string>;
using Lines = std::vector<std::wstring>;

const Strings kRefreshReads = {"99", "a2", "a6", "96", "9a", "9d", "66"};

class PanelTest : public SimulatedReceiverTest {
protected:
    void SetUp() override {
        SimulatedReceiverTest::SetUp();
        SetLogView(nullptr);  // the panel registers its own
    }
    void TearDown() override {
        if (g_hDlg) OnDestroy(dialog);
        SimulatedReceiverTest::TearDown();
    }
    void Open() {
        OnInitDialog(dialog);
        g_events.clear();
    }
    // The command byte and the first `payload` bytes of every report sent.
    Strings SentHeads(int payload = 0) const {
        Strings heads;
        for (const std::string& s : Sent()) heads.push_back(Head(s, 1 + payload));
        return heads;
    }
    Lines LogLines() {
        RecordingLog parsed;
        parsed.Append(dialog.texts[IDC_LOG]);
        return parsed.Lines();
    }

    FakeDialog dialog;
};

TEST_F(PanelTest, OpeningFillsTheSelectorsAndShowsTheReceiver) {
    sim.Settings().biasT = 1;
    sim.Settings().ifGain = 12;
    OnInitDialog(dialog);
    EXPECT_EQ(SentHeads(), kRefreshReads);
    EXPECT_EQ(dialog.selectorItems[IDC_RF_FILTER].size(), 11u);
    EXPECT_EQ(dialog.selectorItems[IDC_RF_FILTER].back(), L"875MHz-1900MHz");
    EXPECT_EQ(dialog.selectorItems[IDC_IF_FILTER],
              (Lines{L"200kHz", L"300kHz", L"600kHz", L"1536kHz", L"5MHz", L"6MHz", L"7MHz", L"8MHz"}));
    EXPECT_EQ(dialog.selection[IDC_RF_FILTER], 5);  // 100 MHz: 75MHz-125MHz
    EXPECT_EQ(dialog.selection[IDC_IF_FILTER], 0);
    EXPECT_TRUE(dialog.checks[IDC_BIAS_T]);
    EXPECT_TRUE(dialog.checks[IDC_LNA_ENABLE]);
    EXPECT_TRUE(dialog.checks[IDC_MIXER_GAIN]);
    EXPECT_EQ(dialog.scroll[IDC_IF_GAIN_SPIN].max, 59);
    EXPECT_EQ(dialog.scroll[IDC_IF_GAIN_SPIN].page, 1);
    EXPECT_EQ(dialog.GetScrollPos(IDC_IF_GAIN_SPIN), 12);
    EXPECT_EQ(dialog.texts[IDC_IF_GAIN_VALUE], L"12");
    EXPECT_EQ(dialog.texts[IDC_CURRENT_FREQUENCY], L"100000000");
    EXPECT_EQ(LogLines(), (Lines{L"HIDOpen of Vid_04d8&Pid_fb31 returns 1", L"Success, Zelkor found.",
                                 L"HIDReadCommand returns 1", L"Success, Zelkor read command, value: 0"}));
}

TEST_F(PanelTest, ReceiverAbsentAtStartShowsNotFoundAndZeros) {
    sim.SetPresent(false);
    OnInitDialog(dialog);
    EXPECT_EQ(LogLines(), (Lines{L"HIDOpen of Vid_04d8&Pid_fb31 returns 0",
                                 L"Error, Zelkor not found: is Zelkor correctly installed?"}));
    EXPECT_EQ(dialog.selection[IDC_RF_FILTER], 0);
    EXPECT_EQ(dialog.selection[IDC_IF_FILTER], 0);
    EXPECT_FALSE(dialog.checks[IDC_BIAS_T] || dialog.checks[IDC_LNA_ENABLE] || dialog.checks[IDC_MIXER_GAIN]);
    EXPECT_EQ(dialog.texts[IDC_IF_GAIN_VALUE], L"0");
    EXPECT_EQ(dialog.texts[IDC_CURRENT_FREQUENCY], L"0");

    // Plugged in: the device-change notice fills the panel.
    sim.SetPresent(true);
    dialog.texts[IDC_LOG] = L"stale";
    OnDeviceChange(dialog);
    EXPECT_EQ(dialog.texts[IDC_CURRENT_FREQUENCY], L"100000000");
    EXPECT_TRUE(dialog.checks[IDC_LNA_ENABLE]);
    EXPECT_EQ(LogLines().front(), L"HIDOpen of Vid_04d8&Pid_fb31 returns 1");
}

TEST_F(PanelTest, RefreshShowsWhatTheReceiverReportsEvenOddValues) {
    struct Case {
        const char* name;
        std::uint8_t rf, ifFilter, ifGain;
        std::uint32_t hz;
        int rfSelection, ifSelection;
        const wchar_t* gainText;
        const wchar_t* frequencyText;
    } cases[] = {
        {"last RF band", 10, 7, 37, 1296000000, 10, 7, L"37", L"1296000000"},
        {"unknown codes", 11, 9, 0, 100000, -1, -1, L"0", L"100000"},
        {"gain beyond the spinner", 0, 0, 200, 2500000000u, 0, 0, L"59", L"2500000000"},
        {"above 2^31 stays positive", 0, 0, 1, 4294967295u, 0, 0, L"1", L"4294967295"},
    };
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FirmwareSettings& s = sim.Settings();
        s.rfFilter = c.rf;
        s.ifFilter = c.ifFilter;
        s.ifGain = c.ifGain;
        s.frequencyHz = c.hz;
        RefreshPanel(dialog);
        EXPECT_EQ(dialog.selection[IDC_RF_FILTER], c.rfSelection);
        EXPECT_EQ(dialog.selection[IDC_IF_FILTER], c.ifSelection);
        EXPECT_EQ(dialog.texts[IDC_IF_GAIN_VALUE], c.gainText);
        EXPECT_EQ(dialog.texts[IDC_CURRENT_FREQUENCY], c.frequencyText);
    }
}

TEST_F(PanelTest, ApplySkipsTheIfFilterWhenNothingIsSelected) {
    sim.Settings().ifFilter = 9;
    Open();
    ApplyPanel(dialog);
    EXPECT_EQ(SentHeads(), (Strings{"7e", "6e", "72", "75"}));
}

TEST_F(PanelTest, DefaultsWriteEverySettingTwiceThenRefreshKeepingTheRfBand) {
    FirmwareSettings& s = sim.Settings();
    s.frequencyHz = 145000000;
    s.rfFilter = 7;
    s.ifFilter = 3;
    s.biasT = 1;
    s.lna = 0;
    s.mixerGain = 0;
    s.ifGain = 40;
    Open();
    OnCommand(dialog, IDC_SET_DEFAULTS, kButtonClicked);
    Strings expected;
    for (int pass = 0; pass < 2; ++pass)
        for (const char* write : {"7a 00", "7e 00", "6e 01", "72 01", "75 00 00"}) expected.push_back(write);
    const Strings sentReports = Sent();
    ASSERT_EQ(sentReports.size(), expected.size() + kRefreshReads.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(Head(sentReports[i], int(expected[i].size() + 1) / 3), expected[i]) << i;
    const Strings heads = SentHeads();
    EXPECT_EQ(Strings(heads.begin() + 10, heads.end()), kRefreshReads);
    EXPECT_EQ(dialog.selection[IDC_RF_FILTER], 7);
    EXPECT_EQ(dialog.selection[IDC_IF_FILTER], 0);
    EXPECT_EQ(dialog.texts[IDC_IF_GAIN_VALUE], L"0");
    EXPECT_FALSE(dialog.checks[IDC_BIAS_T]);
    EXPECT_TRUE(dialog.checks[IDC_LNA_ENABLE] && dialog.checks[IDC_MIXER_GAIN]);
}

TEST(FrequencyEntry, ConvertsLikeTheStandardWideConversionSaturatingAt32Bits) {
    struct Case {
        const wchar_t* text;
        int value;
    } cases[] = {
        {L"145000", 145000},      {L"", 0},
        {L"  +150", 150},         {L" \t\n42", 42},
        {L"-5", -5},              {L"+-3", 0},
        {L"12ab34", 12},          {L"0x10", 0},
        {L"2147483647", INT_MAX}, {L"2147483648", INT_MAX},
        {L"-2147483648", INT_MIN}, {L"-99999999999999999999", INT_MIN},
        {L"\uFF19", 0},  // a full-width digit is no digit here
    };
    for (const Case& c : cases) EXPECT_EQ(ParseFrequencyEntry(c.text), c.value) << std::string(c.text, c.text + wcslen(c.text));
}

TEST_F(PanelTest, FrequencyEntryTunesInRangeAndWarnsOtherwise) {
    struct Case {
        std::wstring entry;
        const char* sent;  // the set-frequency report, or nullptr for the warning
    } cases[] = {
        {L"100", "65 a0 86 01 00"},
        {L"2500000", "65 00 f9 02 95"},
        {L"  +150", "65 f0 49 02 00"},
        {L"145000abc", "65 40 86 a4 08"},
        // The whole text counts, however much comes in front of the digits.
        {L"000000000000000000000000145000", "65 40 86 a4 08"},
        {std::wstring(25, L' ') + L"145000", "65 40 86 a4 08"},
        {std::wstring(5000, L'0') + L"145000", "65 40 86 a4 08"},
        {L"\t " + std::wstring(300, L' ') + L"+000100", "65 a0 86 01 00"},
        {std::wstring(25, L' ') + L"99", nullptr},
        {L"99", nullptr},
        {L"2500001", nullptr},
        {L"", nullptr},
        {L"-5", nullptr},
        {L" +", nullptr},
        {std::wstring(30, L'9'), nullptr},
        {std::wstring(5000, L'9'), nullptr},  // saturates: out of range, not cut to a valid number
        {L"1" + std::wstring(28, L'0') + L"0145000", nullptr},
    };
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.entry.begin(), c.entry.end()));
        g_events.clear();
        dialog.warnings.clear();
        dialog.texts[IDC_LOG] = L"untouched";
        dialog.texts[IDC_FREQUENCY] = c.entry;
        OnCommand(dialog, IDC_SET_FREQUENCY, kButtonClicked);
        if (c.sent) {
            ASSERT_FALSE(Sent().empty());
            EXPECT_EQ(Head(Sent().front(), 5), c.sent);
            EXPECT_TRUE(dialog.warnings.empty());
        } else {
            EXPECT_TRUE(Sent().empty());
            EXPECT_EQ(dialog.warnings, Lines{L"Error: Target frequency must be between 100 and 2500000"});
            EXPECT_EQ(dialog.texts[IDC_LOG], L"untouched");
        }
    }
}

TEST_F(PanelTest, TuningRefreshesThePanelAndEndsTheLogWithSuccess) {
    Open();
    dialog.texts[IDC_FREQUENCY] = L"145000";
    OnCommand(dialog, IDC_SET_FREQUENCY, kButtonClicked);
    Strings expected = {"65"};
    expected.insert(expected.end(), kRefreshReads.begin(), kRefreshReads.end());
    EXPECT_EQ(SentHeads(), expected);
    EXPECT_EQ(dialog.texts[IDC_CURRENT_FREQUENCY], L"145000000");
    EXPECT_EQ(dialog.selection[IDC_RF_FILTER], 7);
    EXPECT_EQ(LogLines(), (Lines{L"HIDOpen of Vid_04d8&Pid_fb31 returns 1", L"Success, Zelkor found.",
                                 L"HIDReadCommand returns 1", L"Success, Zelkor read command, value: 64",
                                 L"Success, Zelkor frequency set."}));
    EXPECT_EQ(sim.OpenHandles(), 0u);
}

TEST_F(PanelTest, FailedTuningLeavesTheFieldsAlone) {
    Open();
    dialog.texts[IDC_FREQUENCY] = L"145000";
    sim.Faults().status = 0;
    OnCommand(dialog, IDC_SET_FREQUENCY, kButtonClicked);
    EXPECT_EQ(SentHeads(), Strings{"65"});
    EXPECT_EQ(LogLines().back(), L"Error, Zelkor frequency NOT set.");

    sim.Faults() = {};
    sim.SetPresent(false);
    OnCommand(dialog, IDC_SET_FREQUENCY, kButtonClicked);
    EXPECT_EQ(LogLines(), (Lines{L"HIDOpen of Vid_04d8&Pid_fb31 returns 0",
                                 L"Error, Zelkor not found: is Zelkor correctly installed?"}));
    EXPECT_EQ(dialog.texts[IDC_CURRENT_FREQUENCY], L"100000000");
}

TEST_F(PanelTest, CheckBoxesWriteTheirNewStateOnClickOnly) {
    Open();
    const struct {
        int id;
        bool checked;
        const char* sent;
    } cases[] = {
        {IDC_BIAS_T, true, "7e 01"},
        {IDC_LNA_ENABLE, false, "6e 00"},
        {IDC_MIXER_GAIN, false, "72 00"},
    };
    for (const auto& c : cases) {
        g_events.clear();
        dialog.checks[c.id] = c.checked;
        OnCommand(dialog, c.id, kButtonClicked);
        ASSERT_EQ(Sent().size(), 1u) << "no refresh follows";
        EXPECT_EQ(Head(Sent()[0], 2), c.sent);
        g_events.clear();
        OnCommand(dialog, c.id, 5 /* another notification */);
        EXPECT_TRUE(Sent().empty());
    }
    EXPECT_EQ(sim.Settings().biasT, 1);
    EXPECT_EQ(sim.Settings().lna, 0);
}

TEST_F(PanelTest, SpinnerStepsClampsAndWritesOnEveryMessage) {
    struct Case {
        const char* name;
        int start;
        ScrollCode code;
        bool control;
        int page;
        int thumb;
        int expected;
    } cases[] = {
        {"up raises", 5, ScrollCode::LineUp, false, 1, 0, 6},
        {"down lowers", 5, ScrollCode::LineDown, false, 1, 0, 4},
        {"ctrl steps by the page", 5, ScrollCode::LineUp, true, 1, 0, 6},
        {"ctrl with a larger page", 5, ScrollCode::LineDown, true, 3, 0, 2},
        {"page up", 5, ScrollCode::PageUp, false, 1, 0, 6},
        {"page down", 5, ScrollCode::PageDown, false, 1, 0, 4},
        {"thumb", 5, ScrollCode::ThumbTrack, false, 1, 42, 42},
        {"thumb past the top", 5, ScrollCode::ThumbPosition, false, 1, 80, 59},
        {"thumb below zero", 5, ScrollCode::ThumbPosition, false, 1, -3, 0},
        {"top is the minimum", 5, ScrollCode::Top, false, 1, 0, 0},
        {"bottom is the maximum", 5, ScrollCode::Bottom, false, 1, 0, 59},
        {"up at the bound", 59, ScrollCode::LineUp, false, 1, 0, 59},
        {"down at the bound", 0, ScrollCode::LineDown, false, 1, 0, 0},
        {"end of scroll", 17, ScrollCode::EndScroll, false, 1, 0, 17},
    };
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dialog.SetScrollInfo(IDC_IF_GAIN_SPIN, ScrollInfo{0, 59, c.page, c.start});
        dialog.controlDown = c.control;
        g_events.clear();
        OnVScroll(dialog, IDC_IF_GAIN_SPIN, c.code, c.thumb);
        EXPECT_EQ(dialog.GetScrollPos(IDC_IF_GAIN_SPIN), c.expected);
        EXPECT_EQ(dialog.texts[IDC_IF_GAIN_VALUE], std::to_wstring(c.expected));
        char bytes[16];
        std::snprintf(bytes, sizeof bytes, "75 %02x 00", c.expected);
        ASSERT_EQ(Sent().size(), 1u);
        EXPECT_EQ(Head(Sent()[0], 3), bytes);
    }
}

TEST_F(PanelTest, ExitEscapeAndEnterDefaultEndOnlyOnTheirCommands) {
    Open();
    for (int id : {kIdOk, kIdCancel, IDC_EXIT}) {
        dialog.ended = 0;
        OnCommand(dialog, id, kButtonClicked);
        EXPECT_EQ(dialog.ended, 1) << id;
    }
    dialog.ended = 0;
    g_events.clear();
    OnCommand(dialog, 4242, kButtonClicked);
    EXPECT_EQ(dialog.ended, 0);
    EXPECT_TRUE(g_events.empty());
}

TEST_F(PanelTest, BootloaderSwitchThenTheReceiverIsGone) {
    Open();
    OnCommand(dialog, IDC_BOOTLOADER, kButtonClicked);
    EXPECT_EQ(SentHeads(), Strings{"ff"});
    EXPECT_EQ(LogLines().back(), L"Success, Zelkor reset to bootloader.");
    OnDeviceChange(dialog);
    EXPECT_EQ(LogLines().front(), L"HIDOpen of Vid_04d8&Pid_fb31 returns 0");
}

TEST_F(PanelTest, AfterDestroyTransactionsLeaveTheDialogAlone) {
    Open();
    OnDestroy(dialog);
    EXPECT_EQ(g_hDlg, nullptr);
    dialog.texts[IDC_LOG] = L"kept";
    TuneFrequency(145000);
    EXPECT_EQ(dialog.texts[IDC_LOG], L"kept");
    EXPECT_EQ(sim.Settings().frequencyHz, 145000000u);
}

// A handler can wait in a nested loop (the range message box) while the
// system delivers device notices: each runs its refresh after the
// outermost handler has returned, never inside it.
TEST_F(PanelTest, NoticesDuringAHandlerRunAfterItARefreshEach) {
    ReentryGate gate(dialog);
    int idle = 0;
    gate.SetIdleHook([&] { ++idle; });
    gate.DeviceChange();
    EXPECT_TRUE(Sent().empty()) << "a notice before the panel opens";
    gate.InitDialog();
    EXPECT_EQ(idle, 1);
    g_events.clear();

    dialog.texts[IDC_FREQUENCY] = L"5";
    sim.Settings().ifGain = 33;
    std::size_t sentDuringBox = 99;
    dialog.whileWarning = [&] {
        EXPECT_TRUE(gate.Busy());
        gate.DeviceChange();
        gate.DeviceChange();
        sentDuringBox = Sent().size();
    };
    gate.Command(IDC_SET_FREQUENCY, kButtonClicked);
    EXPECT_EQ(dialog.warnings.size(), 1u);
    EXPECT_EQ(sentDuringBox, 0u);
    Strings twice = kRefreshReads;
    twice.insert(twice.end(), kRefreshReads.begin(), kRefreshReads.end());
    EXPECT_EQ(SentHeads(), twice);
    EXPECT_EQ(dialog.texts[IDC_IF_GAIN_VALUE], L"33");
    EXPECT_EQ(idle, 2) << "once, after the held notices";
    EXPECT_FALSE(gate.Busy());

    // Outside a handler a notice runs at once.
    g_events.clear();
    gate.DeviceChange();
    EXPECT_EQ(SentHeads(), kRefreshReads);
    EXPECT_EQ(idle, 3);
}

TEST_F(PanelTest, NoticesAfterTheDialogEndedAreDropped) {
    ReentryGate gate(dialog);
    gate.InitDialog();
    g_events.clear();
    dialog.texts[IDC_FREQUENCY] = L"5";
    dialog.whileWarning = [&] {
        gate.DeviceChange();
        gate.Command(IDC_EXIT, kButtonClicked);
    };
    gate.Command(IDC_SET_FREQUENCY, kButtonClicked);
    EXPECT_EQ(dialog.ended, 1);
    gate.DeviceChange();
    EXPECT_TRUE(Sent().empty());
    gate.Destroy();
    EXPECT_EQ(g_hDlg, nullptr);
}

}  // namespace
}  // namespace zelkor::testing
