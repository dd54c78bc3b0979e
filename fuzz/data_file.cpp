// The face-library data file: its header, the import check and the reader of a file an
// operator chose, and the writer that an export fills chunk by chunk.
#include "common/facefeatureimportandexport.h"
#include "fuzz/fuzzinput.h"
#include "fuzz/scratchfolder.h"
#include "support/textcodec.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <vector>

using namespace galvorn;
using galvorn::fuzz::FuzzInput;

namespace {

// The import check, restated from the format.
facefile::Check expectedCheck(std::span<const std::uint8_t> file)
{
    if (file.size() <= facefile::kHeaderSize)
        return facefile::Check::TooSmall;
    const auto word = [&file](std::size_t offset) {
        return static_cast<std::uint32_t>(file[offset]) | file[offset + 1] << 8 |
               file[offset + 2] << 16 | static_cast<std::uint32_t>(file[offset + 3]) << 24;
    };
    if (word(0) != facefile::kMagic)
        return facefile::Check::BadMagic;
    if (word(facefile::kHeaderSize - 4) != file.size() - facefile::kHeaderSize)
        return facefile::Check::SizeMismatch;
    return facefile::Check::Valid;
}

void checkHeader(std::span<const std::uint8_t> bytes)
{
    facefile::Header header;
    const bool read = facefile::decodeHeader(bytes, header);
    FUZZ_CHECK(read == (bytes.size() >= facefile::kHeaderSize));
    if (!read)
        return;
    // The header reads back as the bytes it came from.
    const auto encoded = facefile::encodeHeader(header);
    FUZZ_CHECK(std::equal(encoded.begin(), encoded.end(), bytes.begin()));
    FUZZ_CHECK(textcodec::isValidUtf8(header.updateDateText()));
}

void checkReader(const std::string& path, std::span<const std::uint8_t> file)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
    facefile::Reader reader;
    const facefile::Check check = reader.open(path);
    FUZZ_CHECK(check == expectedCheck(file));
    FUZZ_CHECK(reader.isOpen() == (check == facefile::Check::Valid));
    if (!reader.isOpen())
        return;
    std::vector<std::uint8_t> all(file.size());
    FUZZ_CHECK(reader.readChunk(0, all));
    FUZZ_CHECK(std::equal(all.begin(), all.end(), file.begin(), file.end()));
    // Nothing is read from beyond the checked size.
    std::uint8_t past[1];
    FUZZ_CHECK(!reader.readChunk(file.size(), past));
}

// Chunks written by an export read back as one valid file holding them in order.
void checkWriter(const std::string& folder, FuzzInput& input)
{
    std::tm time{};
    time.tm_year = 124;
    time.tm_mday = 1;
    std::vector<std::uint8_t> data;
    {
        facefile::Writer writer(folder, "02:00:00:00:00:01", time);
        FUZZ_CHECK(writer.open());
        while (!input.empty()) {
            const std::span<const std::uint8_t> chunk = input.piece();
            FUZZ_CHECK(writer.append(chunk));
            data.insert(data.end(), chunk.begin(), chunk.end());
        }
        FUZZ_CHECK(writer.header().librarySize == data.size());
        FUZZ_CHECK(writer.close() && writer.commit());
        facefile::Reader reader;
        const facefile::Check check = reader.open(writer.path());
        FUZZ_CHECK(check == (data.empty() ? facefile::Check::TooSmall : facefile::Check::Valid));
        if (data.empty())
            return;
        std::vector<std::uint8_t> back(data.size());
        FUZZ_CHECK(reader.readChunk(facefile::kHeaderSize, back));
        FUZZ_CHECK(back == data);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> file(data, size);
    checkHeader(file);
    const fuzz::ScratchFolder scratch;
    checkReader(scratch.path() + "/chosen.dat", file);
    FuzzInput input(data, size);
    checkWriter(scratch.path(), input);
    return 0;
}
