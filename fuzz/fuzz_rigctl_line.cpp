// Any bytes from a network client: every command gets a reply that ends its
// line, nothing runs after a quit, nothing out of range is ever tuned, and
// the replies do not depend on how TCP cut the bytes.
#include <cstdint>
#include <string>

#include "protocol.h"

namespace {

using zelkor::rigctl::MAX_LINE_BYTES;
using zelkor::rigctl::Session;

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

// Feeds the chunk and runs what it completes, one command at a time.
void Run(Session& session, const char* bytes, std::size_t size, std::string* out) {
    session.Feed(bytes, size);
    while (session.HasCommand()) {
        const std::size_t before = out->size();
        const bool open = session.RunNext(out);
        if (out->size() == before || out->back() != '\n') __builtin_trap();
        if (open == session.Closed()) __builtin_trap();
    }
    if (session.Closed() && session.HasCommand()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckingReceiver receiver;
    const char* bytes = reinterpret_cast<const char*>(data);
    const std::size_t cut = size ? data[0] % (size + 1) : 0;
    Session split(receiver), whole(receiver);
    std::string splitOut, wholeOut;
    Run(split, bytes, cut, &splitOut);
    Run(split, bytes + cut, size - cut, &splitOut);
    Run(whole, bytes, size, &wholeOut);
    // Beyond this a client's endless prefixes are cut off where the chunk
    // ends, so only shorter inputs must come out the same.
    if (size <= 4 * MAX_LINE_BYTES && splitOut != wholeOut) __builtin_trap();
    return 0;
}
