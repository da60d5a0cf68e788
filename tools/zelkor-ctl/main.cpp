// zelkor-ctl: drives the receiver from the shell through the device link.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "hid.h"
#include "server.h"
#include "simulated.h"
#include "status_log.h"
#include "trace.h"

namespace {

// Prints the status log as the panel would show it, one line per step.
// Every append is one whole line, so each is ended at once and the lines
// stay in order with the trace on standard error.
class StdoutLog final : public zelkor::LogView {
public:
    void Clear() override {}
    void Append(const std::wstring& text) override {
        const std::size_t start = text.rfind(L"\r\n", 0) == 0 ? 2 : 0;
        std::string line;
        for (std::size_t i = start; i < text.size(); ++i)
            line += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
};

}  // namespace

int main(int argc, char** argv) {
    using namespace zelkor;
    const ctl::ParseResult parsed = ctl::ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.help) {
        std::fputs(ctl::kUsage, stdout);
        return 0;
    }
    if (parsed.version) {
        std::puts("zelkor-ctl " ZELKOR_VERSION);
        return 0;
    }
    if (!parsed.invocation) {
        std::fprintf(stderr, "zelkor-ctl: %s\n", parsed.error.c_str());
        return 2;
    }
    const ctl::Invocation& invocation = *parsed.invocation;

    std::unique_ptr<SimulatedHid> simulated;
    HidBackend* backend = PlatformHidBackend();
    if (invocation.simulate) {
        simulated = std::make_unique<SimulatedHid>();
        backend = simulated.get();
    }
    std::unique_ptr<TraceHid> trace;
    if (invocation.trace) {
        trace = std::make_unique<TraceHid>(*backend, StreamSink(stderr));
        backend = trace.get();
    }
    SetHidBackend(backend);

    bool ok = true;
    {
        StdoutLog log;
        SetLogView(&log);
        for (const ctl::Command& command : invocation.commands) {
            std::string summary;
            ok = ctl::RunCommand(command, &summary) && ok;
            std::fputs(summary.c_str(), stdout);
        }
        SetLogView(nullptr);
    }
    if (invocation.serve) {
        rigctl::ServerOptions options;
        options.host = invocation.serve->host;
        options.port = invocation.serve->port;
        options.log = invocation.serve->quiet ? nullptr : stdout;
        ok = rigctl::Serve(options) == 0 && ok;
    }
    SetHidBackend(nullptr);
    return ok ? 0 : 1;
}
