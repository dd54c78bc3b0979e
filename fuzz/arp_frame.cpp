// ARP frames as a capture delivers them from the link. The parser accepts exactly the
// frames of at least 42 bytes that carry ARP for IPv4 over Ethernet, ignores what follows
// them, and every field it returns is the big-endian value at its offset.
#include "common/arpframe.h"
#include "fuzz/fuzzinput.h"

#include <algorithm>

using namespace galvorn::common::arp;
using galvorn::fuzz::FuzzInput;

namespace {

std::uint32_t bigEndian(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t width)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value = value << 8 | bytes[at + i];
    return value;
}

bool macAt(std::span<const std::uint8_t> bytes, std::size_t at,
           const galvorn::platform::MacBytes& mac)
{
    return std::equal(mac.begin(), mac.end(), bytes.begin() + static_cast<long>(at));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const std::span<const std::uint8_t> bytes = input.rest();
    ArpFrame frame;
    const ParseResult result = ParseFrame(bytes, frame);
    FUZZ_CHECK((result == ParseResult::Short) == (bytes.size() < kFrameSize));
    if (bytes.size() < kFrameSize)
        return 0;
    ArpFrame head;
    FUZZ_CHECK(ParseFrame(bytes.first(kFrameSize), head) == result);
    const bool arp = bigEndian(bytes, 12, 2) == kEtherTypeArp;
    FUZZ_CHECK((result == ParseResult::NotArp) == !arp);
    if (result != ParseResult::Ok)
        return 0;
    FUZZ_CHECK(bigEndian(bytes, 14, 2) == kHardwareEthernet &&
               bigEndian(bytes, 16, 2) == kProtocolIpv4);
    FUZZ_CHECK(bytes[18] == kHardwareLength && bytes[19] == kProtocolLength);
    FUZZ_CHECK(macAt(bytes, 0, frame.destination) && macAt(bytes, 6, frame.source));
    FUZZ_CHECK(frame.operation == bigEndian(bytes, 20, 2));
    FUZZ_CHECK(macAt(bytes, 22, frame.senderMac) && frame.senderAddress == bigEndian(bytes, 28, 4));
    FUZZ_CHECK(macAt(bytes, 32, frame.targetMac) && frame.targetAddress == bigEndian(bytes, 38, 4));
    FUZZ_CHECK(IsReplyFor(frame, frame.senderAddress) == (frame.operation == kOperationReply));
    // A request built from what was read reads back as that request.
    ArpFrame request;
    FUZZ_CHECK(ParseFrame(BuildRequest(frame.source, frame.targetAddress), request) ==
               ParseResult::Ok);
    FUZZ_CHECK(request.source == frame.source && request.targetAddress == frame.targetAddress);
    return 0;
}
