#include "recording.h"

#include "pause.h"
#include "report.h"

namespace zelkor::testing {

std::vector<std::string> g_events;

std::vector<std::wstring> RecordingLog::Lines() const {
    std::vector<std::wstring> lines;
    if (text_.empty()) return lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text_.find(L"\r\n", start);
        lines.push_back(text_.substr(start, end - start));
        if (end == std::wstring::npos) break;
        start = end + 2;
    }
    return lines;
}

void SimulatedReceiverTest::SetUp() {
    g_events.clear();
    ForgetReplyEcho();
    previousPause_ = SetPauseFunction(
        [](unsigned ms) { g_events.push_back("pause " + std::to_string(ms)); });
    SetHidBackend(&trace_);
    SetLogView(&log);
}

void SimulatedReceiverTest::TearDown() {
    SetLogView(nullptr);
    SetHidBackend(nullptr);
    SetPauseFunction(previousPause_);
}

std::vector<std::string> SimulatedReceiverTest::Sent() const {
    std::vector<std::string> sent;
    for (const std::string& event : g_events)
        if (event.rfind("> ", 0) == 0) sent.push_back(event.substr(5));
    return sent;
}

std::string SimulatedReceiverTest::Head(const std::string& reportLine, int count) {
    return reportLine.substr(0, static_cast<std::size_t>(count) * 3 - 1);
}

}  // namespace zelkor::testing
