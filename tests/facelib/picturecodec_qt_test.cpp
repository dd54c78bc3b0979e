#include "facelib/picturepipeline.h"
#include "platform/picturecodec_qt.h"
#include "testcodec.h"
#include "testkit/tempdir.h"
#include "testpictures.h"
#include "tools/devsim/facelibrary.h"
#include "tools/devsim/seedpicture.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QImageReader>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace galvorn;

// Picture preparation with the program's real decoder and JPEG encoder.
namespace {

// A JPEG of exactly `size` bytes: a smaller one with bytes after its end marker, which
// decoders ignore.
std::string jpegOfSize(std::size_t size)
{
    std::string jpeg = encodedPicture(noisePicture(200, 150), "JPG", 90);
    EXPECT_LT(jpeg.size(), size);
    jpeg.resize(size, '\0');
    return jpeg;
}

QByteArray formatOf(const std::string& bytes)
{
    QByteArray data = QByteArray::fromStdString(bytes);
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    return QImageReader::imageFormat(&buffer);
}

QImage decoded(const std::string& bytes)
{
    return QImage::fromData(QByteArray::fromStdString(bytes));
}

std::map<std::string, std::string> folderContents(const TempDir& dir)
{
    std::map<std::string, std::string> contents;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        contents[entry.path().filename().string()] = dir.read(entry.path().filename().string());
    return contents;
}

class QtPictureTest : public ::testing::Test
{
protected:
    PreparedPicture prepare(const std::string& name, const std::string& content)
    {
        dir_.write(name, content);
        return PreparePicture(personWithPicture(dir_.file(name)), codec_);
    }

    static std::string bytesOf(const PreparedPicture& picture)
    {
        return std::string(picture.bytes->begin(), picture.bytes->end());
    }

    TempDir dir_;
    platform::QtPictureCodec codec_;
};

} // namespace

TEST_F(QtPictureTest, JpegUpToTheLimitIsSentAsItIs)
{
    const std::string jpeg = jpegOfSize(PictureLimits::kMaxDirectBytes);
    const PreparedPicture picture = prepare("exact.jpg", jpeg);
    ASSERT_TRUE(picture.readable);
    EXPECT_EQ(bytesOf(picture), jpeg);
    EXPECT_EQ(picture.size.width, 200);
    EXPECT_EQ(picture.size.height, 150);
    EXPECT_EQ(picture.format, 4);
}

TEST_F(QtPictureTest, LargerJpegAndOtherFormatsAreReencodedAsJpeg)
{
    const QImage big = noisePicture(1000, 1000);
    struct Case
    {
        const char* name;
        std::string content;
        int width;
        tint32 format;
    } cases[] = {
        {"onemore.jpg", jpegOfSize(PictureLimits::kMaxDirectBytes + 1), 200, 4},
        {"photo.png", encodedPicture(big, "PNG"), 1000, 0},
        {"named-wrong.JPG", encodedPicture(noisePicture(64, 48), "PNG"), 64, 4},
        {"photo.bmp", encodedPicture(noisePicture(32, 16), "BMP"), 32, 0},
    };
    for (const Case& c : cases) {
        const PreparedPicture picture = prepare(c.name, c.content);
        ASSERT_TRUE(picture.readable) << c.name;
        const std::string bytes = bytesOf(picture);
        EXPECT_NE(bytes, c.content) << c.name;
        EXPECT_EQ(formatOf(bytes), "jpeg") << c.name;
        const QImage image = decoded(bytes);
        EXPECT_EQ(image.width(), c.width) << c.name;
        EXPECT_EQ(picture.size.width, c.width) << c.name;
        EXPECT_EQ(picture.size.height, image.height()) << c.name;
        EXPECT_EQ(picture.format, c.format) << c.name;
    }
}

TEST_F(QtPictureTest, CorruptPicturesAreUnreadable)
{
    std::string jpegHeadOnly = encodedPicture(noisePicture(40, 40), "JPG").substr(0, 20);
    const std::pair<const char*, std::string> cases[] = {
        {"garbage.jpg", std::string(5000, '\x5A')},
        {"marker-only.jpg", std::string("\xFF\xD8\xFF\xD9", 4)},
        {"head-only.jpg", jpegHeadOnly},
        {"empty.png", ""},
    };
    for (const auto& [name, content] : cases)
        EXPECT_FALSE(prepare(name, content).readable) << name;
}

TEST_F(QtPictureTest, TheChosenFolderIsNeverWritten)
{
    dir_.write("a.png", encodedPicture(noisePicture(300, 300), "PNG"));
    dir_.write("a.png.trans.jpg", "the operator's own file");
    dir_.write("b.jpg", jpegOfSize(PictureLimits::kMaxDirectBytes + 10));
    const auto before = folderContents(dir_);
    for (const char* name : {"a.png", "b.jpg"})
        EXPECT_TRUE(PreparePicture(personWithPicture(dir_.file(name)), codec_).readable);
    EXPECT_EQ(folderContents(dir_), before);
}

// The simulator's seeded persons are what a demo export writes; their pictures must come
// back through a batch add as the pictures they are.
TEST_F(QtPictureTest, TheSimulatorsSeededPicturesAreSentAsTheyAre)
{
    std::set<std::string> distinct;
    for (const std::size_t i : {0u, 1u, 2u, 23u, 3788u, 99999u}) {
        const std::vector<std::uint8_t>& bytes = devsim::seedPerson(i).picture;
        const std::string content(bytes.begin(), bytes.end());
        const std::string name = "seed" + std::to_string(i) + ".jpg";
        const PreparedPicture picture = prepare(name, content);
        ASSERT_TRUE(picture.readable) << name;
        EXPECT_EQ(bytesOf(picture), content) << name;
        EXPECT_EQ(picture.size.width, 32) << name;
        EXPECT_EQ(picture.size.height, 32) << name;
        EXPECT_GE(content.size(), devsim::kMinSeedPictureBytes) << name;
        EXPECT_LE(content.size(), devsim::kMaxSeedPictureBytes) << name;
        distinct.insert(content);
    }
    EXPECT_EQ(distinct.size(), 6u) << "each person has a picture of its own";
}
