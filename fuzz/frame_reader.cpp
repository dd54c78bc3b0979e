// The frame reader: the byte stream of a device after its greeting, fed whole and in the
// pieces the input chooses. Both must give the same events and the same messages, and
// the reader may hold no more memory than the bytes that arrived justify.
#include "common/framereader.h"
#include "fuzz/fuzzinput.h"

#include <algorithm>
#include <vector>

using galvorn::common::Frame;
using galvorn::common::FrameReader;
using galvorn::fuzz::FuzzInput;
using Event = FrameReader::Event;

namespace {

struct Seen
{
    Event event;
    std::vector<std::uint8_t> message;
    bool operator==(const Seen&) const = default;
};

struct Outcome
{
    std::vector<Seen> events;
    bool atBoundary = true;
    // The most room the reader's buffers held at any time.
    std::size_t largestBuffers = 0;
};

// Feeds the stream in pieces of the given sizes, in turn (the whole stream at once when
// there are none).
Outcome drive(std::span<const std::uint8_t> stream, std::span<const std::uint8_t> pieceSizes)
{
    FrameReader reader;
    Outcome outcome;
    std::size_t turn = 0;
    while (!stream.empty()) {
        std::size_t size = stream.size();
        if (!pieceSizes.empty())
            size = std::min<std::size_t>(size, pieceSizes[turn++ % pieceSizes.size()] + 1u);
        std::span<const std::uint8_t> piece = stream.first(size);
        stream = stream.subspan(size);
        while (!piece.empty()) {
            std::size_t consumed = 0;
            const Event event = reader.feed(piece, consumed);
            FUZZ_CHECK(consumed <= piece.size());
            piece = piece.subspan(consumed);
            outcome.largestBuffers = std::max(outcome.largestBuffers, reader.bufferedCapacity());
            if (event == Event::NeedMore) {
                FUZZ_CHECK(piece.empty());
                break;
            }
            outcome.events.push_back({event, event == Event::Message
                                                 ? reader.takeMessage()
                                                 : std::vector<std::uint8_t>{}});
            // A link stops reading after these.
            if (event == Event::TooLong)
                return outcome;
        }
    }
    outcome.atBoundary = reader.atBoundary();
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const std::span<const std::uint8_t> pieceSizes = input.take(input.u8());
    const std::span<const std::uint8_t> stream = input.rest();

    const Outcome whole = drive(stream, {});
    // Memory follows the bytes that arrived: a declared length alone pins no more than
    // the first reservation of each of the three buffers.
    FUZZ_CHECK(whole.largestBuffers <= 2 * stream.size() + 3 * Frame::kInitialReservation);

    const Outcome pieces = drive(stream, pieceSizes);
    FUZZ_CHECK(pieces.events == whole.events);
    FUZZ_CHECK(pieces.atBoundary == whole.atBoundary);
    // The stream taken one byte at a time is the hardest split of all.
    const std::uint8_t oneByte[] = {0};
    FUZZ_CHECK(drive(stream, oneByte).events == whole.events);
    return 0;
}
