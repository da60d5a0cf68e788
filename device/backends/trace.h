// Prints every report exchanged through another backend, so the bytes on
// the wire can be checked on real hardware and in tests alike.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "hid.h"

namespace zelkor {

// "> " + the 65 output bytes, "< " + the 65 input bytes of every report
// read, two lower-case hex digits a byte. What the exchange made of them
// follows as its own lines: "  discarded: ..." under a report it did not
// take, "< no reply: timeout" (or "device gone", "write failed") where no
// reply came.
std::string FormatReportLine(char direction, const std::uint8_t* report);

class TraceHid final : public HidBackend {
public:
    using Sink = std::function<void(const std::string& line)>;  // line without newline

    TraceHid(HidBackend& inner, Sink sink) : inner_(inner), sink_(std::move(sink)) {}

    std::vector<HidInterfaceInfo> Enumerate() override { return inner_.Enumerate(); }
    HidHandle OpenWrite(const std::string& path) override { return inner_.OpenWrite(path); }
    HidHandle OpenRead(const std::string& path) override { return inner_.OpenRead(path); }
    bool Write(HidHandle handle, const std::uint8_t* report) override;
    HidIo Read(HidHandle handle, std::uint8_t* report, int timeoutMs) override;
    void Close(HidHandle handle) override { inner_.Close(handle); }
    bool Lock(HidHandle handle, int timeoutMs) override { return inner_.Lock(handle, timeoutMs); }
    HidOpenError LastOpenError() override { return inner_.LastOpenError(); }
    void Note(const std::string& what) override { sink_(what); }

private:
    HidBackend& inner_;
    Sink sink_;
};

// A sink that writes whole lines to a stdio stream and flushes each.
TraceHid::Sink StreamSink(std::FILE* stream);

}  // namespace zelkor
