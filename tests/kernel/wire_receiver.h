// The receiver's side of the wire for the kernel test: the firmware model
// behind a device node, a log of every report in and out (so the guest
// script can hold it against zelkor-ctl's trace), and the shared plumbing
// of the two device programs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "simulated_firmware.h"

namespace zelkor::kerneltest {

struct ServeOptions;

class WireReceiver {
public:
    // Logs to `logPath` (appending), or to standard error when empty.
    explicit WireReceiver(const std::string& logPath);
    ~WireReceiver();

    // Logs the 64 data bytes that arrived and returns the reply to send.
    std::optional<ReceiverFirmware::WireReport> Take(const std::uint8_t* data, std::size_t length);
    void LogSent(const std::uint8_t* data, std::size_t length);
    // A report sent on the device's own account, not as the reply to one.
    void LogUnasked(const std::uint8_t* data, std::size_t length);
    void Note(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // Writes what the firmware holds to `path` after every report taken, so
    // the guest script can hold zelkor-ctl's output against the truth.
    void KeepStateIn(const std::string& path);

    // The faults and the state file the options ask for.
    void Apply(const ServeOptions& options);

    ReceiverFirmware firmware;
    unsigned reportsTaken = 0;

private:
    void Line(char direction, const std::uint8_t* data, std::size_t length);
    void SaveState() const;
    std::FILE* log_;
    std::string statePath_;
    mutable std::string savedState_;  // what the file holds
};

// The fault and lifetime switches both device programs accept.
struct ServeOptions {
    std::string log;
    std::string state;  // see WireReceiver::KeepStateIn
    bool silent = false;
    std::optional<std::uint8_t> status;
    int unplugAfter = -1;    // reports; the last one goes unanswered
    int replugAfterMs = -1;  // after an unplug; negative: stay away
    int lifetimeS = 60;      // nothing in the guest may wait forever
};

// Parses the option at argv[i] (moving i past its argument). Returns false
// when it is not one of these, or sets `error` when its argument is bad.
bool ParseServeOption(int argc, char** argv, int& i, ServeOptions& options, std::string& error);

// SIGTERM and SIGINT end the serving loop; the lifetime does too.
void InstallStopHandlers();
bool StopRequested();

// Whole-file write of a small text or binary attribute (sysfs, configfs).
bool WriteAttribute(const std::string& path, const std::string& value);
std::optional<std::string> ReadAttribute(const std::string& path);

}  // namespace zelkor::kerneltest
