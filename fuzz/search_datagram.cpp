// The search datagrams: probes and answers as the search socket receives them.
#include "fuzz/fuzzinput.h"
#include "searchlib/wire.h"

#include <algorithm>

using namespace galvorn::searchlib;

namespace {

// Magic and version and kind come first in the header.
constexpr std::size_t kReservedOffset = 6;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> datagram(data, size);

    wire::Probe probe;
    if (wire::decodeProbe(datagram, probe) == wire::Status::Ok) {
        // A probe decoded once reads the same after it is written again.
        wire::Probe again;
        FUZZ_CHECK(wire::decodeProbe(wire::encodeProbe(probe), again) == wire::Status::Ok);
        FUZZ_CHECK(again.nonce == probe.nonce);
    }

    wire::Answer answer;
    if (wire::decodeAnswer(datagram, answer) != wire::Status::Ok)
        return 0;
    // What the decoder lets through is what the rest of the search may rely on.
    FUZZ_CHECK(size <= wire::kMaxDatagram);
    FUZZ_CHECK(answer.mac.isUnicast());
    FUZZ_CHECK(!answer.xml.empty() && answer.xml.size() <= wire::kMaxXml);
    FUZZ_CHECK(answer.xml.find('\0') == std::string::npos);
    // An answer that this side can write again comes out as the same bytes, but for the
    // two reserved header bytes, which are read past and written as zero.
    std::vector<std::uint8_t> encoded;
    if (wire::encodeAnswer(answer, encoded) != wire::Status::Ok)
        return 0;
    std::vector<std::uint8_t> expected(datagram.begin(), datagram.end());
    FUZZ_CHECK(expected.size() >= kReservedOffset + 2);
    expected[kReservedOffset] = expected[kReservedOffset + 1] = 0;
    FUZZ_CHECK(encoded == expected);
    return 0;
}
