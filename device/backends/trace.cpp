#include "trace.h"

#include <cstdio>

namespace zelkor {

std::string FormatReportLine(char direction, const std::uint8_t* report) {
    static const char kHex[] = "0123456789abcdef";
    std::string line{direction, ' '};
    line.reserve(2 + REPORT_SIZE * 3);
    for (std::size_t i = 0; i < REPORT_SIZE; ++i) {
        if (i) line += ' ';
        line += kHex[report[i] >> 4];
        line += kHex[report[i] & 15];
    }
    return line;
}

bool TraceHid::Write(HidHandle handle, const std::uint8_t* report) {
    sink_(FormatReportLine('>', report));
    return inner_.Write(handle, report);
}

HidIo TraceHid::Read(HidHandle handle, std::uint8_t* report, int timeoutMs) {
    const HidIo result = inner_.Read(handle, report, timeoutMs);
    if (result == HidIo::Ok) sink_(FormatReportLine('<', report));
    return result;
}

TraceHid::Sink StreamSink(std::FILE* stream) {
    return [stream](const std::string& line) {
        std::fprintf(stream, "%s\n", line.c_str());
        std::fflush(stream);
    };
}

}  // namespace zelkor
