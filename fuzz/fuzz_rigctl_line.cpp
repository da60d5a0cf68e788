// Any bytes from a network client: replies always end their line, and
// nothing out of range is ever tuned.
#include <cstdint>
#include <string>

#include "protocol.h"

namespace {

class CheckingReceiver final : public zelkor::rigctl::Receiver {
public:
    int GetFrequency(std::uint32_t* hertz) override {
        *hertz = 145000000;
        return zelkor::rigctl::RIG_OK;
    }
    int SetFrequency(std::uint32_t kilohertz) override {
        if (kilohertz < 100 || kilohertz > 2500000) __builtin_trap();
        return zelkor::rigctl::RIG_OK;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckingReceiver receiver;
    zelkor::rigctl::Session session(receiver);
    std::string out;
    // Split the input at an arbitrary point, as TCP may.
    const std::size_t cut = size ? data[0] % (size + 1) : 0;
    const char* bytes = reinterpret_cast<const char*>(data);
    if (zelkor::rigctl::FeedAndRun(session, bytes, cut, &out))
        zelkor::rigctl::FeedAndRun(session, bytes + cut, size - cut, &out);
    if (!out.empty() && out.back() != '\n') __builtin_trap();
    return 0;
}
