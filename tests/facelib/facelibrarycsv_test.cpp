#include "common/facelibrarycsv.h"
#include "common/wirebuffer.h"
#include "device/commandids.h"
#include "support/csvreader.h"
#include "support/textcodec.h"
#include "testkit/tempdir.h"
#include "tools/devsim/facetransfers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

using namespace galvorn;
using common::csvCell;
using common::FaceLibraryCsv;
using common::pictureFileName;
using devsim::Person;

namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> fileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string fileText(const fs::path& path)
{
    const auto bytes = fileBytes(path);
    return {bytes.begin(), bytes.end()};
}

class CsvExportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root_ = temp_.path();
        folder_ = root_ / "export";
        fs::create_directories(folder_);
    }

    // A camera whose library holds `persons`, answering query pages of `pageSize`.
    devsim::FaceTransferService camera(const std::vector<Person>& persons)
    {
        const fs::path libraryFolder = root_ / "camera";
        fs::create_directories(libraryFolder);
        const auto blob = devsim::encodeLibrary(persons);
        std::ofstream(libraryFolder / "facelibrary.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(blob.data()),
                   static_cast<std::streamsize>(blob.size()));
        devsim::FaceLibrarySettings settings;
        settings.folder = libraryFolder.string();
        devsim::FaceTransferService service(settings);
        std::string error;
        EXPECT_TRUE(service.open(error)) << error;
        return service;
    }

    // Every page of the camera's library through the writer, as the export asks for them.
    void exportAll(devsim::FaceTransferService& service, FaceLibraryCsv& writer,
                   std::size_t expectedPages)
    {
        std::uint32_t received = 0;
        std::size_t pages = 0;
        for (std::uint32_t page = 0;; ++page) {
            common::WireWriter query;
            query.u32(page);
            query.u32(10);
            query.zeros(276);
            const auto answer = service.answer(1, device::CMD_FACE_INFO_QUERY, 0, query.data());
            EXPECT_EQ(answer.replies.size(), 1u);
            const FaceLibraryCsv::Page result = writer.writePage(answer.replies.at(0).payload);
            EXPECT_EQ(result.recordsWritten, result.recordsInPage);
            received += result.recordsInPage;
            ++pages;
            if (received >= result.totalRecords)
                break;
        }
        EXPECT_EQ(pages, expectedPages);
    }

    std::vector<CsvRow> tableRows(const fs::path& table)
    {
        CsvReader reader;
        EXPECT_EQ(reader.openFile(table.string()), CsvStatus::Ok);
        std::vector<CsvRow> rows;
        for (CsvRow row; reader.readRow(row);)
            rows.push_back(row);
        return rows;
    }

    const TempDir temp_;
    fs::path root_;
    fs::path folder_;
};

} // namespace

TEST(CsvCell, QuotesOnlyTheCellsThatNeedIt)
{
    const struct
    {
        std::string in;
        std::string out;
    } cases[] = {
        {"", ""},
        {"Alice", "Alice"},
        {"with space", "with space"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"line\r\nbreak", "\"line\r\nbreak\""},
        {"lf\nonly", "\"lf\nonly\""},
        {"../x", "../x"},
        {" leading", "\" leading\""},
        {"trailing\t", "\"trailing\t\""},
    };
    for (const auto& each : cases)
        EXPECT_EQ(csvCell(each.in), each.out) << each.in;
}

TEST(PictureFileName, DeviceTextsNeverLeaveTheFolder)
{
    std::string accents;
    for (int i = 0; i < 150; ++i)
        accents += "\xC3\xA9"; // 300 bytes of two-byte characters
    const struct
    {
        std::string name;
        std::string card;
        std::string expected; // empty: checked by the rules only
    } cases[] = {
        {"Alice", "C1", "Alice_C1.jpg"},
        {"../x", "1", "_._x_1.jpg"},
        {"a/b", "c\\d", "a_b_c_d.jpg"},
        {"..", "", "_._.jpg"},
        {".hidden", "7", "_hidden_7.jpg"},
        {std::string("nul\0in", 6), "\x01\x1f\x7f", "nul_in____.jpg"},
        {"tab\there", "\r\n", "tab_here___.jpg"},
        {std::string(300, 'n'), "C9", ""},
        {accents, "", ""},
    };
    const fs::path folder = "/export/folder";
    for (const auto& each : cases) {
        const std::string name = pictureFileName(each.name, each.card);
        if (!each.expected.empty()) {
            EXPECT_EQ(name, each.expected);
        }
        EXPECT_LE(name.size(), common::kMaxPictureNameBytes) << name;
        EXPECT_TRUE(name.ends_with(".jpg")) << name;
        EXPECT_NE(name.front(), '.') << name;
        EXPECT_EQ(name.find_first_of(std::string("/\\\0", 3)), std::string::npos) << name;
        for (const char c : name)
            EXPECT_GE(static_cast<unsigned char>(c), 0x20) << name;
        EXPECT_EQ((folder / name).lexically_normal().parent_path(), folder) << name;
    }
    // A cut never splits a character.
    const std::string cut = pictureFileName(accents, "");
    EXPECT_EQ((cut.size() - 4) % 2, 0u) << cut.size();
}

TEST(PictureFileName, CopiesOfANameStayWithinTheBound)
{
    EXPECT_EQ(pictureFileName("Ann", "C1", 1), "Ann_C1.jpg");
    EXPECT_EQ(pictureFileName("Ann", "C1", 2), "Ann_C1_2.jpg");
    EXPECT_EQ(pictureFileName("Ann", "C1", 100000), "Ann_C1_100000.jpg");
    const std::string longest = pictureFileName(std::string(300, 'n'), "C9", 100000);
    EXPECT_EQ(longest.size(), common::kMaxPictureNameBytes);
    EXPECT_TRUE(longest.ends_with("n_100000.jpg")) << longest;
}

TEST_F(CsvExportTest, TwentyFivePersonsInThreePagesReadBackAsTheLibrary)
{
    std::vector<Person> persons;
    for (std::size_t i = 0; i < 25; ++i)
        persons.push_back(devsim::seedPerson(i));
    persons[3].name = "Doe, John";
    persons[4].name = "../escape";
    persons[5].remark = "said \"hi\",\r\nthen left";
    persons[6].name = "a/b";
    persons[7].name = std::string(127, 'L');
    persons[8].gender = 7;
    auto service = camera(persons);
    FaceLibraryCsv writer(folder_.string(), (folder_ / "table.csv").string());
    exportAll(service, writer, 3);

    const std::vector<CsvRow> rows = tableRows(folder_ / "table.csv");
    ASSERT_EQ(rows.size(), 26u);
    EXPECT_EQ(rows[0].cells, (std::vector<std::string>{
                                 "(01)Name", "(02)Gender", "(03)Age", "(06)List type",
                                 "(07)Card number", "(08)Phone", "(09)Remark", "(12)Image name"}));
    for (std::size_t i = 0; i < persons.size(); ++i) {
        const Person& person = persons[i];
        const std::vector<std::string>& cells = rows[i + 1].cells;
        ASSERT_EQ(cells.size(), 8u) << "row " << i;
        EXPECT_EQ(cells[0], person.name);
        EXPECT_EQ(cells[1], person.gender == 1 ? "0" : "1");
        EXPECT_EQ(cells[2], std::to_string(person.age));
        EXPECT_EQ(cells[3], std::to_string(person.listType));
        EXPECT_EQ(cells[4], person.cardNumber);
        EXPECT_EQ(cells[5], person.phone);
        EXPECT_EQ(cells[6], person.remark);
        EXPECT_EQ(cells[7], pictureFileName(person.name, person.cardNumber));
        EXPECT_EQ(fileBytes(folder_ / cells[7]), person.picture) << cells[7];
    }
    // Everything stayed inside the export folder: the table and 25 pictures, nothing
    // beside the folder.
    std::size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
        if (entry.is_regular_file() && entry.path().parent_path() == folder_)
            ++files;
    }
    EXPECT_EQ(files, 26u);
    EXPECT_FALSE(fs::exists(root_ / "escape_C100004.jpg"));
    EXPECT_EQ(std::distance(fs::directory_iterator(root_), fs::directory_iterator()), 2);
}

// Persons who would share a picture name: on one camera, on two cameras exporting into
// one folder, or with a picture left there earlier. No picture is overwritten, and each
// row names its own.
TEST_F(CsvExportTest, PicturesOfTheSameNameAreKeptApart)
{
    Person first = devsim::seedPerson(1);
    Person second = first;
    second.picture = {0xFF, 0xD8, 's', 'e', 'c', 0xFF, 0xD9};
    const std::string name = pictureFileName(first.name, first.cardNumber);
    const std::string copy2 = pictureFileName(first.name, first.cardNumber, 2);
    const std::string copy3 = pictureFileName(first.name, first.cardNumber, 3);

    auto oneCamera = camera({first, second});
    FaceLibraryCsv writer(folder_.string(), (folder_ / "one.csv").string());
    exportAll(oneCamera, writer, 1);
    std::vector<CsvRow> rows = tableRows(folder_ / "one.csv");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].cells[7], name);
    EXPECT_EQ(rows[2].cells[7], copy2);
    EXPECT_EQ(fileBytes(folder_ / name), first.picture);
    EXPECT_EQ(fileBytes(folder_ / copy2), second.picture);

    // Another camera's export into the same folder, after the first one's pictures.
    auto otherCamera = camera({second});
    FaceLibraryCsv other(folder_.string(), (folder_ / "other.csv").string());
    exportAll(otherCamera, other, 1);
    rows = tableRows(folder_ / "other.csv");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].cells[7], copy3);
    EXPECT_EQ(fileBytes(folder_ / name), first.picture) << "the first picture is kept";
    EXPECT_EQ(fileBytes(folder_ / copy3), second.picture);
}

TEST_F(CsvExportTest, DeviceTextsThatAreNotUtf8BecomeValidInCellsAndFileNames)
{
    Person person = devsim::seedPerson(2);
    person.name = "Caf\xE9 \xFF";
    person.cardNumber = "C\x80";
    person.remark = "r\xC3";
    auto service = camera({person});
    FaceLibraryCsv writer(folder_.string(), (folder_ / "t.csv").string());
    exportAll(service, writer, 1);

    const std::string table = fileText(folder_ / "t.csv");
    EXPECT_TRUE(textcodec::isValidUtf8(table));
    CsvReader reader;
    ASSERT_EQ(reader.openBytes(table), CsvStatus::Ok);
    EXPECT_EQ(reader.encoding(), textcodec::Encoding::Utf8);
    const std::vector<CsvRow> rows = tableRows(folder_ / "t.csv");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].cells[0], "Caf\xEF\xBF\xBD \xEF\xBF\xBD");
    EXPECT_EQ(rows[1].cells[4], "C\xEF\xBF\xBD");
    EXPECT_EQ(rows[1].cells[6], "r\xEF\xBF\xBD");
    // The image-name cell names the picture file, in the same characters.
    EXPECT_EQ(rows[1].cells[7], pictureFileName(rows[1].cells[0], rows[1].cells[4]));
    EXPECT_EQ(fileBytes(folder_ / rows[1].cells[7]), person.picture);
}

TEST_F(CsvExportTest, OrdinaryRowsAreWrittenWithoutQuotes)
{
    Person person = devsim::seedPerson(1);
    person.picture = {0xFF, 0xD8, 0xFF, 0xD9};
    auto service = camera({person});
    FaceLibraryCsv writer(folder_.string(), (folder_ / "t.csv").string());
    exportAll(service, writer, 1);
    EXPECT_EQ(fileText(folder_ / "t.csv"),
              std::string(common::kCsvHeaderLine) +
                  "Person 1,1,21,1,C100001,555-1001,seed 1,Person 1_C100001.jpg\r\n");
}

TEST_F(CsvExportTest, ASecondExportAppendsWithoutASecondHeader)
{
    auto service = camera({devsim::seedPerson(0), devsim::seedPerson(1)});
    FaceLibraryCsv first(folder_.string(), (folder_ / "t.csv").string());
    exportAll(service, first, 1);
    FaceLibraryCsv second(folder_.string(), (folder_ / "t.csv").string());
    exportAll(service, second, 1);
    EXPECT_EQ(tableRows(folder_ / "t.csv").size(), 5u);
}

TEST_F(CsvExportTest, EmptyLibraryWritesTheHeaderOnly)
{
    auto service = camera({});
    FaceLibraryCsv writer(folder_.string(), (folder_ / "t.csv").string());
    exportAll(service, writer, 1);
    EXPECT_EQ(fileText(folder_ / "t.csv"), common::kCsvHeaderLine);
}

TEST_F(CsvExportTest, APageThatRunsPastItsPayloadStopsAtItsEnd)
{
    auto service = camera({devsim::seedPerson(0), devsim::seedPerson(1), devsim::seedPerson(2)});
    common::WireWriter query;
    query.u32(0);
    query.u32(10);
    query.zeros(276);
    std::vector<std::uint8_t> page =
        service.answer(1, device::CMD_FACE_INFO_QUERY, 0, query.data()).replies.at(0).payload;
    const std::size_t firstEntry = common::kPersonRecordSize + devsim::seedPerson(0).picture.size();
    const struct
    {
        std::size_t keep;
        std::uint32_t written;
    } cases[] = {
        {0, 0},
        {4, 0},
        {7, 0},
        {8, 0},
        {8 + common::kPersonRecordSize - 1, 0},
        {8 + firstEntry - 1, 0},
        {8 + firstEntry, 1},
        {8 + firstEntry + 100, 1},
    };
    for (const auto& each : cases) {
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        FaceLibraryCsv writer(folder_.string(), (folder_ / "t.csv").string());
        const auto result = writer.writePage(std::span<const std::uint8_t>(page).first(each.keep));
        EXPECT_EQ(result.recordsWritten, each.written) << each.keep;
        // Without its two counts a payload is no page, and nothing is written.
        EXPECT_EQ(result.wellFormed, each.keep >= 8) << each.keep;
        if (!result.wellFormed) {
            EXPECT_FALSE(fs::exists(folder_ / "t.csv")) << each.keep;
            continue;
        }
        EXPECT_EQ(result.totalRecords, 3u) << each.keep;
        EXPECT_EQ(tableRows(folder_ / "t.csv").size(), 1u + each.written) << each.keep;
    }
}
