#include "protocol.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "receiver_settings.h"

namespace zelkor::rigctl {
namespace {

// Protocol version 1 of the capability block: receive range only, no
// transmit range, no functions or levels the client could query. The
// client reads it by position, so every list keeps its line even when
// empty (preamps and attenuators are two lines); the key=value lines tell
// newer clients what may be called at all, and it needs the final "done"
// or it waits ten seconds and gives up.
const char kDumpState[] =
    "1\n"
    "2\n"
    "0\n"
    "100000.000000 2500000000.000000 0x1ff -1 -1 0x3 0x1\n"
    "0 0 0 0 0 0 0\n"
    "0 0 0 0 0 0 0\n"
    "0x1ff 1\n"
    "0 0\n"
    "0 0\n"
    "0\n"
    "0\n"
    "0\n"
    "0\n"
    "\n"  // preamps
    "\n"  // attenuators
    "0x0\n"
    "0x0\n"
    "0x40000000\n"  // levels read: STRENGTH only
    "0x0\n"
    "0x0\n"
    "0x0\n"
    "vfo_ops=0x0\n"
    "ptt_type=0x0\n"
    "targetable_vfo=0x0\n"
    "has_set_vfo=1\n"
    "has_get_vfo=1\n"
    "has_set_freq=1\n"
    "has_get_freq=1\n"
    "has_set_conf=0\n"
    "has_get_conf=0\n"
    "has_power2mW=0\n"
    "has_mW2power=0\n"
    "rig_model=2\n"
    "done";

// The capabilities in the daemon's human-readable layout.
const char kDumpCaps[] =
    "Caps dump for model: 2\n"
    "Model name:\tZelkor receiver\n"
    "Mfg name:\tZelkor\n"
    "Backend version:\t2.0.0\n"
    "Backend copyright:\tZelkor\n"
    "Backend status:\tStable\n"
    "Rig type:\tReceiver \n"
    "PTT type:\tNone\n"
    "DCD type:\tNone\n"
    "Port type:\tUSB\n"
    "Write delay: 0mS, timeout 1000mS, 0 retry\n"
    "Post Write delay: 0mS\n"
    "Has targetable VFO: N\n"
    "Has async data support: N\n"
    "Announce: 0x0\n"
    "Max RIT: -0.0kHz/+0.0kHz\n"
    "Max XIT: -0.0kHz/+0.0kHz\n"
    "Max IF-SHIFT: -0.0kHz/+0.0kHz\n"
    "Preamp: None\n"
    "Attenuator: None\n"
    "AGC levels: \n"
    "CTCSS: None\n"
    "DCS: None\n"
    "Get functions: \n"
    "Set functions: \n"
    "Extra functions:\n"
    "Get level: STRENGTH(0..0/0) \n"
    "Set level: \n"
    "Extra levels:\n"
    "Get parameters: \n"
    "Set parameters: \n"
    "Extra parameters:\n"
    "Mode list: FM \n"
    "VFO list: VFOA \n"
    "VFO Ops: \n"
    "Scan Ops: \n"
    "Number of banks:\t0\n"
    "Memory name desc size:\t0\n"
    "Memories: None\n"
    "TX ranges #1 for Zelkor receiver:\n"
    "RX ranges #1 for Zelkor receiver:\n"
    "\t100000 Hz - 2500000000 Hz\n"
    "\t\tVFO list: VFOA \n"
    "\t\tMode list: FM \n"
    "\t\tAntenna list: \n"
    "TX ranges #1 status for Zelkor receiver:\tOK (0)\n"
    "RX ranges #1 status for Zelkor receiver:\tOK (0)\n"
    "Tuning steps:\n"
    "\t1.0000 kHz:   \tFM \n"
    "Tuning steps status:\tOK (0)\n"
    "Filters:\n"
    "\t15.0000 kHz:   \tFM \n"
    "Bandwidths:\n"
    "\tFM\tNormal: 15.0000 kHz,\tNarrow: 0.0 Hz,\tWide: 0.0 Hz\n"
    "Has priv data:\tN\n"
    "Has Init:\tN\n"
    "Has Cleanup:\tN\n"
    "Has Open:\tN\n"
    "Has Close:\tN\n"
    "Can set Conf:\tN\n"
    "Can get Conf:\tN\n"
    "Can set Frequency:\tY\n"
    "Can get Frequency:\tY\n"
    "Can set Mode:\tN\n"
    "Can get Mode:\tY\n"
    "Can set VFO:\tY\n"
    "Can get VFO:\tY\n"
    "Can set PTT:\tN\n"
    "Can get PTT:\tN\n"
    "Can get DCD:\tN\n"
    "Can set Repeater Duplex:\tN\n"
    "Can get Repeater Duplex:\tN\n"
    "Can set Repeater Offset:\tN\n"
    "Can get Repeater Offset:\tN\n"
    "Can set Split Freq:\tN\n"
    "Can get Split Freq:\tN\n"
    "Can set Split Mode:\tN\n"
    "Can get Split Mode:\tN\n"
    "Can set Split VFO:\tN\n"
    "Can get Split VFO:\tY\n"
    "Can set Tuning Step:\tN\n"
    "Can get Tuning Step:\tN\n"
    "Can set RIT:\tN\n"
    "Can get RIT:\tN\n"
    "Can set XIT:\tN\n"
    "Can get XIT:\tN\n"
    "Can set CTCSS:\tN\n"
    "Can get CTCSS:\tN\n"
    "Can set DCS:\tN\n"
    "Can get DCS:\tN\n"
    "Can set CTCSS Squelch:\tN\n"
    "Can get CTCSS Squelch:\tN\n"
    "Can set DCS Squelch:\tN\n"
    "Can get DCS Squelch:\tN\n"
    "Can set Power Stat:\tY\n"
    "Can get Power Stat:\tY\n"
    "Can Reset:\tN\n"
    "Can get Ant:\tN\n"
    "Can set Ant:\tN\n"
    "Can set Transceive:\tN\n"
    "Can get Transceive:\tN\n"
    "Can set Func:\tN\n"
    "Can get Func:\tN\n"
    "Can set Level:\tN\n"
    "Can get Level:\tY\n"
    "Can set Param:\tN\n"
    "Can get Param:\tN\n"
    "Can send DTMF:\tN\n"
    "Can recv DTMF:\tN\n"
    "Can send Morse:\tN\n"
    "Can send Voice:\tN\n"
    "Can decode Events:\tN\n"
    "Can set Bank:\tN\n"
    "Can set Mem:\tN\n"
    "Can get Mem:\tN\n"
    "Can set Channel:\tN\n"
    "Can get Channel:\tN\n"
    "Can ctl Mem/VFO:\tN\n"
    "Can Scan:\tN\n"
    "Can get Info:\tY\n"
    "Can get power2mW:\tN\n"
    "Can get mW2power:\tN\n"
    "\n"
    "Overall backend warnings: 0   ";

// Level names the daemon knows; any other is an invalid argument.
const char* const kLevelNames[] = {
    "PREAMP", "ATT", "VOXDELAY", "AF", "RF", "SQL", "IF", "APF", "NR", "PBT_IN", "PBT_OUT",
    "CWPITCH", "RFPOWER", "MICGAIN", "KEYSPD", "NOTCHF", "COMP", "AGC", "BKINDL", "BAL", "METER",
    "VOXGAIN", "ANTIVOX", "SLOPE_LOW", "SLOPE_HIGH", "BKIN_DLYMS", "RAWSTR", "SWR", "ALC",
    "STRENGTH", "RFPOWER_METER", "COMP_METER", "VD_METER", "ID_METER", "NOTCHF_RAW",
    "MONITOR_GAIN", "NB", "RFPOWER_METER_WATTS", "SPECTRUM_MODE", "SPECTRUM_SPAN",
    "SPECTRUM_EDGE_LOW", "SPECTRUM_EDGE_HIGH", "SPECTRUM_SPEED", "SPECTRUM_REF", "SPECTRUM_AVG",
    "SPECTRUM_ATT", "TEMP_METER", "BAND_SELECT", "USB_AF", "AGC_TIME",
};

const char* const kVfoNames[] = {
    "VFOA", "VFOB", "VFOC", "currVFO", "VFO", "MEM", "Main", "Sub", "TX", "RX",
    "MainA", "MainB", "MainC", "SubA", "SubB", "SubC", "None",
};

// One value of a get-style reply; the label shows only in extended replies.
struct Value {
    std::string label;
    std::string text;
    // The daemon ends some values with a line break whatever separator the
    // client chose; multi-line blocks among them.
    bool lineBreak = false;
};

struct Outcome {
    int code = RIG_OK;
    std::vector<Value> values;  // empty for set-style commands
};

using Arguments = std::vector<std::string>;
using Handler = Outcome (*)(Receiver& receiver, const Arguments& args);

enum class Form {
    Normal,
    ReportAlways,  // "RPRT 0" ends even the plain reply
    CheckVfo,      // one line, no header, no report
    Quit,
};

constexpr int kRestOfLine = -1;

struct CommandDef {
    char shortName;        // 0: reachable by its long name only
    const char* longName;  // nullptr: reachable by its short name only
    int arguments;         // or kRestOfLine
    Handler run;           // nullptr: not available on this receiver
    bool touchesReceiver = false;
    Form form = Form::Normal;
};

Outcome Fixed(std::vector<Value> values) { return {RIG_OK, std::move(values)}; }

Outcome Accept(Receiver&, const Arguments&) { return {}; }

Outcome GetFreq(Receiver& receiver, const Arguments&) {
    std::uint32_t hertz = 0;
    const int code = receiver.GetFrequency(&hertz);
    if (code != RIG_OK) return {code, {}};
    return Fixed({{"Frequency", std::to_string(hertz)}});
}

Outcome SetFreq(Receiver& receiver, const Arguments& args) {
    const auto kilohertz = TuningKilohertz(args[0]);
    if (!kilohertz) return {RIG_EINVAL, {}};
    return {receiver.SetFrequency(*kilohertz), {}};
}

// The receiver has no mode: report a fixed one and take any.
Outcome GetMode(Receiver&, const Arguments&) { return Fixed({{"Mode", "FM"}, {"Passband", "15000"}}); }

bool KnownName(const std::string& name, const char* const* names, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        if (name == names[i]) return true;
    return false;
}

Outcome GetVfo(Receiver&, const Arguments&) { return Fixed({{"VFO", "VFOA"}}); }

// One VFO: selecting any is harmless, but a name the daemon does not know
// is an error there too.
Outcome SetVfo(Receiver&, const Arguments& args) {
    return {KnownName(args[0], kVfoNames, std::size(kVfoNames)) ? RIG_OK : RIG_EINVAL, {}};
}

Outcome GetSplitVfo(Receiver&, const Arguments&) {
    return Fixed({{"Split", "0"}, {"TX VFO", "VFOA"}});
}

Outcome GetLevel(Receiver&, const Arguments& args) {
    if (!KnownName(args[0], kLevelNames, std::size(kLevelNames))) return {RIG_EINVAL, {}};
    if (args[0] != "STRENGTH") return {RIG_ENAVAIL, {}};
    return Fixed({{"", std::to_string(FIXED_STRENGTH_DB)}});
}

Outcome GetPowerstat(Receiver&, const Arguments&) {
    return Fixed({{"Power Status", "1", true}});
}

// Whenever the port can reach the receiver it is on; it cannot be switched
// off or to standby from here.
Outcome SetPowerstat(Receiver&, const Arguments& args) {
    const std::string& status = args[0];
    if (status == "1" || status == "4") return {};  // on, operate
    if (status == "0" || status == "2") return {RIG_ENAVAIL, {}};
    return {RIG_EINVAL, {}};
}

Outcome GetInfo(Receiver&, const Arguments&) { return Fixed({{"Info", "Zelkor receiver"}}); }

Outcome GetVfoInfo(Receiver& receiver, const Arguments&) {
    std::uint32_t hertz = 0;
    const int code = receiver.GetFrequency(&hertz);
    if (code != RIG_OK) return {code, {}};
    return Fixed({{"Freq", std::to_string(hertz)},
                  {"Mode", "FM"},
                  {"Width", "15000"},
                  {"Split", "0"},
                  {"SatMode", "0"}});
}

Outcome GetLockMode(Receiver&, const Arguments&) { return Fixed({{"Locked", "0", true}}); }

Outcome DumpState(Receiver&, const Arguments&) { return Fixed({{"", kDumpState, true}}); }

Outcome DumpCaps(Receiver&, const Arguments&) { return Fixed({{"", kDumpCaps, true}}); }

// Every command of the daemon, so that a line splits into commands as it
// does there and each reply carries the daemon's name for it.
const CommandDef kCommands[] = {
    {'F', "set_freq", 1, SetFreq, true},
    {'f', "get_freq", 0, GetFreq, true},
    {'M', "set_mode", 2, Accept},
    {'m', "get_mode", 0, GetMode},
    {'I', "set_split_freq", 1, nullptr},
    {'i', "get_split_freq", 0, nullptr},
    {'X', "set_split_mode", 2, nullptr},
    {'x', "get_split_mode", 0, nullptr},
    {'K', "set_split_freq_mode", 3, nullptr},
    {'k', "get_split_freq_mode", 0, nullptr},
    {'S', "set_split_vfo", 2, nullptr},
    {'s', "get_split_vfo", 0, GetSplitVfo},
    {'N', "set_ts", 1, nullptr},
    {'n', "get_ts", 0, nullptr},
    {'L', "set_level", 2, nullptr},
    {'l', "get_level", 1, GetLevel},
    {'U', "set_func", 2, nullptr},
    {'u', "get_func", 1, nullptr},
    {'P', "set_parm", 2, nullptr},
    {'p', "get_parm", 1, nullptr},
    {'G', "vfo_op", 1, nullptr},
    {'g', "scan", 2, nullptr},
    {'A', "set_trn", 1, nullptr},
    {'a', "get_trn", 0, nullptr},
    {'R', "set_rptr_shift", 1, nullptr},
    {'r', "get_rptr_shift", 0, nullptr},
    {'O', "set_rptr_offs", 1, nullptr},
    {'o', "get_rptr_offs", 0, nullptr},
    {'C', "set_ctcss_tone", 1, nullptr},
    {'c', "get_ctcss_tone", 0, nullptr},
    {'D', "set_dcs_code", 1, nullptr},
    {'d', "get_dcs_code", 0, nullptr},
    {0, "set_ctcss_sql", 1, nullptr},
    {0, "get_ctcss_sql", 0, nullptr},
    {0, "set_dcs_sql", 1, nullptr},
    {0, "get_dcs_sql", 0, nullptr},
    {'V', "set_vfo", 1, SetVfo},
    {'v', "get_vfo", 0, GetVfo},
    {'T', "set_ptt", 1, nullptr},
    {'t', "get_ptt", 0, nullptr},
    {'E', "set_mem", 1, nullptr},
    {'e', "get_mem", 0, nullptr},
    {'H', "set_channel", 1, nullptr},
    {'h', "get_channel", 2, nullptr},
    {'B', "set_bank", 1, nullptr},
    {'_', "get_info", 0, GetInfo},
    {'J', "set_rit", 1, nullptr},
    {'j', "get_rit", 0, nullptr},
    {'Z', "set_xit", 1, nullptr},
    {'z', "get_xit", 0, nullptr},
    {'Y', "set_ant", 2, nullptr},
    {'y', "get_ant", 1, nullptr},
    {0, "set_powerstat", 1, SetPowerstat},
    {0, "get_powerstat", 0, GetPowerstat},
    {0, "send_dtmf", 1, nullptr},
    {0, "recv_dtmf", 0, nullptr},
    {'*', "reset", 1, nullptr},
    {'w', "send_cmd", kRestOfLine, nullptr},
    {'W', "send_cmd_rx", 2, nullptr},
    {'b', "send_morse", kRestOfLine, nullptr},
    {0, "stop_morse", 0, nullptr},
    {0, "wait_morse", 0, nullptr},
    {0, "send_voice_mem", 1, nullptr},
    {0, "get_dcd", 0, nullptr},
    {0, "set_twiddle", 1, nullptr},
    {0, "get_twiddle", 0, nullptr},
    {0, "uplink", 1, nullptr},
    {0, "set_cache", 1, nullptr},
    {0, "get_cache", 0, nullptr},
    {'2', "power2mW", 3, nullptr},
    {'4', "mW2power", 3, nullptr},
    {'1', "dump_caps", 0, DumpCaps, false, Form::ReportAlways},
    {'3', "dump_conf", 0, nullptr},
    {0, "dump_state", 0, DumpState},
    {0, "chk_vfo", 0, nullptr, false, Form::CheckVfo},
    {0, "set_vfo_opt", 1, nullptr},
    {0, "get_vfo_info", 1, GetVfoInfo, true},
    {0, "get_rig_info", 0, nullptr},
    {0, "get_vfo_list", 0, nullptr},
    {0, "get_modes", 0, nullptr},
    {0, "get_clock", 0, nullptr},
    {0, "set_clock", 1, nullptr},
    {0, "halt", 0, nullptr},
    {0, "pause", 1, nullptr},
    {0, "password", 1, nullptr},
    {0, "get_mode_bandwidths", 1, nullptr},
    {0, "set_separator", 1, nullptr},
    {0, "get_separator", 0, nullptr},
    {0, "set_lock_mode", 1, nullptr},
    {0, "get_lock_mode", 0, GetLockMode, false, Form::ReportAlways},
    {0, "send_raw", 2, nullptr},
    {'q', nullptr, 0, nullptr, false, Form::Quit},
    {'Q', nullptr, 0, nullptr, false, Form::Quit},
};

int FindShort(char name) {
    for (std::size_t i = 0; i < std::size(kCommands); ++i)
        if (kCommands[i].shortName && kCommands[i].shortName == name) return int(i);
    return -1;
}

int FindLong(const std::string& name) {
    for (std::size_t i = 0; i < std::size(kCommands); ++i)
        if (kCommands[i].longName && name == kCommands[i].longName) return int(i);
    return -1;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Any punctuation that names no command asks for an extended reply; all but
// '+' also name its separator.
bool IsModePrefix(char c) {
    const bool punctuation = (c >= '!' && c <= '/') || (c >= ':' && c <= '@') ||
                             (c >= '[' && c <= '`') || (c >= '{' && c <= '~');
    return punctuation && c != '\\' && c != '#' && FindShort(c) < 0;
}

std::string Report(int code) { return "RPRT " + std::to_string(code) + "\n"; }

std::string Render(const CommandDef& def, const Arguments& args, const Outcome& outcome,
                   bool extended, char separator) {
    std::string text;
    if (extended) {
        text = std::string(def.longName) + ":";
        for (const std::string& arg : args) text += " " + arg;
        text += separator;
        if (outcome.code == RIG_OK) {
            for (const Value& value : outcome.values) {
                if (!value.label.empty()) text += value.label + ": ";
                text += value.text;
                text += value.lineBreak ? '\n' : separator;
            }
        }
        return text + Report(outcome.code);
    }
    if (outcome.code != RIG_OK) return Report(outcome.code);
    for (const Value& value : outcome.values) text += value.text + "\n";
    if (outcome.values.empty() || def.form == Form::ReportAlways) text += Report(RIG_OK);
    return text;
}

struct Hertz {
    std::uint64_t whole = 0;
    bool fraction = false;  // a non-zero part below 1 Hz was dropped
};

std::optional<Hertz> ParseHertz(const std::string& text) {
    // Digits are kept as text and shifted by the exponent, so 2500000499.999999
    // is judged exactly, with no floating point in the way.
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
    if (firstSignificant == std::string::npos) return Hertz{};
    digits.erase(0, firstSignificant);
    const long scale = exponent - fractionDigits;
    constexpr long kMaxIntegerDigits = 15;  // far beyond any receiver
    std::string integer;
    Hertz hertz;
    if (scale >= 0) {
        if (long(digits.size()) + scale > kMaxIntegerDigits) return std::nullopt;
        integer = digits + std::string(std::size_t(scale), '0');
    } else {
        const std::size_t dropped = std::min(digits.size(), std::size_t(-scale));
        integer = digits.substr(0, digits.size() - dropped);
        if (long(integer.size()) > kMaxIntegerDigits) return std::nullopt;
        hertz.fraction = digits.find_first_not_of('0', digits.size() - dropped) != std::string::npos;
    }
    for (char c : integer) hertz.whole = hertz.whole * 10 + std::uint64_t(c - '0');
    return hertz;
}

}  // namespace

std::optional<std::uint64_t> ParseKilohertz(const std::string& text) {
    const auto hertz = ParseHertz(text);
    if (!hertz) return std::nullopt;
    // The dropped fraction is below 1 Hz, so it can never carry the remainder
    // past the half-kHz mark: the integer part alone decides the rounding.
    return (hertz->whole + 500) / 1000;
}

std::optional<std::uint32_t> TuningKilohertz(const std::string& text) {
    const auto hertz = ParseHertz(text);
    if (!hertz || hertz->whole < RX_START_HZ || hertz->whole > RX_END_HZ ||
        (hertz->whole == RX_END_HZ && hertz->fraction))
        return std::nullopt;
    const std::uint64_t kilohertz = (hertz->whole + 500) / 1000;
    static_assert(RX_START_HZ / 1000 == MIN_FREQUENCY_KHZ && RX_END_HZ / 1000 == MAX_FREQUENCY_KHZ,
                  "the port's range is the receiver's");
    return std::uint32_t(kilohertz);
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
        // Blank lines (the LF of a CRLF ends one) hold nothing to run.
        if (overlong_) {
            lines_.push_back(std::nullopt);
            overlong_ = false;
        } else {
            bool blank = true;
            for (char c : partial_) blank = blank && IsSpace(c);
            if (!blank) lines_.push_back(partial_ + '\n');
            partial_.clear();
        }
    }
    Advance();
}

bool Session::NextNeedsReceiver() const {
    return next_ && next_->index >= 0 && kCommands[next_->index].touchesReceiver;
}

// Reads the command at the front of lines_ without consuming it: nothing
// while it is incomplete; *started tells whether anything but blanks and
// comments came before the end.
std::optional<Session::Command> Session::Parse(bool* started) const {
    Command command;
    command.extended = extended_;
    command.separator = separator_;
    *started = false;
    Position at{0, offset_};
    auto atEnd = [&] { return at.line >= lines_.size(); };
    auto overlong = [&] { return !lines_[at.line]; };
    auto peek = [&] { return (*lines_[at.line])[at.offset]; };
    auto step = [&] {
        if (++at.offset == lines_[at.line]->size()) {
            ++at.line;
            at.offset = 0;
        }
    };
    auto dropLine = [&] {
        command = Command{};
        command.overlong = true;
        command.end = {at.line + 1, 0};
        return command;
    };

    for (;;) {
        if (atEnd()) return std::nullopt;
        if (overlong()) return dropLine();
        const char c = peek();
        if (IsSpace(c)) {
            step();
        } else if (c == '#') {
            at = {at.line + 1, 0};  // a comment runs to the line end
        } else if (IsModePrefix(c)) {
            *started = true;
            command.extended = true;
            if (c != '+') command.separator = c;
            step();
        } else {
            break;
        }
    }
    *started = true;
    const std::string& line = *lines_[at.line];
    if (peek() == '\\') {
        const std::size_t start = at.offset + 1;
        std::size_t stop = start;
        while (!IsSpace(line[stop])) ++stop;
        command.index = FindLong(line.substr(start, stop - start));
        at.offset = stop;  // the line's '\n' at worst, so still in the line
    } else {
        command.index = FindShort(peek());
        step();
    }
    if (command.index < 0) {
        command.end = at;
        return command;
    }
    const int wanted = kCommands[command.index].arguments;
    if (wanted == kRestOfLine) {
        const std::string& rest = *lines_[at.line];
        const std::size_t stop = rest.size() - 1;
        command.arguments.push_back(rest.substr(at.offset, stop - at.offset));
        at.offset = stop;
    }
    for (int i = 0; i < wanted; ++i) {
        for (;;) {
            if (atEnd()) return std::nullopt;
            if (overlong()) return dropLine();
            if (!IsSpace(peek())) break;
            step();
        }
        const std::string& text = *lines_[at.line];
        std::size_t stop = at.offset;
        while (!IsSpace(text[stop])) ++stop;
        command.arguments.push_back(text.substr(at.offset, stop - at.offset));
        at.offset = stop;
    }
    command.end = at;
    return command;
}

void Session::Advance() {
    if (next_ || closed_) return;
    bool started = false;
    next_ = Parse(&started);
    if (next_) return;
    if (!started) {
        // Only blanks and comments so far.
        lines_.clear();
        offset_ = 0;
        return;
    }
    // A command still waiting for its arguments holds a few lines at most,
    // unless a client sends endless prefixes: refuse those as one long line.
    std::size_t held = 0;
    for (const auto& line : lines_) held += line ? line->size() : 0;
    if (held > 4 * MAX_LINE_BYTES) {
        Command command;
        command.overlong = true;
        command.end = {lines_.size(), 0};
        next_ = command;
    }
}

bool Session::RunNext(std::string* out) {
    if (!next_) return !closed_;
    const Command command = std::move(*next_);
    next_.reset();
    for (std::size_t i = 0; i < command.end.line; ++i) lines_.pop_front();
    offset_ = command.end.offset;
    if (!lines_.empty() && offset_ == lines_.front()->size()) {
        lines_.pop_front();
        offset_ = 0;
    }

    bool keepMode = false;
    if (command.overlong) {
        *out += Report(RIG_EPROTO);
    } else if (command.index < 0) {
        // The daemon ignores what it cannot parse; answering leaves no client
        // waiting for a reply that never comes.
        *out += Report(RIG_ENAVAIL);
    } else {
        const CommandDef& def = kCommands[command.index];
        if (def.form == Form::Quit) {
            *out += Report(RIG_OK);
            closed_ = true;
            lines_.clear();
            partial_.clear();
            return false;
        }
        if (def.form == Form::CheckVfo) {
            if (!command.extended)
                *out += "0\n";
            else
                *out += command.separator == '\n' ? "ChkVFO: 0\n" : "ChkVFO: 0\n\n";
            keepMode = true;
        } else {
            const Outcome outcome =
                def.run ? def.run(receiver_, command.arguments) : Outcome{RIG_ENAVAIL, {}};
            *out += Render(def, command.arguments, outcome, command.extended, command.separator);
        }
    }
    extended_ = keepMode && command.extended;
    separator_ = keepMode ? command.separator : '\n';
    Advance();
    return true;
}

bool FeedAndRun(Session& session, const char* data, std::size_t length, std::string* out) {
    session.Feed(data, length);
    while (session.HasCommand()) session.RunNext(out);
    return !session.Closed();
}

}  // namespace zelkor::rigctl
