// The command-line tool's commands: parsed whole before anything is sent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelkor::ctl {

enum class Verb { Status, Tune, BiasT, Lna, MixerGain, IfGain, IfFilter, Defaults, Bootloader };

struct Command {
    Verb verb;
    std::uint32_t value = 0;
};

// `serve`: the network control port, run after any other commands.
struct ServeOptions {
    std::string host = "127.0.0.1";
    std::uint16_t port = 4532;
    bool quiet = false;
};

struct Invocation {
    bool simulate = false;
    bool trace = false;
    std::vector<Command> commands;
    std::optional<ServeOptions> serve;
};

// The parsed command line, or the one-line error for standard error.
struct ParseResult {
    std::optional<Invocation> invocation;
    std::string error;
    bool help = false;
    bool version = false;
};
ParseResult ParseArguments(const std::vector<std::string>& args);

extern const char kUsage[];

// Runs one command through the device link; true when every transaction
// found the receiver and got status 1. `status` leaves its readable summary
// in *summary.
bool RunCommand(const Command& command, std::string* summary);

}  // namespace zelkor::ctl
