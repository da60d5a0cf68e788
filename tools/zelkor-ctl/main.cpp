// zelkor-ctl: drives the receiver from the shell through the device link.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "discovery.h"
#include "hid.h"
#include "server.h"
#include "simulated.h"
#include "status_log.h"
#include "trace.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

// Prints the status log as the panel would show it, one line per step.
// Every append is one whole line, so each is ended at once and the lines
// stay in order with the trace on standard error.
// With --quiet only the error lines are kept, to go to standard error once
// the command is over, each once.
class StdoutLog final : public zelkor::LogView {
public:
    explicit StdoutLog(bool quiet) : quiet_(quiet) {}
    void Clear() override {}
    void Append(const std::wstring& text) override {
        const std::size_t start = text.rfind(L"\r\n", 0) == 0 ? 2 : 0;
        std::string line;
        for (std::size_t i = start; i < text.size(); ++i)
            line += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
        if (!quiet_) {
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        } else if (line.rfind("Error", 0) == 0 &&
                   std::find(errors_.begin(), errors_.end(), line) == errors_.end()) {
            errors_.push_back(line);
        }
    }
    void PrintErrors() {
        for (const std::string& line : errors_) std::fprintf(stderr, "zelkor-ctl: %s\n", line.c_str());
        errors_.clear();
    }

private:
    bool quiet_;
    std::vector<std::string> errors_;
};

}  // namespace

int main(int argc, char** argv) {
    using namespace zelkor;
#ifdef _WIN32
    // The same bytes as on Linux: no CR added before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
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
        StdoutLog log(invocation.quiet);
        SetLogView(&log);
        for (const ctl::Command& command : invocation.commands) {
            std::string summary;
            const bool done = ctl::RunCommand(command, &summary);
            ok = done && ok;
            std::fputs(summary.c_str(), stdout);
            std::fflush(stdout);
            if (!done) log.PrintErrors();
            ReportOpenFailure(stderr);
        }
        SetLogView(nullptr);
    }
    if (invocation.serve) {
        rigctl::ServerOptions options;
        options.host = invocation.serve->host;
        options.port = invocation.serve->port;
        options.idleLimit = std::chrono::seconds(invocation.serve->idleLimitSeconds);
        options.log = invocation.serve->quiet ? nullptr : stdout;
        ok = rigctl::Serve(options) == 0 && ok;
    }
    SetHidBackend(nullptr);
    return ok ? 0 : 1;
}
