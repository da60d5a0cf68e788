#include "protocol.h"

#include <cstring>
#include <utility>
#include <vector>

#include "receiver_settings.h"

namespace zelkor::rigctl {
namespace {

// Protocol version 1 of the capability block: receive range only, no
// transmit range, no functions or levels the client could query. The
// client reads it by position, so every list keeps its line even when
// empty (preamps and attenuators are two lines), and it needs the final
// "done" or it waits ten seconds and gives up.
const std::vector<std::string> kDumpState = {
    "1",
    "2",
    "0",
    std::to_string(RX_START_HZ) + ".000000 " + std::to_string(RX_END_HZ) +
        ".000000 0x1ff -1 -1 0x3 0x1",
    "0 0 0 0 0 0 0",
    "0 0 0 0 0 0 0",
    "0x1ff 1",
    "0 0",
    "0 0",
    "0",
    "0",
    "0",
    "0",
    "",  // preamps
    "",  // attenuators
    "0x0",
    "0x0",
    "0x40000000",  // levels read: STRENGTH only
    "0x0",
    "0x0",
    "0x0",
    "done",
};

// One value of a get-style reply; the label shows only in extended replies.
struct Value {
    std::string label;
    std::string text;
};

struct Outcome {
    int code = RIG_OK;
    std::vector<Value> values;  // empty for set-style commands
};

using Arguments = std::vector<std::string>;

struct CommandDef {
    char shortName;  // 0: reachable by its long name only
    const char* longName;
    std::size_t arguments;
    bool touchesReceiver;
    Outcome (*run)(Receiver& receiver, const Arguments& args);
};

Outcome Fixed(std::vector<Value> values) { return {RIG_OK, std::move(values)}; }

Outcome GetFreq(Receiver& receiver, const Arguments&) {
    std::uint32_t hertz = 0;
    const int code = receiver.GetFrequency(&hertz);
    if (code != RIG_OK) return {code, {}};
    return Fixed({{"Frequency", std::to_string(hertz)}});
}

Outcome SetFreq(Receiver& receiver, const Arguments& args) {
    const auto kilohertz = ParseKilohertz(args[0]);
    if (!kilohertz || *kilohertz < MIN_FREQUENCY_KHZ || *kilohertz > MAX_FREQUENCY_KHZ)
        return {RIG_EINVAL, {}};
    return {receiver.SetFrequency(std::uint32_t(*kilohertz)), {}};
}

Outcome GetLevel(Receiver&, const Arguments& args) {
    std::string name = args[0];
    for (char& c : name)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    if (name != "STRENGTH") return {RIG_ENAVAIL, {}};
    return Fixed({{"Level Value", std::to_string(FIXED_STRENGTH_DB)}});
}

Outcome Accept(Receiver&, const Arguments&) { return {}; }

Outcome DumpState(Receiver&, const Arguments&) {
    Outcome outcome;
    for (const std::string& line : kDumpState) outcome.values.push_back({"", line});
    return outcome;
}

const CommandDef kCommands[] = {
    {'f', "get_freq", 0, true, GetFreq},
    {'F', "set_freq", 1, true, SetFreq},
    {'v', "get_vfo", 0, false, [](Receiver&, const Arguments&) { return Fixed({{"VFO", "VFOA"}}); }},
    // One VFO: selecting any is harmless.
    {'V', "set_vfo", 1, false, Accept},
    {'s', "get_split_vfo", 0, false,
     [](Receiver&, const Arguments&) { return Fixed({{"Split", "0"}, {"TX VFO", "VFOA"}}); }},
    // The receiver has no mode: report a fixed one and take any.
    {'m', "get_mode", 0, false,
     [](Receiver&, const Arguments&) { return Fixed({{"Mode", "FM"}, {"Passband", "15000"}}); }},
    {'M', "set_mode", 2, false, Accept},
    {'l', "get_level", 1, false, GetLevel},
    {'q', "quit", 0, false, Accept},
    {'Q', "quit", 0, false, Accept},
    {0, "chk_vfo", 0, false, [](Receiver&, const Arguments&) { return Fixed({{"CHKVFO", "0"}}); }},
    {0, "dump_state", 0, false, DumpState},
    {0, "get_powerstat", 0, false,
     [](Receiver&, const Arguments&) { return Fixed({{"Power Status", "1"}}); }},
};

const CommandDef* Find(const std::string& name) {
    for (const CommandDef& def : kCommands) {
        if (name.size() == 1 && def.shortName && def.shortName == name[0]) return &def;
        if (name.size() > 1 && name[0] == '\\' && name.compare(1, std::string::npos, def.longName) == 0)
            return &def;
    }
    return nullptr;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::vector<std::string> Tokens(const std::string& text) {
    std::vector<std::string> tokens;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsSpace(text[i])) ++i;
        const std::size_t start = i;
        while (i < text.size() && !IsSpace(text[i])) ++i;
        if (i > start) tokens.push_back(text.substr(start, i - start));
    }
    return tokens;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Report(int code) { return "RPRT " + std::to_string(code) + "\n"; }

}  // namespace

std::optional<std::uint64_t> ParseKilohertz(const std::string& text) {
    // Digits are kept as text and shifted by the exponent, so 2500000499.999999
    // rounds exactly, with no floating point in the way.
    std::size_t i = 0;
    if (i < text.size() && text[i] == '+') ++i;
    std::string digits;
    long fractionDigits = 0;
    while (i < text.size() && IsDigit(text[i])) digits += text[i++];
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) {
            digits += text[i++];
            ++fractionDigits;
        }
    }
    if (digits.empty()) return std::nullopt;
    long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
        if (i == text.size()) return std::nullopt;
        while (i < text.size() && IsDigit(text[i])) {
            if (exponent < 100000) exponent = exponent * 10 + (text[i] - '0');
            ++i;
        }
        if (negative) exponent = -exponent;
    }
    if (i != text.size()) return std::nullopt;

    const std::size_t firstSignificant = digits.find_first_not_of('0');
    if (firstSignificant == std::string::npos) return 0;
    digits.erase(0, firstSignificant);
    const long scale = exponent - fractionDigits;
    constexpr long kMaxIntegerDigits = 15;  // far beyond any receiver
    std::string integer;
    if (scale >= 0) {
        if (long(digits.size()) + scale > kMaxIntegerDigits) return std::nullopt;
        integer = digits + std::string(std::size_t(scale), '0');
    } else if (-scale < long(digits.size())) {
        integer = digits.substr(0, digits.size() - std::size_t(-scale));
        if (long(integer.size()) > kMaxIntegerDigits) return std::nullopt;
    }
    std::uint64_t hertz = 0;
    for (char c : integer) hertz = hertz * 10 + std::uint64_t(c - '0');
    // The dropped fraction is below 1 Hz, so it can never carry the remainder
    // past the half-kHz mark: the integer part alone decides the rounding.
    return (hertz + 500) / 1000;
}

Reply AnswerLine(const std::string& line, Receiver& receiver) {
    Reply reply;
    std::size_t start = 0;
    while (start < line.size() && IsSpace(line[start])) ++start;
    if (start == line.size()) return reply;

    // "+" asks for labelled replies one per line; ";", "|" and "," ask for
    // the same with that separator instead of the line break.
    char separator = 0;
    if (std::strchr("+;|,", line[start]) && line[start] != '\0') {
        separator = line[start] == '+' ? '\n' : line[start];
        ++start;
    }
    std::vector<std::string> tokens = Tokens(line.substr(start));
    const CommandDef* def = tokens.empty() ? nullptr : Find(tokens[0]);
    if (!def) {
        reply.text = Report(RIG_ENAVAIL);
        return reply;
    }
    const Arguments args(tokens.begin() + 1, tokens.end());
    const Outcome outcome = args.size() < def->arguments ? Outcome{RIG_EINVAL, {}}
                                                         : def->run(receiver, args);
    reply.close = def->longName == std::string("quit");

    if (separator) {
        reply.text = std::string(def->longName) + ":";
        for (const std::string& arg : args) reply.text += " " + arg;
        reply.text += separator;
        if (outcome.code == RIG_OK) {
            for (const Value& value : outcome.values)
                reply.text += (value.label.empty() ? value.text : value.label + ": " + value.text) +
                              separator;
        }
        reply.text += Report(outcome.code);
    } else if (outcome.code != RIG_OK || outcome.values.empty()) {
        reply.text = Report(outcome.code);
    } else {
        for (const Value& value : outcome.values) reply.text += value.text + "\n";
    }
    return reply;
}

void Session::Feed(const char* data, std::size_t length) {
    for (const char* end = data + length; !closed_ && data < end;) {
        const char* stop = data;
        while (stop < end && *stop != '\n' && *stop != '\r') ++stop;
        if (!overlong_) {
            partial_.append(data, std::size_t(stop - data));
            if (partial_.size() > MAX_LINE_BYTES) {
                overlong_ = true;
                partial_.clear();
                partial_.shrink_to_fit();
            }
        }
        if (stop == end) break;
        data = stop + 1;
        // The LF of a CRLF ends an empty line, which gets no answer.
        if (overlong_) {
            lines_.push_back(std::nullopt);
            overlong_ = false;
        } else if (!partial_.empty()) {
            lines_.push_back(std::move(partial_));
            partial_.clear();
        }
    }
}

bool Session::HasCommand() const { return !closed_ && !lines_.empty(); }

bool Session::NextNeedsReceiver() const {
    if (!HasCommand() || !lines_.front()) return false;
    const std::vector<std::string> tokens = Tokens(*lines_.front());
    if (tokens.empty()) return false;
    std::string name = tokens[0];
    if (!name.empty() && std::strchr("+;|,", name[0]) && name[0] != '\0') name.erase(0, 1);
    if (name.empty() && tokens.size() > 1) name = tokens[1];
    const CommandDef* def = Find(name);
    return def && def->touchesReceiver;
}

bool Session::RunNext(std::string* out) {
    if (!HasCommand()) return !closed_;
    const std::optional<std::string> line = std::move(lines_.front());
    lines_.pop_front();
    if (!line) {
        *out += Report(RIG_EPROTO);
        return true;
    }
    const Reply reply = AnswerLine(*line, receiver_);
    *out += reply.text;
    if (reply.close) {
        closed_ = true;
        lines_.clear();
    }
    return !closed_;
}

bool FeedAndRun(Session& session, const char* data, std::size_t length, std::string* out) {
    session.Feed(data, length);
    while (session.HasCommand()) session.RunNext(out);
    return !session.Closed();
}

}  // namespace zelkor::rigctl
