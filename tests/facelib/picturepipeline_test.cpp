#include "facelib/picturepipeline.h"
#include "testcodec.h"
#include "testkit/tempdir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sys/stat.h>
#include <thread>

using namespace galvorn;
using namespace std::chrono_literals;

// Picture preparation and the pipeline that runs it ahead of a batch add's requests,
// with a codec that needs no image library.
namespace {

std::string bytesOf(const PreparedPicture& picture)
{
    return picture.bytes ? std::string(picture.bytes->begin(), picture.bytes->end())
                         : std::string();
}

class PipelineTest : public ::testing::Test
{
protected:
    PersonInfo person(const std::string& name, const std::string& content)
    {
        dir_.write(name, content);
        return personWithPicture(dir_.file(name), name);
    }

    // `count` persons whose pictures all need re-encoding.
    std::vector<PersonInfo> others(std::size_t count)
    {
        std::vector<PersonInfo> persons;
        for (std::size_t i = 0; i < count; ++i)
            persons.push_back(person("p" + std::to_string(i) + ".png",
                                     TestCodec::other(static_cast<std::uint8_t>(i), 1, 300)));
        return persons;
    }

    TempDir dir_;
    TestCodec codec_;
};

} // namespace

TEST_F(PipelineTest, PreparationFollowsSizeContentAndName)
{
    const std::size_t limit = PictureLimits::kMaxDirectBytes;
    struct Case
    {
        const char* name;
        std::string content;
        bool readable;
        bool sentAsIs;
        tint32 format;
    } cases[] = {
        {"small.jpg", TestCodec::jpeg(3, 4, 1000), true, true, 4},
        {"exact.JPEG", TestCodec::jpeg(3, 4, limit), true, true, 4},
        {"onemore.jpg", TestCodec::jpeg(3, 4, limit + 1), true, false, 4},
        {"other.jpg", TestCodec::other(3, 4, 100), true, false, 4},
        {"other.png", TestCodec::other(3, 4, 100), true, false, 0},
        {"noext", TestCodec::jpeg(3, 4, 100), true, true, 0},
        {"broken.jpg", "\xFF\xD8", false, false, 4},
        {"garbage.png", "not a picture", false, false, 0},
    };
    for (const Case& c : cases) {
        const PreparedPicture picture = PreparePicture(person(c.name, c.content), codec_);
        EXPECT_EQ(picture.readable, c.readable) << c.name;
        EXPECT_EQ(picture.format, c.format) << c.name;
        if (!c.readable)
            continue;
        EXPECT_EQ(picture.size.width, 3) << c.name;
        EXPECT_EQ(picture.size.height, 4) << c.name;
        if (c.sentAsIs)
            EXPECT_EQ(bytesOf(picture), c.content) << c.name;
        else
            EXPECT_EQ(bytesOf(picture).substr(0, 2), "\xFF\xD8") << c.name;
    }
}

TEST_F(PipelineTest, MissingFoldersAndFifosAreUnreadableWithoutBlocking)
{
    const PersonInfo missing = personWithPicture(dir_.file("missing.jpg"));
    EXPECT_FALSE(PreparePicture(missing, codec_).readable);
    const PersonInfo folder = personWithPicture(dir_.path());
    EXPECT_FALSE(PreparePicture(folder, codec_).readable);
    ASSERT_EQ(::mkfifo(dir_.file("fifo.jpg").c_str(), 0600), 0);
    const PersonInfo fifo = personWithPicture(dir_.file("fifo.jpg"));
    EXPECT_FALSE(PreparePicture(fifo, codec_).readable);
}

TEST_F(PipelineTest, DeliversEveryPersonInOrderWhateverThePool)
{
    const std::vector<PersonInfo> persons = others(40);
    for (const unsigned threads : {1u, 2u, 4u}) {
        PictureCache cache(0);
        PicturePipeline pipeline(persons, codec_, cache, {.lookAhead = 3, .threads = threads});
        for (std::size_t i = 0; i < persons.size(); ++i) {
            const PreparedPicture picture = pipeline.next();
            ASSERT_TRUE(picture.readable) << i;
            EXPECT_EQ(picture.size.width, static_cast<tint32>(i)) << threads;
        }
        EXPECT_FALSE(pipeline.next().readable) << "no person after the last";
    }
}

TEST_F(PipelineTest, PreparesNoMoreThanTheLookAheadWhileTheDeviceAnswers)
{
    const std::vector<PersonInfo> persons = others(30);
    PictureCache cache(0);
    PicturePipeline pipeline(persons, codec_, cache, {.lookAhead = 4, .threads = 4});
    pipeline.next();
    // The consumer now "waits for the device"; the pool may only fill the look-ahead.
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(codec_.encodes.load(), 1 + 4);
}

TEST_F(PipelineTest, PausesAtTheByteBoundButNeverStalls)
{
    std::vector<PersonInfo> persons;
    for (int i = 0; i < 6; ++i)
        persons.push_back(person("big" + std::to_string(i) + ".jpg",
                                 TestCodec::jpeg(1, 1, PictureLimits::kMaxDirectBytes)));
    PictureCache cache(0);
    // Each picture alone is over the bound: one waits at a time, and the run goes on.
    PicturePipeline pipeline(persons, codec_, cache,
                             {.lookAhead = 16, .aheadBytes = 1000, .threads = 2});
    std::this_thread::sleep_for(100ms);
    EXPECT_LE(codec_.measures.load(), 2);
    for (std::size_t i = 0; i < persons.size(); ++i)
        EXPECT_TRUE(pipeline.next().readable) << i;
}

TEST_F(PipelineTest, LaterDevicesOfTheRunReuseThePicturesWithinTheBound)
{
    const std::vector<PersonInfo> persons = others(10);
    const std::size_t pictureBytes = 4 + 64;
    PictureCache cache(pictureBytes * 6);
    for (int device = 0; device < 3; ++device) {
        PicturePipeline pipeline(persons, codec_, cache, {.threads = 2});
        for (std::size_t i = 0; i < persons.size(); ++i)
            ASSERT_TRUE(pipeline.next().readable);
    }
    // Six pictures fit the bound and were encoded once; the other four every time.
    EXPECT_EQ(codec_.encodes.load(), 6 + 4 * 3);
    EXPECT_EQ(cache.bytes(), pictureBytes * 6);
    cache.clear();
    EXPECT_EQ(cache.bytes(), 0u);
    EXPECT_FALSE(cache.find(0));
}

// Devices served at once run a pipeline each over the run's one cache: a picture that one
// of them is preparing is waited for, not prepared again.
TEST_F(PipelineTest, PipelinesOverOneCachePrepareEachPictureOnce)
{
    const std::vector<PersonInfo> persons = others(24);
    codec_.delay = 5ms;
    PictureCache cache(1 << 20);
    std::vector<std::vector<std::string>> delivered(3);
    std::vector<std::thread> devices;
    for (std::size_t device = 0; device < delivered.size(); ++device)
        devices.emplace_back([&, device] {
            PicturePipeline pipeline(persons, codec_, cache, {.threads = 2});
            for (std::size_t i = 0; i < persons.size(); ++i)
                delivered[device].push_back(bytesOf(pipeline.next()));
        });
    for (std::thread& device : devices)
        device.join();
    EXPECT_EQ(codec_.encodes.load(), 24);
    for (std::size_t device = 0; device < delivered.size(); ++device) {
        ASSERT_EQ(delivered[device].size(), persons.size());
        // The re-encoded picture keeps the width byte, the person's index.
        for (std::size_t i = 0; i < persons.size(); ++i)
            EXPECT_EQ(static_cast<unsigned char>(delivered[device][i].at(4)), i) << device;
    }
}

TEST(PictureLimits, DevicesAtOnceShareTheLookAheadBound)
{
    const PictureLimits limits;
    EXPECT_EQ(limits.sharedBy(1).aheadBytes, limits.aheadBytes);
    EXPECT_EQ(limits.sharedBy(8).aheadBytes, limits.aheadBytes / 8);
    EXPECT_EQ(limits.sharedBy(0).aheadBytes, limits.aheadBytes);
    EXPECT_EQ(limits.sharedBy(8).cacheBytes, limits.cacheBytes) << "the run's cache is one";
}

TEST_F(PipelineTest, EndsPromptlyWhenTheBatchAddStopsEarly)
{
    codec_.delay = 20ms;
    const std::vector<PersonInfo> persons = others(200);
    PictureCache cache(0);
    const auto started = std::chrono::steady_clock::now();
    {
        PicturePipeline pipeline(persons, codec_, cache, {.lookAhead = 8, .threads = 4});
        pipeline.next();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    EXPECT_LE(codec_.encodes.load(), 1 + 8 + 4);
}
