#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <thread>

#include "device_receiver.h"
#include "recording.h"
#include "report.h"

namespace zelkor::rigctl {
namespace {

using zelkor::testing::RecordingLog;

class DeviceReceiverTest : public zelkor::testing::SimulatedReceiverTest {
protected:
    TurnLock lock;
};

TEST_F(DeviceReceiverTest, TunesAndReadsThroughTransactionsLoggedToTheClientsView) {
    RecordingLog clientLog;
    DeviceReceiver receiver(lock, &clientLog);
    EXPECT_EQ(receiver.SetFrequency(145000), RIG_OK);
    EXPECT_EQ(sim.Settings().frequencyHz, 145000000u);
    ASSERT_FALSE(Sent().empty());
    EXPECT_EQ(Head(Sent().back(), 5), "65 40 86 a4 08");
    EXPECT_EQ(clientLog.Lines(), (std::vector<std::wstring>{
                                     L"HIDOpen of Vid_04d8&Pid_fb31 returns 1",
                                     L"Success, Zelkor found.",
                                     L"HIDSetFreq of 145000 returns 1",
                                     L"Success, Zelkor frequency set.",
                                 }));

    sim.Settings().frequencyHz = 7100000;
    std::uint32_t hertz = 0;
    EXPECT_EQ(receiver.GetFrequency(&hertz), RIG_OK);
    EXPECT_EQ(hertz, 7100000u);
    EXPECT_EQ(Head(Sent().back(), 1), "66");
    EXPECT_EQ(clientLog.Lines().back(), L"Success, Zelkor read command, value: 96");  // 0x6c5660

    // The view in place before is back, and saw none of it.
    EXPECT_EQ(CurrentLogView(), &log);
    EXPECT_EQ(log.Text(), L"");
}

TEST_F(DeviceReceiverTest, FailuresAreNegativeCodesAndLeaveTheFrequencyAlone) {
    struct Case {
        const char* name;
        void (*fault)(SimulatedHid&);
        int code;
    } cases[] = {
        {"absent", [](SimulatedHid& s) { s.SetPresent(false); }, RIG_EIO},
        {"status 0", [](SimulatedHid& s) { s.Faults().status = 0; }, RIG_ETIMEOUT},
        {"status 2", [](SimulatedHid& s) { s.Faults().status = 2; }, RIG_ERJCTED},
        {"status 255", [](SimulatedHid& s) { s.Faults().status = 255; }, RIG_ERJCTED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedHid fresh;
        ::zelkor::SetHidBackend(&fresh);
        c.fault(fresh);
        DeviceReceiver receiver(lock, nullptr);
        std::uint32_t hertz = 12345;
        EXPECT_EQ(receiver.GetFrequency(&hertz), c.code);
        EXPECT_EQ(hertz, 12345u) << "no made-up frequency";
        EXPECT_EQ(receiver.SetFrequency(145000), c.code);
        ::zelkor::SetHidBackend(nullptr);
    }
}

// A view that keeps every line it is given, clears included.
class WholeLog final : public LogView {
public:
    void Clear() override {}
    void Append(const std::wstring& text) override { text_ += text; }
    const std::wstring& Text() const { return text_; }

private:
    std::wstring text_;
};

TEST_F(DeviceReceiverTest, ConcurrentClientsEachGetOnlyTheirOwnLogLines) {
    constexpr int kClients = 6, kRounds = 30;
    std::vector<WholeLog> logs(kClients);
    std::vector<std::thread> threads;
    for (int i = 0; i < kClients; ++i) {
        threads.emplace_back([&, i] {
            DeviceReceiver receiver(lock, &logs[std::size_t(i)]);
            for (int r = 0; r < kRounds; ++r) {
                std::uint32_t hertz = 0;
                receiver.SetFrequency(1000u + std::uint32_t(i));
                receiver.GetFrequency(&hertz);
            }
        });
    }
    for (auto& t : threads) t.join();
    for (int i = 0; i < kClients; ++i) {
        SCOPED_TRACE(i);
        const std::wstring& text = logs[std::size_t(i)].Text();
        const std::wstring own = L"HIDSetFreq of " + std::to_wstring(1000 + i) + L" returns 1";
        int tunes = 0, sets = 0, reads = 0;
        for (std::size_t at = text.find(L"HIDSetFreq of "); at != std::wstring::npos;
             at = text.find(L"HIDSetFreq of ", at + 1), ++tunes)
            sets += text.compare(at, own.size(), own) == 0;
        for (std::size_t at = text.find(L"HIDReadCommand returns 1"); at != std::wstring::npos;
             at = text.find(L"HIDReadCommand returns 1", at + 1))
            ++reads;
        EXPECT_EQ(tunes, kRounds);
        EXPECT_EQ(sets, kRounds) << "another client's tune in this log";
        EXPECT_EQ(reads, kRounds);
    }
    EXPECT_EQ(CurrentLogView(), &log);
}

}  // namespace
}  // namespace zelkor::rigctl
