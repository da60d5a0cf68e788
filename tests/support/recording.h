// Test fixtures over the simulated receiver: the wire trace and the status
// log captured as text, the pause counted instead of slept.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hid.h"
#include "pause.h"
#include "simulated.h"
#include "status_log.h"
#include "trace.h"

namespace zelkor::testing {

// Log lines as the panel shows them: the text split at "\r\n".
class RecordingLog final : public LogView {
public:
    void Clear() override { text_.clear(); ++clears; }
    void Append(const std::wstring& text) override { text_ += text; }
    std::vector<std::wstring> Lines() const;
    const std::wstring& Text() const { return text_; }
    int clears = 0;

private:
    std::wstring text_;
};

// Everything that crossed the seam, in order: "pause 10", "> 00 65 ...",
// "< 00 65 01 ...".
extern std::vector<std::string> g_events;

// The simulated receiver wired in as the current backend through a trace,
// with the log view registered and the pause recorded, not slept.
class SimulatedReceiverTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Output reports sent, as the bytes after the report ID ("65 40 86 ...").
    std::vector<std::string> Sent() const;
    // The first `count` bytes after the report ID of a report line.
    static std::string Head(const std::string& reportLine, int count);

    SimulatedHid sim;
    RecordingLog log;

private:
    TraceHid trace_{sim, [](const std::string& line) { g_events.push_back(line); }};
    PauseFunction previousPause_ = nullptr;
};

}  // namespace zelkor::testing
