#include "commands.h"

#include <cstdio>
#include <cstring>
#include <map>

#include "receiver_settings.h"
#include "report.h"
#include "transactions.h"

namespace zelkor::ctl {

const char kUsage[] =
    "usage: zelkor-ctl [--simulate] [--trace] COMMAND [ARG] [COMMAND [ARG] ...]\n"
    "  status               read all seven settings and print them\n"
    "  tune KHZ             100..2500000\n"
    "  bias-t on|off\n"
    "  lna on|off\n"
    "  mixer-gain on|off\n"
    "  if-gain STEP         0..59\n"
    "  if-filter CODE       0..7 (200kHz 300kHz 600kHz 1536kHz 5MHz 6MHz 7MHz 8MHz)\n"
    "  defaults             IF filter 0, bias-T off, LNA on, mixer gain on, IF gain 0\n"
    "  bootloader\n"
    "  serve [--host ADDR] [--port N] [--quiet]\n"
    "                       network control port for rig-control clients (last;\n"
    "                       default 127.0.0.1:4532; --quiet: no log lines)\n"
    "--simulate talks to the built-in simulated receiver; --trace prints every\n"
    "report exchanged on standard error; --version prints the version.\n";

namespace {

enum class Arg { None, Switch, Number };

struct VerbDef {
    Verb verb;
    Arg arg;
    std::uint32_t min, max;
};

const std::map<std::string, VerbDef> kVerbs = {
    {"status", {Verb::Status, Arg::None, 0, 0}},
    {"tune", {Verb::Tune, Arg::Number, MIN_FREQUENCY_KHZ, MAX_FREQUENCY_KHZ}},
    {"bias-t", {Verb::BiasT, Arg::Switch, 0, 1}},
    {"lna", {Verb::Lna, Arg::Switch, 0, 1}},
    {"mixer-gain", {Verb::MixerGain, Arg::Switch, 0, 1}},
    {"if-gain", {Verb::IfGain, Arg::Number, 0, IF_GAIN_MAX}},
    {"if-filter", {Verb::IfFilter, Arg::Number, 0, 7}},
    {"defaults", {Verb::Defaults, Arg::None, 0, 0}},
    {"bootloader", {Verb::Bootloader, Arg::None, 0, 0}},
};

// Plain digits only: no sign, no spaces, nothing after.
std::optional<std::uint32_t> ParseNumber(const std::string& text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + std::uint64_t(c - '0');
    }
    if (value > 0xFFFFFFFFull) return std::nullopt;
    return std::uint32_t(value);
}

std::string Utf8(const std::wstring& text) {
    std::string out;
    for (wchar_t wc : text) {
        const auto c = static_cast<std::uint32_t>(wc);
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xE0 | ((c >> 12) & 0x0F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool Write1(std::uint8_t code, std::uint8_t value) {
    return WriteSetting(code, &value, 1).Succeeded();
}

bool WriteIfGain(std::uint32_t step) {
    const std::uint8_t bytes[2] = {std::uint8_t(step), std::uint8_t(step >> 8)};
    return WriteSetting(CMD_SET_IF_GAIN, bytes, 2).Succeeded();
}

std::string Describe(const SelectorItem* items, std::uint8_t code) {
    const wchar_t* label = LabelForCode(items, code);
    return (label ? Utf8(label) : std::string("unknown")) + " (" + std::to_string(code) + ")";
}

bool Status(std::string* summary) {
    std::uint8_t rf = 0, ifFilter = 0, biasT = 0, lna = 0, mixer = 0, ifGain = 0;
    std::uint8_t frequencyBytes[4] = {};
    bool ok = true;
    auto read = [&](std::uint8_t code, void* into, std::uint8_t length) {
        std::uint8_t status = 0;
        ok = ReadSetting(code, into, length, &status) == 1 && status == REPLY_OK && ok;
    };
    // The panel's refresh order.
    read(CMD_GET_RF_FILTER, &rf, 1);
    read(CMD_GET_IF_FILTER, &ifFilter, 1);
    read(CMD_GET_BIAS_T, &biasT, 1);
    read(CMD_GET_LNA_ENABLE, &lna, 1);
    read(CMD_GET_MIXER_GAIN, &mixer, 1);
    read(CMD_GET_IF_GAIN, &ifGain, 1);
    read(CMD_GET_FREQ, frequencyBytes, 4);
    const std::uint32_t hz = std::uint32_t(frequencyBytes[0]) | std::uint32_t(frequencyBytes[1]) << 8 |
                             std::uint32_t(frequencyBytes[2]) << 16 |
                             std::uint32_t(frequencyBytes[3]) << 24;
    auto onOff = [](std::uint8_t v) { return v ? "on" : "off"; };
    char text[512];
    std::snprintf(text, sizeof text,
                  "Frequency:  %u Hz (%u.%03u kHz)\n"
                  "RF filter:  %s\n"
                  "IF filter:  %s\n"
                  "Bias-T:     %s\n"
                  "LNA:        %s\n"
                  "Mixer gain: %s\n"
                  "IF gain:    %u\n",
                  hz, hz / 1000, hz % 1000, Describe(kRfFilterItems, rf).c_str(),
                  Describe(kIfFilterItems, ifFilter).c_str(), onOff(biasT), onOff(lna),
                  onOff(mixer), unsigned(ifGain));
    *summary = text;
    return ok;
}

// The options after `serve`, which ends the command line.
bool ParseServe(const std::vector<std::string>& args, std::size_t i,
                std::optional<ServeOptions>* serve, std::string* error) {
    ServeOptions options;
    for (; i < args.size(); ++i) {
        if (args[i] == "--quiet") {
            options.quiet = true;
        } else if (args[i] == "--host" || args[i] == "--port") {
            if (i + 1 == args.size() || args[i + 1].empty()) {
                *error = "'" + args[i] + "' needs an argument";
                return false;
            }
            const std::string& value = args[++i];
            if (args[i - 1] == "--host") {
                options.host = value;
            } else {
                const auto port = ParseNumber(value);
                if (!port || *port > 65535) {
                    *error = "'--port' takes a number from 0 to 65535, not '" + value + "'";
                    return false;
                }
                options.port = std::uint16_t(*port);
            }
        } else {
            *error = "'serve' takes --host ADDR, --port N and --quiet, not '" + args[i] + "'";
            return false;
        }
    }
    *serve = options;
    return true;
}

}  // namespace

ParseResult ParseArguments(const std::vector<std::string>& args) {
    ParseResult result;
    Invocation invocation;
    std::size_t i = 0;
    for (; i < args.size() && args[i].rfind("--", 0) == 0; ++i) {
        if (args[i] == "--simulate") invocation.simulate = true;
        else if (args[i] == "--trace") invocation.trace = true;
        else if (args[i] == "--help") { result.help = true; return result; }
        else if (args[i] == "--version") { result.version = true; return result; }
        else { result.error = "unknown option '" + args[i] + "'"; return result; }
    }
    if (i == args.size()) {
        result.error = "no command given (try --help)";
        return result;
    }
    for (; i < args.size(); ++i) {
        if (args[i] == "serve") {
            if (!ParseServe(args, i + 1, &invocation.serve, &result.error)) return result;
            break;
        }
        const auto def = kVerbs.find(args[i]);
        if (def == kVerbs.end()) {
            result.error = "unknown command '" + args[i] + "'";
            return result;
        }
        Command command{def->second.verb, 0};
        if (def->second.arg != Arg::None) {
            if (++i == args.size()) {
                result.error = "'" + def->first + "' needs an argument";
                return result;
            }
            const std::string& arg = args[i];
            if (def->second.arg == Arg::Switch) {
                if (arg != "on" && arg != "off") {
                    result.error = "'" + def->first + "' takes on or off, not '" + arg + "'";
                    return result;
                }
                command.value = arg == "on";
            } else {
                const auto number = ParseNumber(arg);
                if (!number || *number < def->second.min || *number > def->second.max) {
                    if (def->second.verb == Verb::Tune)
                        result.error = "Target frequency must be between 100 and 2500000";
                    else
                        result.error = "'" + def->first + "' takes a number from " +
                                       std::to_string(def->second.min) + " to " +
                                       std::to_string(def->second.max) + ", not '" + arg + "'";
                    return result;
                }
                command.value = *number;
            }
        }
        invocation.commands.push_back(command);
    }
    result.invocation = invocation;
    return result;
}

bool RunCommand(const Command& command, std::string* summary) {
    switch (command.verb) {
    case Verb::Status: return Status(summary);
    case Verb::Tune: return SetFrequencyTransaction(command.value, nullptr).Succeeded();
    case Verb::BiasT: return Write1(CMD_SET_BIAS_T, std::uint8_t(command.value));
    case Verb::Lna: return Write1(CMD_SET_LNA_ENABLE, std::uint8_t(command.value));
    case Verb::MixerGain: return Write1(CMD_SET_MIXER_GAIN, std::uint8_t(command.value));
    case Verb::IfGain: return WriteIfGain(command.value);
    case Verb::IfFilter: return Write1(CMD_SET_IF_FILTER, std::uint8_t(command.value));
    case Verb::Defaults: {
        // Every write is tried, whatever the one before did.
        bool ok = Write1(CMD_SET_IF_FILTER, 0);
        ok = Write1(CMD_SET_BIAS_T, 0) && ok;
        ok = Write1(CMD_SET_LNA_ENABLE, 1) && ok;
        ok = Write1(CMD_SET_MIXER_GAIN, 1) && ok;
        return WriteIfGain(0) && ok;
    }
    case Verb::Bootloader: return SwitchToBootloader().Succeeded();
    }
    return false;
}

}  // namespace zelkor::ctl
