#include "common/facefeatureimportandexport.h"

#include "testkit/tempdir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace galvorn::facefile;

namespace {

std::vector<std::uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// A header in the file's byte order, built by hand rather than by the code under test.
std::vector<std::uint8_t> headerBytes(std::uint32_t magic, std::uint32_t librarySize)
{
    std::vector<std::uint8_t> bytes(kHeaderSize, 0);
    for (int i = 0; i < 4; ++i) {
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(magic >> (8 * i));
        bytes[static_cast<std::size_t>(52 + i)] = static_cast<std::uint8_t>(librarySize >> (8 * i));
    }
    return bytes;
}

std::vector<std::uint8_t> pattern(std::size_t size)
{
    std::vector<std::uint8_t> data(size);
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return data;
}

// A data file of the given total size whose header says librarySize; the data area is
// a pattern.
void writeDataFile(const std::string& path, std::uint64_t size, std::uint32_t magic,
                   std::uint32_t librarySize)
{
    std::vector<std::uint8_t> bytes = headerBytes(magic, librarySize);
    bytes.resize(size);
    const auto data = pattern(size > kHeaderSize ? size - kHeaderSize : 0);
    std::copy(data.begin(), data.end(), bytes.begin() + kHeaderSize);
    writeFile(path, bytes);
}

// A file of the given size that occupies almost no disk: the header, cut to the size or
// followed by a hole.
void writeSparseFile(const std::string& path, std::uint64_t size, std::uint32_t magic,
                     std::uint32_t librarySize)
{
    writeFile(path, headerBytes(magic, librarySize));
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0);
}

std::tm stamp(int year, int month, int day, int hour, int minute, int second)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

} // namespace

TEST(FaceFileHeader, EncodesEveryFieldLittleEndianAtItsOffset)
{
    Header header;
    header.personCount = 0x04030201;
    header.whitelistCount = 0x14131211;
    header.blacklistCount = 0x24232221;
    header.strangerCount = 0x34333231;
    std::memcpy(header.updateDate.data(), "2024-03-05", 10);
    header.librarySize = 0x44434241;

    // clang-format off
    const std::array<std::uint8_t, kHeaderSize> expected{
        0xFF, 0xFF, 0xFF, 0x00,
        0x01, 0x02, 0x03, 0x04,
        0x11, 0x12, 0x13, 0x14,
        0x21, 0x22, 0x23, 0x24,
        0x31, 0x32, 0x33, 0x34,
        '2', '0', '2', '4', '-', '0', '3', '-', '0', '5', 0, 0, 0, 0, 0, 0,
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0x41, 0x42, 0x43, 0x44,
    };
    // clang-format on
    EXPECT_EQ(encodeHeader(header), expected);

    Header decoded;
    ASSERT_TRUE(decodeHeader(expected, decoded));
    EXPECT_EQ(decoded, header);
    EXPECT_EQ(decoded.updateDateText(), "2024-03-05");
}

TEST(FaceFileHeader, FreshHeaderIsMagicThenZeros)
{
    std::array<std::uint8_t, kHeaderSize> expected{};
    expected[0] = expected[1] = expected[2] = 0xFF;
    EXPECT_EQ(encodeHeader(Header{}), expected);
}

TEST(FaceFileHeader, DecodeRefusesEveryShortBuffer)
{
    const auto full = encodeHeader(Header{});
    for (std::size_t size = 0; size < kHeaderSize; ++size) {
        Header header;
        header.personCount = 99;
        EXPECT_FALSE(decodeHeader(std::span(full).first(size), header)) << size;
        EXPECT_EQ(header.personCount, 99u) << "a failed decode must leave the header alone";
    }
}

TEST(FaceFileHeader, DateWithoutTerminatorOrWithBadBytesStaysInBounds)
{
    Header header;
    header.updateDate.fill('7');
    EXPECT_EQ(header.updateDateText(), std::string(32, '7'));
    header.updateDate.fill(0);
    header.updateDate[0] = 'A';
    header.updateDate[1] = static_cast<char>(0xFF);
    EXPECT_EQ(header.updateDateText(), "A\xEF\xBF\xBD");
}

TEST(FaceFileName, FollowsKeyAndLocalTime)
{
    struct Case
    {
        const char* key;
        std::tm time;
        const char* extension;
        const char* expected;
    };
    const Case cases[] = {
        {"12:34:56:78:9A:BC", stamp(2024, 3, 5, 9, 7, 2), kExtension,
         "12-34-56-78-9A-BC_20240305090702.dat"},
        {"123456789ABC", stamp(2024, 3, 5, 9, 7, 2), kExtension, "123456789ABC_20240305090702.dat"},
        {"aa-bb:cc", stamp(1999, 12, 31, 23, 59, 58), kExtension, "aa-bb-cc_19991231235958.dat"},
        {"12:34:56:78:9A:BC", stamp(2030, 1, 1, 0, 0, 0), ".csv",
         "12-34-56-78-9A-BC_20300101000000.csv"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fileName(c.key, c.time, c.extension), c.expected) << c.key;
}

class FaceFileReader : public ::testing::Test
{
protected:
    TempDir dir;
    Reader reader;
};

// Each case is decided from its size and header alone, and again by opening a real file
// of that size, written sparse so that the large ones cost no disk.
TEST_F(FaceFileReader, DecidesBySizeMagicAndLength)
{
    struct Case
    {
        const char* what;
        std::uint64_t size;
        std::uint32_t magic;
        std::uint32_t librarySize;
        Check expected;
    };
    const Case cases[] = {
        {"empty", 0, kMagic, 0, Check::TooSmall},
        {"header only", 56, kMagic, 0, Check::TooSmall},
        {"one data byte", 57, kMagic, 1, Check::Valid},
        {"length one less", 1000, kMagic, 943, Check::SizeMismatch},
        {"length one more", 1000, kMagic, 945, Check::SizeMismatch},
        {"wrong magic", 1000, 0x00FFFFFE, 944, Check::BadMagic},
        {"byte-swapped magic", 1000, 0xFFFFFF00, 944, Check::BadMagic},
        {"valid", 56 + 300, kMagic, 300, Check::Valid},
        {"largest allowed", 0x5FFFFFFF, kMagic, 0x5FFFFFFF - 56, Check::Valid},
        {"at the limit", 0x60000000, kMagic, 0x60000000 - 56, Check::TooLarge},
        {"far above", 0x100000000 + 100, kMagic, 44, Check::TooLarge},
    };
    for (const Case& c : cases) {
        Header header;
        EXPECT_EQ(checkFile(c.size, headerBytes(c.magic, c.librarySize), header), c.expected)
            << c.what;
        const std::string path = dir.file("case.dat");
        writeSparseFile(path, c.size, c.magic, c.librarySize);
        EXPECT_EQ(reader.open(path), c.expected) << c.what;
        EXPECT_EQ(reader.isOpen(), c.expected == Check::Valid) << c.what;
    }
}

TEST_F(FaceFileReader, FileJustBelowTheLimitReadsToItsEnd)
{
    const std::string path = dir.file("big.dat");
    writeSparseFile(path, kSizeLimit - 1, kMagic,
                    static_cast<std::uint32_t>(kSizeLimit - 1 - kHeaderSize));
    ASSERT_EQ(reader.open(path), Check::Valid);
    EXPECT_EQ(reader.size(), kSizeLimit - 1);
    std::array<std::uint8_t, 16> tail{};
    tail.fill(1);
    EXPECT_TRUE(reader.readChunk(kSizeLimit - 1 - tail.size(), tail));
    EXPECT_EQ(tail, (std::array<std::uint8_t, 16>{}));
}

TEST_F(FaceFileReader, ValidFileGivesItsSummaryFields)
{
    Header header;
    header.personCount = 1234;
    header.whitelistCount = 1000;
    header.blacklistCount = 34;
    header.strangerCount = 200;
    std::memcpy(header.updateDate.data(), "2024-03-05 09:07:02", 19);
    header.librarySize = 5000;
    const auto encoded = encodeHeader(header);
    std::vector<std::uint8_t> bytes(encoded.begin(), encoded.end());
    const auto data = pattern(5000);
    bytes.insert(bytes.end(), data.begin(), data.end());
    writeFile(dir.file("lib.dat"), bytes);

    ASSERT_EQ(reader.open(dir.file("lib.dat")), Check::Valid);
    EXPECT_EQ(reader.header(), header);
    EXPECT_EQ(reader.header().updateDateText(), "2024-03-05 09:07:02");
    EXPECT_EQ(reader.size(), 5056u);
}

TEST_F(FaceFileReader, RefusesWhatIsNotARegularReadableFile)
{
    EXPECT_EQ(reader.open(dir.file("missing.dat")), Check::OpenFailed);
    EXPECT_EQ(reader.open(dir.path()), Check::OpenFailed);
    // A FIFO must be refused without blocking on open.
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    EXPECT_EQ(reader.open(dir.file("fifo")), Check::OpenFailed);
    EXPECT_FALSE(reader.isOpen());
}

TEST_F(FaceFileReader, FailedOpenClosesTheFileOpenedBefore)
{
    writeDataFile(dir.file("good.dat"), 100, kMagic, 44);
    ASSERT_EQ(reader.open(dir.file("good.dat")), Check::Valid);
    EXPECT_EQ(reader.open(dir.file("missing.dat")), Check::OpenFailed);
    EXPECT_FALSE(reader.isOpen());
    std::array<std::uint8_t, 4> out{};
    EXPECT_FALSE(reader.readChunk(56, out));
}

TEST_F(FaceFileReader, ReadsChunksAtAnyOffsetWithinTheCheckedSize)
{
    const std::size_t dataSize = 2 * kImportChunkSize + 123;
    writeDataFile(dir.file("lib.dat"), kHeaderSize + dataSize, kMagic,
                  static_cast<std::uint32_t>(dataSize));
    ASSERT_EQ(reader.open(dir.file("lib.dat")), Check::Valid);
    const auto expected = pattern(dataSize);

    std::vector<std::uint8_t> chunk(kImportChunkSize);
    ASSERT_TRUE(reader.readChunk(kHeaderSize + kImportChunkSize, chunk));
    EXPECT_TRUE(std::equal(chunk.begin(), chunk.end(), expected.begin() + kImportChunkSize));

    std::vector<std::uint8_t> last(123);
    ASSERT_TRUE(reader.readChunk(kHeaderSize + 2 * kImportChunkSize, last));
    EXPECT_TRUE(std::equal(last.begin(), last.end(), expected.end() - 123));

    EXPECT_TRUE(reader.readChunk(reader.size(), {})) << "an empty last chunk is allowed";
    std::vector<std::uint8_t> past(124);
    EXPECT_FALSE(reader.readChunk(kHeaderSize + 2 * kImportChunkSize, past));
    EXPECT_FALSE(reader.readChunk(reader.size() + 1, {}));
    EXPECT_FALSE(reader.readChunk(UINT64_MAX, last));
}

TEST_F(FaceFileReader, FileThatChangesAfterTheCheckCannotBeRead)
{
    const std::string path = dir.file("lib.dat");
    std::array<std::uint8_t, 64> out{};

    struct Change
    {
        const char* what;
        void (*apply)(const std::string&);
    };
    const Change changes[] = {
        {"grown", [](const std::string& p) { std::ofstream(p, std::ios::app) << "x"; }},
        {"shrunk", [](const std::string& p) { ASSERT_EQ(::truncate(p.c_str(), 500), 0); }},
        {"rewritten in place",
         [](const std::string& p) {
             const int fd = ::open(p.c_str(), O_WRONLY);
             ASSERT_GE(fd, 0);
             ASSERT_EQ(::pwrite(fd, "zz", 2, 100), 2);
             // The same size; a distinct modification time, whatever the clock's grain.
             const timespec times[2] = {{0, UTIME_OMIT}, {12345, 678}};
             ASSERT_EQ(::futimens(fd, times), 0);
             ::close(fd);
         }},
    };
    for (const Change& change : changes) {
        writeDataFile(path, 1000, kMagic, 944);
        ASSERT_EQ(reader.open(path), Check::Valid);
        ASSERT_TRUE(reader.stillUnchanged());
        ASSERT_TRUE(reader.readChunk(56, out));
        change.apply(path);
        EXPECT_FALSE(reader.stillUnchanged()) << change.what;
        EXPECT_FALSE(reader.readChunk(56, out)) << change.what;
    }
}

TEST_F(FaceFileReader, FileReplacedUnderItsNameKeepsServingTheCheckedData)
{
    const std::string path = dir.file("lib.dat");
    writeDataFile(path, 1000, kMagic, 944);
    ASSERT_EQ(reader.open(path), Check::Valid);
    writeDataFile(dir.file("other.dat"), 2000, kMagic, 1944);
    std::filesystem::rename(dir.file("other.dat"), path);

    std::vector<std::uint8_t> data(944);
    ASSERT_TRUE(reader.readChunk(56, data));
    EXPECT_EQ(data, pattern(944));
}

TEST_F(FaceFileReader, ParallelReadersSeeTheirOwnChunks)
{
    const std::size_t dataSize = 8 * kImportChunkSize;
    writeDataFile(dir.file("lib.dat"), kHeaderSize + dataSize, kMagic,
                  static_cast<std::uint32_t>(dataSize));
    ASSERT_EQ(reader.open(dir.file("lib.dat")), Check::Valid);
    const auto expected = pattern(dataSize);

    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            std::vector<std::uint8_t> chunk(kImportChunkSize);
            for (int round = 0; round < 20; ++round) {
                const std::size_t index = static_cast<std::size_t>(t + round) % 8;
                const std::size_t at = index * kImportChunkSize;
                if (!reader.readChunk(kHeaderSize + at, chunk) ||
                    !std::equal(chunk.begin(), chunk.end(), expected.begin() + at))
                    ++mismatches;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches.load(), 0);
}

class FaceFileWriter : public ::testing::Test
{
protected:
    std::string finalPath() const { return dir.file("12-34-56-78-9A-BC_20240305090702.dat"); }

    TempDir dir;
    const std::tm time = stamp(2024, 3, 5, 9, 7, 2);
};

TEST_F(FaceFileWriter, NamesAndPathsAreFixedAtConstruction)
{
    Writer writer(dir.path(), "12:34:56:78:9A:BC", time);
    EXPECT_EQ(writer.name(), "12-34-56-78-9A-BC_20240305090702.dat");
    EXPECT_EQ(writer.path(), finalPath());
    EXPECT_EQ(writer.partPath(), finalPath() + ".part");
    EXPECT_FALSE(std::filesystem::exists(writer.partPath())) << "nothing is created before open";
}

TEST_F(FaceFileWriter, SuccessfulExportPassesTheImportCheck)
{
    const auto data = pattern(3 * 1000 + 17);
    {
        Writer writer(dir.path(), "12:34:56:78:9A:BC", time);
        ASSERT_TRUE(writer.open());
        EXPECT_TRUE(std::filesystem::exists(writer.partPath()));
        ASSERT_TRUE(writer.append(std::span(data).first(1000)));
        ASSERT_TRUE(writer.append(std::span(data).subspan(1000, 2000)));
        ASSERT_TRUE(writer.append(std::span(data).subspan(3000)));
        EXPECT_EQ(writer.header().librarySize, data.size());
        ASSERT_TRUE(writer.close());
        EXPECT_FALSE(std::filesystem::exists(finalPath())) << "named only on commit";
        ASSERT_TRUE(writer.commit());
        EXPECT_FALSE(std::filesystem::exists(writer.partPath()));
    }
    std::vector<std::uint8_t> expected =
        headerBytes(kMagic, static_cast<std::uint32_t>(data.size()));
    expected.insert(expected.end(), data.begin(), data.end());
    EXPECT_EQ(readFile(finalPath()), expected);

    Reader reader;
    EXPECT_EQ(reader.open(finalPath()), Check::Valid);
}

TEST_F(FaceFileWriter, FailedOrAbandonedExportLeavesNothingAndKeepsAnEarlierFile)
{
    const std::vector<std::uint8_t> earlier{1, 2, 3};
    writeFile(finalPath(), earlier);
    const auto data = pattern(100);

    struct Ending
    {
        const char* what;
        void (*apply)(Writer&);
    };
    const Ending endings[] = {
        {"discarded while open", [](Writer& w) { w.discard(); }},
        {"discarded after close",
         [](Writer& w) {
             ASSERT_TRUE(w.close());
             w.discard();
         }},
        {"destroyed while open", [](Writer&) {}},
        {"destroyed after close", [](Writer& w) { ASSERT_TRUE(w.close()); }},
    };
    for (const Ending& ending : endings) {
        std::string part;
        {
            Writer writer(dir.path(), "12:34:56:78:9A:BC", time);
            part = writer.partPath();
            ASSERT_TRUE(writer.open());
            ASSERT_TRUE(writer.append(data));
            ending.apply(writer);
        }
        EXPECT_FALSE(std::filesystem::exists(part)) << ending.what;
        EXPECT_EQ(readFile(finalPath()), earlier) << ending.what;
    }
}

TEST_F(FaceFileWriter, CommitReplacesAnEarlierFileOfTheSameName)
{
    writeFile(finalPath(), {9, 9, 9});
    Writer writer(dir.path(), "12:34:56:78:9A:BC", time);
    ASSERT_TRUE(writer.open());
    ASSERT_TRUE(writer.append(pattern(10)));
    ASSERT_TRUE(writer.close());
    ASSERT_TRUE(writer.commit());
    EXPECT_EQ(readFile(finalPath()).size(), kHeaderSize + 10);
}

TEST_F(FaceFileWriter, OutOfOrderCallsAreRefused)
{
    Writer writer(dir.path(), "key", time);
    const auto data = pattern(10);
    EXPECT_FALSE(writer.append(data)) << "not open yet";
    EXPECT_FALSE(writer.close());
    EXPECT_FALSE(writer.commit());
    ASSERT_TRUE(writer.open());
    EXPECT_FALSE(writer.open()) << "opened once only";
    EXPECT_FALSE(writer.commit()) << "not closed yet";
    ASSERT_TRUE(writer.append(data));
    ASSERT_TRUE(writer.close());
    EXPECT_FALSE(writer.append(data)) << "a chunk after the close is dropped";
    ASSERT_TRUE(writer.commit());
    EXPECT_EQ(readFile(writer.path()).size(), kHeaderSize + 10);
    writer.discard();
    EXPECT_TRUE(std::filesystem::exists(writer.path())) << "a committed file stays";
}

TEST_F(FaceFileWriter, DiscardedExportCannotBeCommitted)
{
    Writer writer(dir.path(), "key", time);
    ASSERT_TRUE(writer.open());
    ASSERT_TRUE(writer.append(pattern(10)));
    ASSERT_TRUE(writer.close());
    writer.discard();
    EXPECT_FALSE(writer.commit());
    EXPECT_FALSE(std::filesystem::exists(writer.path()));
    EXPECT_FALSE(std::filesystem::exists(writer.partPath()));
}

TEST_F(FaceFileWriter, FolderThatDoesNotExistFailsAtOpen)
{
    Writer writer(dir.file("missing"), "key", time);
    EXPECT_FALSE(writer.open());
    EXPECT_FALSE(writer.isOpen());
    EXPECT_FALSE(writer.append(pattern(10)));
    EXPECT_FALSE(writer.close());
    EXPECT_FALSE(writer.commit());
}

TEST_F(FaceFileWriter, ChunkThatWouldReachTheSizeLimitIsRefused)
{
    // Address space only: the refusal must come before a single byte is read.
    const std::size_t hugeSize = kSizeLimit - kHeaderSize - 1;
    void* huge =
        ::mmap(nullptr, hugeSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(huge, MAP_FAILED);

    Writer writer(dir.path(), "key", time);
    ASSERT_TRUE(writer.open());
    ASSERT_TRUE(writer.append(pattern(1)));
    EXPECT_FALSE(writer.append({static_cast<const std::uint8_t*>(huge), hugeSize}));
    ::munmap(huge, hugeSize);
    EXPECT_EQ(writer.header().librarySize, 1u);
    EXPECT_FALSE(writer.append(pattern(1))) << "the writer stays failed";
    EXPECT_FALSE(writer.close());
    EXPECT_FALSE(writer.commit());
}

TEST_F(FaceFileWriter, ChunksRacingTheCloseLeaveAConsistentFile)
{
    Writer writer(dir.path(), "12:34:56:78:9A:BC", time);
    ASSERT_TRUE(writer.open());
    const auto chunk = pattern(4096);
    std::thread receiver([&] {
        while (writer.append(chunk)) {
        }
    });
    EXPECT_TRUE(writer.append(chunk));
    EXPECT_TRUE(writer.close());
    receiver.join();
    ASSERT_TRUE(writer.commit());

    Reader reader;
    ASSERT_EQ(reader.open(finalPath()), Check::Valid);
    EXPECT_EQ(reader.size() % chunk.size(), kHeaderSize % chunk.size());
}
