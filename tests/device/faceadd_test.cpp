// Adding persons to a camera of the galvorn-devsim program through a logged-in session:
// what the camera stores, persists and records, and each way it can be told to answer.

#include "common/faceimageadd.h"
#include "common/wirebuffer.h"
#include "device/commandids.h"
#include "testkit/devsimprocess.h"
#include "testkit/tempdir.h"
#include "tests/common/loopback.h"
#include "tests/device/facethread.h"
#include "tests/device/sessionhelper.h"
#include "tools/devsim/faceadd.h"
#include "tools/devsim/facelibrary.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <openssl/evp.h>
#include <optional>

using namespace galvorn::device;
using galvorn::common::FaceImageAddBlock;
using galvorn::devsim::Person;
using galvorn::testing::DevsimProcess;
using galvorn::testing::testCameraMac;
using galvorn::testing::testCameraSection;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr std::uint16_t kDataPort = 9008;
constexpr char kAddress[] = "127.0.1.1";
constexpr int kReplyMs = 5000;
// Long enough for an answer that is coming to arrive.
constexpr int kNoAnswerMs = 300;

// A picture that starts like a JPEG, with bytes of its own for each `seed`.
Bytes jpeg(std::size_t size, unsigned seed)
{
    Bytes bytes = {0xFF, 0xD8, 0xFF, 0xE0};
    for (std::size_t i = bytes.size(); i < size; ++i)
        bytes.push_back(static_cast<std::uint8_t>(i * 7 + seed * 13));
    return bytes;
}

FaceImageAddBlock blockFor(unsigned n, const std::string& name, const Bytes& picture)
{
    FaceImageAddBlock block;
    block.listType = static_cast<tint32>(n % 3);
    block.name = name;
    block.gender = n % 2 == 0 ? galvorn::common::kGenderMale : 0;
    block.age = static_cast<tint32>(20 + n);
    block.cardNumber = "C" + std::to_string(1000 + n);
    block.phone = "555-01" + std::to_string(n);
    block.width = static_cast<tint32>(320 + n);
    block.height = static_cast<tint32>(240 + n);
    block.format = galvorn::common::kPictureFormatJpeg;
    block.pictureLength = static_cast<tuint32>(picture.size());
    block.remark = "remark " + std::to_string(n);
    return block;
}

Bytes request(const FaceImageAddBlock& block, const Bytes& picture)
{
    return galvorn::common::encodeFaceImageAdd(block, picture);
}

std::string sha1Hex(const Bytes& bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha1(), nullptr);
    std::string text;
    char two[3];
    for (unsigned i = 0; i < size; ++i) {
        std::snprintf(two, sizeof two, "%02x", digest[i]);
        text += two;
    }
    return text;
}

std::vector<std::string> namesOf(const std::vector<Person>& persons)
{
    std::vector<std::string> names;
    for (const Person& person : persons)
        names.push_back(person.name);
    return names;
}

enum class Payload
{
    Good,
    LengthOver,
    LengthUnder,
    NotJpeg,
    DeclaredTooLarge,
    BlockCut,
};

Bytes payloadOf(Payload kind, const std::string& name, unsigned seed)
{
    Bytes picture = jpeg(1500, seed);
    if (kind == Payload::NotJpeg)
        picture[0] = 0x89;
    FaceImageAddBlock block = blockFor(seed, name, picture);
    if (kind == Payload::LengthOver)
        ++block.pictureLength;
    if (kind == Payload::LengthUnder)
        --block.pictureLength;
    if (kind == Payload::DeclaredTooLarge)
        block.pictureLength = galvorn::devsim::kMaxPictureBytes + 1;
    Bytes bytes = request(block, picture);
    if (kind == Payload::BlockCut)
        bytes.resize(galvorn::common::kFaceImageAddBlockSize - 1);
    return bytes;
}

class FaceAdd : public ::testing::Test
{
protected:
    void SetUp() override { REQUIRE_PRIVATE_NETNS(); }

    // Starts the simulator with one camera whose library and recording are in the
    // temporary folder, and logs in to it.
    void start(const std::string& extra = {})
    {
        const std::string config =
            testCameraSection(0, "httpPort = 0\ndataPort = " + std::to_string(kDataPort) +
                                     "\nfacelib.folder = " + dir_.path() +
                                     "\ndevice.record = " + recording() + "\n" + extra);
        std::string error;
        ASSERT_TRUE(devsim_.start(config, error)) << error;
        logIn();
    }

    void logIn()
    {
        opened_ = openSession(kDataPort, owner_, "admin", "123456", kAddress);
        ASSERT_EQ(opened_.stage, Stage::Done) << opened_.code;
    }

    std::string set(const std::string& keyAndValue)
    {
        return devsim_.command("set " + testCameraMac(0) + " " + keyAndValue);
    }

    // Sends person `sequence` and waits for its answer: the result, or nothing when none
    // came within `waitMs`.
    std::optional<std::int32_t> add(std::uint32_t sequence, const Bytes& payload,
                                    int waitMs = kReplyMs)
    {
        owner_.clear();
        EXPECT_EQ(opened_.session->SendCommand(CMD_FACE_IMAGE_ADD, payload, sequence), 0);
        Owner::Call reply;
        if (!owner_.waitFor(CALLBACK_FACE_IMAGE_ADD, &reply, waitMs))
            return std::nullopt;
        EXPECT_EQ(reply.parameter, sequence) << "the answer echoes the sequence number";
        galvorn::common::WireReader reader(reply.data);
        const auto result = static_cast<std::int32_t>(reader.u32());
        EXPECT_TRUE(reader.ok() && reader.remaining() == 0) << reply.data.size();
        return result;
    }
    std::optional<std::int32_t> add(std::uint32_t sequence, const std::string& name,
                                    int waitMs = kReplyMs)
    {
        return add(sequence, payloadOf(Payload::Good, name, sequence), waitMs);
    }

    // Asks for the first page of the library; its answer says how many persons it holds.
    void sendQuery()
    {
        galvorn::common::WireWriter page;
        page.u32(0);
        page.u32(10);
        ASSERT_EQ(opened_.session->SendCommand(CMD_FACE_INFO_QUERY, page.data()), 0);
    }

    std::string recording() const { return dir_.file("camera.log"); }
    std::string libraryFile() const { return dir_.file("facelibrary.bin"); }

    std::vector<Person> libraryOnDisk() const
    {
        std::ifstream in(libraryFile(), std::ios::binary);
        const Bytes blob{std::istreambuf_iterator<char>(in), {}};
        auto persons = galvorn::devsim::decodeLibrary(blob);
        EXPECT_TRUE(persons) << "the library file does not parse";
        return persons.value_or(std::vector<Person>{});
    }

    // The library after the simulator has been told to write it.
    std::vector<Person> savedLibrary()
    {
        EXPECT_EQ(devsim_.command("save " + testCameraMac(0)), "ok");
        return libraryOnDisk();
    }

    std::vector<Recorded> recordedAdds() const
    {
        std::vector<Recorded> adds;
        for (const Recorded& line : readRecording(recording()))
            if (line.at("name") == "CMD_FACE_IMAGE_ADD")
                adds.push_back(line);
        return adds;
    }

    TempDir dir_;
    DevsimProcess devsim_;
    Owner owner_;
    Opened opened_;
};

TEST_F(FaceAdd, StoresRecordsAndPersistsEveryField)
{
    start();
    const std::string euro = "\xE2\x82\xAC";
    std::string fullName = "ab";
    for (int i = 0; i < 42; ++i)
        fullName += euro;
    ASSERT_EQ(fullName.size(), 128u);
    const std::vector<Bytes> pictures = {jpeg(5000, 1), jpeg(70000, 2)};
    std::vector<FaceImageAddBlock> blocks = {blockFor(1, fullName, pictures[0]),
                                             blockFor(2, "Grace Hopper", pictures[1])};
    blocks[0].remark = "front\tdoor\\2";
    for (unsigned i = 0; i < blocks.size(); ++i)
        EXPECT_EQ(add(i + 1, request(blocks[i], pictures[i])), 0);
    EXPECT_FALSE(std::filesystem::exists(libraryFile())) << "no write for each add";

    // The info query serves the added persons, as the export does.
    owner_.clear();
    sendQuery();
    Owner::Call query;
    ASSERT_TRUE(owner_.waitFor(CALLBACK_FACE_INFO_QUERY, &query));
    EXPECT_EQ(galvorn::common::WireReader(query.data).u32(), 2u);

    std::vector<Person> expected(2);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        expected[i].listType = blocks[i].listType;
        expected[i].name = blocks[i].name;
        expected[i].gender = static_cast<std::uint32_t>(blocks[i].gender);
        expected[i].age = blocks[i].age;
        expected[i].cardNumber = blocks[i].cardNumber;
        expected[i].phone = blocks[i].phone;
        expected[i].remark = blocks[i].remark;
        expected[i].picture = pictures[i];
    }
    // A name that fills its field loses its last character, which the 127th byte splits.
    expected[0].name = fullName.substr(0, 125);
    EXPECT_EQ(savedLibrary(), expected);

    const std::vector<Recorded> lines = recordedAdds();
    ASSERT_EQ(lines.size(), 2u);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const FaceImageAddBlock& block = blocks[i];
        const Recorded want = {
            {"param", std::to_string(i + 1)},
            {"listType", std::to_string(block.listType)},
            {"personName", block.name},
            {"gender", std::to_string(block.gender)},
            {"age", std::to_string(block.age)},
            {"cardNumber", block.cardNumber},
            {"phone", block.phone},
            {"width", std::to_string(block.width)},
            {"height", std::to_string(block.height)},
            {"format", "4"},
            {"pictureLength", std::to_string(pictures[i].size())},
            {"remark", i == 0 ? "front\\x09door\\\\2" : block.remark},
            {"pictureBytes", std::to_string(pictures[i].size())},
            {"sha1", sha1Hex(pictures[i])},
        };
        for (const auto& [key, value] : want)
            EXPECT_EQ(lines[i].at(key), value) << i << " " << key;
    }
}

TEST_F(FaceAdd, RefusesByRuleAndBadPictures)
{
    struct Row
    {
        std::vector<std::string> settings;
        std::uint32_t sequence;
        std::string name;
        Payload payload;
        std::int32_t expected;
    };
    const std::vector<Row> rows = {
        {{}, 1, "Plain", Payload::Good, 0},
        {{"facelib.refuseAdd -5"}, 2, "Anyone", Payload::Good, -5},
        {{"facelib.refuseAddName Mr: X:-4"}, 3, "Mr: X Junior", Payload::Good, -4},
        {{"facelib.refuseAddName Mr: X:-4"}, 4, "Mr: Y", Payload::Good, 0},
        {{"facelib.refuseAdd -5", "facelib.refuseAddAt 5:-3, 6:-7"}, 5, "Five", Payload::Good, -3},
        {{"facelib.refuseAddAt 5:-3,6:-7"}, 6, "Six", Payload::Good, -7},
        {{"facelib.refuseAddAt 7:-6"}, 7, "Seven", Payload::Good, -6},
        {{"facelib.refuseAddAt 7:-6"}, 8, "Eight", Payload::Good, 0},
        {{}, 9, "Over", Payload::LengthOver, galvorn::devsim::kAddPictureData},
        {{}, 10, "Under", Payload::LengthUnder, galvorn::devsim::kAddPictureData},
        {{"facelib.refuseAdd -5"}, 11, "Png", Payload::NotJpeg, galvorn::devsim::kAddPictureFormat},
        {{}, 12, "Huge", Payload::DeclaredTooLarge, galvorn::devsim::kAddPictureTooLarge},
        {{}, 13, "Cut", Payload::BlockCut, galvorn::devsim::kAddParameterError},
    };
    start();
    std::vector<std::string> accepted;
    for (const Row& row : rows) {
        for (const char* reset :
             {"facelib.refuseAdd 0", "facelib.refuseAddAt none", "facelib.refuseAddName none"})
            ASSERT_EQ(set(reset), "ok");
        for (const std::string& setting : row.settings)
            ASSERT_EQ(set(setting), "ok") << setting;
        EXPECT_EQ(add(row.sequence, payloadOf(row.payload, row.name, row.sequence)), row.expected)
            << row.name;
        if (row.expected == 0)
            accepted.push_back(row.name);
    }
    EXPECT_EQ(namesOf(savedLibrary()), accepted);

    for (const char* bad :
         {"facelib.refuseAddAt 0:-5", "facelib.refuseAddAt 3:0", "facelib.refuseAddAt 3",
          "facelib.refuseAddAt x:-1", "facelib.refuseAddName :-5", "facelib.refuseAddName Bob",
          "facelib.refuseAddName Bob:0", "facelib.addDelayMs 60001", "facelib.addSilentAt -1"}) {
        const std::string key = std::string(bad).substr(0, std::string(bad).find(' '));
        EXPECT_EQ(set(bad), "error bad value for " + key);
    }
}

TEST_F(FaceAdd, UnansweredPersonIsNotStoredAndTheNextIsAnswered)
{
    start("facelib.addSilentAt = 2\n");
    EXPECT_EQ(add(1, "P1"), 0);
    EXPECT_EQ(add(2, "P2", kNoAnswerMs), std::nullopt);
    EXPECT_EQ(add(3, "P3"), 0);
    EXPECT_EQ(recordedAdds().size(), 3u);
    // Without a save line the library reaches its file when the simulator ends.
    EXPECT_FALSE(std::filesystem::exists(libraryFile()));
    EXPECT_EQ(devsim_.quit(), 0);
    EXPECT_EQ(namesOf(libraryOnDisk()), (std::vector<std::string>{"P1", "P3"}));
}

TEST_F(FaceAdd, ConnectionClosesAtPersonN)
{
    start("facelib.addCloseAt = 2\n");
    EXPECT_EQ(add(1, "P1"), 0);
    EXPECT_EQ(add(2, "P2", kNoAnswerMs), std::nullopt);
    EXPECT_TRUE(owner_.waitFor(CALLBACK_LINK_LOST));
    EXPECT_EQ(opened_.session->ConnectionState(), kDeviceOffline);

    opened_.session.reset();
    logIn();
    EXPECT_EQ(add(3, "P3"), 0);
    EXPECT_EQ(namesOf(savedLibrary()), (std::vector<std::string>{"P1", "P3"}));
}

TEST_F(FaceAdd, DelayedAnswerKeepsItsPlaceBeforeLaterReplies)
{
    start("facelib.addDelayMs = 300\n");
    owner_.clear();
    const auto sent = std::chrono::steady_clock::now();
    ASSERT_EQ(
        opened_.session->SendCommand(CMD_FACE_IMAGE_ADD, payloadOf(Payload::Good, "P1", 1), 1), 0);
    // The query is answered without a delay of its own, yet only after the add.
    sendQuery();
    ASSERT_TRUE(owner_.waitFor(CALLBACK_FACE_INFO_QUERY));
    EXPECT_GE(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(300));
    EXPECT_EQ(owner_.count(CALLBACK_FACE_IMAGE_ADD), 1);
}

} // namespace

// An export start takes the camera's blob as it stands; the blob is made again only
// after the library changed, and an export under way keeps the one it started with.
TEST(FaceLibraryBlob, IsEncodedOncePerChangeOfTheLibrary)
{
    using galvorn::devsim::decodeLibrary;
    using galvorn::devsim::encodeLibrary;
    using galvorn::devsim::seedPerson;
    galvorn::devsim::FaceLibrary library;
    library.replace({seedPerson(0), seedPerson(1)});
    const auto first = library.encoded();
    EXPECT_EQ(*first, encodeLibrary(library.persons()));
    EXPECT_EQ(library.encoded(), first) << "the same blob, not a second encoding";

    library.add(seedPerson(2));
    const auto second = library.encoded();
    EXPECT_NE(second, first);
    EXPECT_EQ(*second, encodeLibrary(library.persons()));
    EXPECT_EQ(decodeLibrary(*first)->size(), 2u);

    library.replace({});
    EXPECT_EQ(*library.encoded(), encodeLibrary({}));

    // An import's blob that parsed is kept as the encoding of what it brought.
    const auto imported = std::make_shared<const Bytes>(encodeLibrary({seedPerson(7)}));
    library.replace(*decodeLibrary(*imported), imported);
    EXPECT_EQ(library.encoded(), imported);
}
