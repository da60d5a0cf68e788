// zelkor-uhid: plays the receiver through /dev/uhid, a HID device with no
// USB below it. Unlike the USB path, uhid hands the device the output report
// with its leading report ID 0; it is stripped here.
#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "wire_receiver.h"

namespace {
using namespace zelkor::kerneltest;

const unsigned char kReportDescriptor[] = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,
    0x95, 0x40, 0x09, 0x01, 0x81, 0x02, 0x95, 0x40, 0x09, 0x01, 0x91, 0x02, 0xC0,
};

bool Send(int fd, const uhid_event& event) {
    return ::write(fd, &event, sizeof event) == static_cast<ssize_t>(sizeof event);
}

}  // namespace

int main(int argc, char** argv) {
    ServeOptions options;
    for (int i = 1; i < argc; ++i) {
        std::string error;
        if (!ParseServeOption(argc, argv, i, options, error) || !error.empty()) {
            std::fprintf(stderr, "%s\nusage: zelkor-uhid [--log FILE] [--silent] [--status N] [--lifetime S]\n",
                         error.c_str());
            return 2;
        }
    }
    InstallStopHandlers();
    WireReceiver receiver(options.log);
    receiver.Apply(options);

    const int fd = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        std::perror("zelkor-uhid: /dev/uhid");
        return 1;
    }
    uhid_event create = {};
    create.type = UHID_CREATE2;
    std::snprintf(reinterpret_cast<char*>(create.u.create2.name), sizeof create.u.create2.name,
                  "Zelkor receiver (uhid)");
    create.u.create2.rd_size = sizeof kReportDescriptor;
    std::memcpy(create.u.create2.rd_data, kReportDescriptor, sizeof kReportDescriptor);
    create.u.create2.bus = 0x03;  // BUS_USB: the IDs a real receiver shows
    create.u.create2.vendor = 0x04d8;
    create.u.create2.product = 0xfb31;
    create.u.create2.version = 0x0213;
    if (!Send(fd, create)) {
        std::perror("zelkor-uhid: create");
        return 1;
    }
    receiver.Note("created on /dev/uhid");

    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(options.lifetimeS);
    while (!StopRequested() && std::chrono::steady_clock::now() < end) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, 100) <= 0) continue;
        uhid_event event = {};
        if (::read(fd, &event, sizeof event) <= 0) continue;
        if (event.type != UHID_OUTPUT || event.u.output.rtype != UHID_OUTPUT_REPORT) continue;
        const std::uint8_t* data = event.u.output.data;
        std::size_t size = event.u.output.size;
        if (size > 0) {  // report ID 0
            ++data;
            --size;
        }
        const auto reply = receiver.Take(data, size);
        if (!reply) continue;
        uhid_event input = {};
        input.type = UHID_INPUT2;
        input.u.input2.size = reply->size();
        std::memcpy(input.u.input2.data, reply->data(), reply->size());
        if (Send(fd, input)) receiver.LogSent(reply->data(), reply->size());
    }
    uhid_event destroy = {};
    destroy.type = UHID_DESTROY;
    Send(fd, destroy);
    ::close(fd);
    receiver.Note("stopped");
    return 0;
}
