#include "cameras.h"
#include "device/facethread.h"
#include "facelib/batchadd.h"
#include "facelib/jobbuilder.h"
#include "facelib/persontable.h"
#include "facelib/runner.h"
#include "facelib/runstate.h"
#include "facelib/statuspayload.h"
#include "languagefixture.h"
#include "platform/picturecodec_qt.h"
#include "recordingsink.h"
#include "testkit/tempdir.h"
#include "testpictures.h"
#include "tests/common/loopback.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QCryptographicHash>
#include <QImage>

#include <arpa/inet.h>
#include <chrono>
#include <filesystem>
#include <map>

using namespace galvorn;
using namespace std::chrono_literals;

// A batch add of real pictures, prepared by the program's Qt codec, into a simulated
// camera that records every request.
namespace {

std::string sha1(const std::string& bytes)
{
    return QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha1)
        .toHex()
        .toStdString();
}

// The fields of each recorded add request, by sequence number.
std::map<int, Recorded> recordedAdds(const std::string& path)
{
    std::map<int, Recorded> adds;
    for (Recorded& line : readRecording(path))
        if (line["name"] == "CMD_FACE_IMAGE_ADD")
            adds[std::stoi(line["param"])] = std::move(line);
    return adds;
}

std::map<std::string, std::string> folderHashes(const TempDir& dir, const std::string& folder)
{
    std::map<std::string, std::string> hashes;
    for (const auto& entry : std::filesystem::directory_iterator(dir.file(folder))) {
        const std::string name = entry.path().filename().string();
        hashes[name] = sha1(dir.read(folder + "/" + name));
    }
    return hashes;
}

class BatchAddPicturesTest : public WithLanguage
{
protected:
    void SetUp() override
    {
        REQUIRE_PRIVATE_NETNS();
        WithLanguage::SetUp();
    }

    TempDir dir_;
    platform::QtPictureCodec codec_;
    RecordingSink sink_;
    RunState state_{&sink_};
};

} // namespace

TEST_F(BatchAddPicturesTest, PicturesAtTheEdgesArriveAsTheDeviceNeedsThem)
{
    std::string exact = encodedPicture(noisePicture(240, 180), "JPG", 95);
    ASSERT_LT(exact.size(), PictureLimits::kMaxDirectBytes);
    exact.resize(PictureLimits::kMaxDirectBytes, '\0');
    const std::string oneMore = exact + '\0';
    const std::string png = encodedPicture(noisePicture(64, 32), "PNG", 95);
    dir_.write("pictures/exact.jpg", exact);
    dir_.write("pictures/onemore.jpg", oneMore);
    dir_.write("pictures/png-named.jpg", png);
    dir_.write("pictures/corrupt.jpg", std::string(3000, 'x'));
    dir_.write("pictures/exact.jpg.trans.jpg", "the operator's own file");
    dir_.write("pictures/table.csv", "(01)Name,(12)Image\n"
                                     "Exact,exact.jpg\nOne more,onemore.jpg\n"
                                     "Png,png-named.jpg\nCorrupt,corrupt.jpg\n");
    const auto before = folderHashes(dir_, "pictures");

    const std::string recording = dir_.file("camera.log");
    {
        devsim::DeviceFaceSettings device;
        device.recordPath = recording;
        devsim::FaceLibrarySettings library;
        library.folder = dir_.file("camera");
        Cameras cameras({device}, {library});
        const PersonListLoad load = LoadPersonList(dir_.file("pictures"));
        ASSERT_EQ(load.result, PersonListLoad::Result::Ok);
        BatchAddSource source;
        source.persons = load.persons;
        source.codec = &codec_;
        source.logFolders = {dir_.file("log"), {}};
        state_.setBatchAddSource(std::move(source));
        state_.setOperation(OperationType::BatchAdd);
        DeviceRow row{"127.0.0.1", "", "00:1A:2B:4E:00:01", "V3.3.1", cameras.port(0), 80};
        state_.setJobs({BuildDeviceJob(row, {"admin", "123456", dir_.file("pictures"), ""}, 0,
                                       htonl(INADDR_LOOPBACK))});
        ASSERT_EQ(StartWorkers(state_), StartResult::kStarted);
        ASSERT_TRUE(state_.waitForWorkersFor(60s));
    }

    const auto adds = recordedAdds(recording);
    ASSERT_EQ(adds.size(), 3u) << "the corrupt picture gets no request";
    EXPECT_EQ(adds.at(1).at("sha1"), sha1(exact)) << "sent unchanged";
    EXPECT_EQ(adds.at(1).at("pictureLength"), std::to_string(exact.size()));
    EXPECT_EQ(adds.at(1).at("width"), "240");
    EXPECT_NE(adds.at(2).at("sha1"), sha1(oneMore)) << "one byte more is re-encoded";
    EXPECT_EQ(adds.at(2).at("height"), "180");
    EXPECT_NE(adds.at(3).at("sha1"), sha1(png));
    for (const int sequence : {1, 2, 3})
        EXPECT_EQ(adds.at(sequence).at("format"), "4") << sequence;
    EXPECT_EQ(adds.at(3).at("width"), "64");

    const auto records = sink_.records();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back().status, static_cast<tuint32>(DeviceStatus::ImportFail));
    const auto summary = decodeBatchSummary(records.back().data);
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->summary,
              languageText("IDCS_SUCCESS") + ":3 " + languageText("IDCS_FAIL_NUM") + ":1");
    EXPECT_EQ(dir_.read(summary->logPath.substr(dir_.path().size() + 1)),
              "corrupt.jpg\t\t" + languageText("IDCS_PICTURE_UNREADABLE"));
    EXPECT_EQ(folderHashes(dir_, "pictures"), before) << "the chosen folder is only read";
}
