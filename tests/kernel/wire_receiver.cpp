#include "wire_receiver.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace zelkor::kerneltest {
namespace {

std::atomic<bool> g_stop{false};

void OnStop(int) { g_stop = true; }

std::optional<long> ParseLong(const char* text, long min, long max) {
    if (!text || !*text) return std::nullopt;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 0);
    if (*end || value < min || value > max) return std::nullopt;
    return value;
}

}  // namespace

WireReceiver::WireReceiver(const std::string& logPath)
    : log_(logPath.empty() ? stderr : std::fopen(logPath.c_str(), "a")) {
    if (!log_) log_ = stderr;
}

WireReceiver::~WireReceiver() {
    if (log_ != stderr) std::fclose(log_);
}

void WireReceiver::Line(char direction, const std::uint8_t* data, std::size_t length) {
    // Before every reply, so it costs the reply's time: no formatting calls.
    static const char digits[] = "0123456789abcdef";
    std::string line(1, direction);
    for (std::size_t i = 0; i < length; ++i) {
        const char hex[3] = {' ', digits[data[i] >> 4], digits[data[i] & 15]};
        line.append(hex, 3);
    }
    line += '\n';
    std::fputs(line.c_str(), log_);
    std::fflush(log_);
}

std::optional<ReceiverFirmware::WireReport> WireReceiver::Take(const std::uint8_t* data,
                                                               std::size_t length) {
    Line('>', data, length);
    ++reportsTaken;
    auto reply = firmware.Answer(data, length);
    SaveState();
    return reply;
}

void WireReceiver::LogSent(const std::uint8_t* data, std::size_t length) { Line('<', data, length); }

void WireReceiver::LogUnasked(const std::uint8_t* data, std::size_t length) { Line('~', data, length); }

void WireReceiver::KeepStateIn(const std::string& path) {
    statePath_ = path;
    savedState_.clear();
    SaveState();
}

void WireReceiver::Apply(const ServeOptions& options) {
    firmware.faults.silent = options.silent;
    firmware.faults.status = options.status;
    if (!options.state.empty()) KeepStateIn(options.state);
}

// Renamed into place, so a reader never sees half a file. Only when the
// settings changed: the write comes before the reply, and reads change nothing.
void WireReceiver::SaveState() const {
    if (statePath_.empty()) return;
    const FirmwareSettings& s = firmware.settings;
    char text[256];
    std::snprintf(text, sizeof text,
                  "frequency=%u\nrf_filter=%u\nif_filter=%u\nbias_t=%u\nlna=%u\nmixer_gain=%u\nif_gain=%u\n",
                  unsigned(s.frequencyHz), unsigned(s.rfFilter), unsigned(s.ifFilter), unsigned(s.biasT),
                  unsigned(s.lna), unsigned(s.mixerGain), unsigned(s.ifGain));
    if (savedState_ == text) return;
    const std::string temporary = statePath_ + ".new";
    std::FILE* file = std::fopen(temporary.c_str(), "w");
    if (!file) return;
    std::fputs(text, file);
    const bool written = std::fclose(file) == 0;
    if (written && std::rename(temporary.c_str(), statePath_.c_str()) == 0) savedState_ = text;
}

void WireReceiver::Note(const char* format, ...) {
    std::fputs("# ", log_);
    va_list args;
    va_start(args, format);
    std::vfprintf(log_, format, args);
    va_end(args);
    std::fputc('\n', log_);
    std::fflush(log_);
}

bool ParseServeOption(int argc, char** argv, int& i, ServeOptions& options, std::string& error) {
    const std::string arg = argv[i];
    auto value = [&](long min, long max) -> std::optional<long> {
        const char* text = i + 1 < argc ? argv[i + 1] : nullptr;
        auto number = ParseLong(text, min, max);
        if (!number) error = arg + " needs a number from " + std::to_string(min) + " to " + std::to_string(max);
        else ++i;
        return number;
    };
    if (arg == "--silent") {
        options.silent = true;
    } else if (arg == "--log") {
        if (i + 1 >= argc) error = "--log needs a file";
        else options.log = argv[++i];
    } else if (arg == "--state") {
        if (i + 1 >= argc) error = "--state needs a file";
        else options.state = argv[++i];
    } else if (arg == "--status") {
        if (auto v = value(0, 255)) options.status = std::uint8_t(*v);
    } else if (arg == "--unplug-after") {
        if (auto v = value(1, 1000000)) options.unplugAfter = int(*v);
    } else if (arg == "--replug-after-ms") {
        if (auto v = value(0, 60000)) options.replugAfterMs = int(*v);
    } else if (arg == "--lifetime") {
        if (auto v = value(1, 3600)) options.lifetimeS = int(*v);
    } else {
        return false;
    }
    return true;
}

void InstallStopHandlers() {
    struct sigaction action = {};
    action.sa_handler = OnStop;  // no SA_RESTART: blocking calls return EINTR
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

bool StopRequested() { return g_stop; }

bool WriteAttribute(const std::string& path, const std::string& value) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const ssize_t written = ::write(fd, value.data(), value.size());
    ::close(fd);
    return written == static_cast<ssize_t>(value.size());
}

std::optional<std::string> ReadAttribute(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    char buffer[256];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (got < 0) return std::nullopt;
    std::string text(buffer, std::size_t(got));
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

}  // namespace zelkor::kerneltest
