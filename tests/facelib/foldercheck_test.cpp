#include "facelib/foldercheck.h"
#include "languagefixture.h"
#include "testcodec.h"
#include "testkit/tempdir.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace galvorn;

// The folder check reports every problem of a batch-add folder, with a codec that needs
// no image library.
namespace {

using Kind = FolderFinding::Kind;

// A finding as the tests compare it.
struct Seen
{
    Kind kind;
    int line;
    std::string detail; // the picture, the cell, or the lines

    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& seen)
{
    return out << static_cast<int>(seen.kind) << "@" << seen.line << ":" << seen.detail;
}

std::vector<Seen> seen(const FolderReport& report)
{
    std::vector<Seen> all;
    for (const FolderFinding& finding : report.findings) {
        std::string detail = finding.picture.empty() ? finding.text : finding.picture;
        if (finding.kind == Kind::MalformedCell)
            detail = std::to_string(finding.column) + "=" + finding.text;
        if (finding.kind == Kind::PictureFault)
            detail += "/" + std::to_string(static_cast<int>(finding.fault));
        for (const int line : finding.lines)
            detail += "," + std::to_string(line);
        all.push_back({finding.kind, finding.line, detail});
    }
    return all;
}

std::string fault(const std::string& picture, PictureFault why)
{
    return picture + "/" + std::to_string(static_cast<int>(why));
}

class FolderCheckTest : public WithLanguage
{
protected:
    FolderReport check() { return CheckBatchAddFolder(dir.path(), codec, 2); }

    TempDir dir;
    TestCodec codec;
};

// ASCII text as UTF-16 LE with its byte-order mark.
std::string utf16le(std::string_view ascii)
{
    std::string bytes = "\xFF\xFE";
    for (const char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

constexpr char kHeader[] = "(01)Name,(02)Gender,(03)Birth,(06)List,(12)Picture\r\n";

} // namespace

TEST_F(FolderCheckTest, EveryProblemOfTheFolderIsReported)
{
    dir.write("a.jpg", TestCodec::jpeg(3, 4, 100));
    dir.write("b.png", TestCodec::other(3, 4, 100));
    dir.write("big.jpg", TestCodec::jpeg(3, 4, PictureLimits::kMaxDirectBytes + 1));
    dir.write("broken.jpg", "not a picture");
    dir.write("persons.csv", std::string(kHeader) +
                                 "Anna,1,1990/1/2,1,a.jpg\r\n"        // 2: fine
                                 "Bob,female,someday,white,b.png\r\n" // 3: three cells
                                 "Short,0\r\n"                        // 4: short
                                 "Cara,0,30,0,missing.jpg\r\n"        // 5: no picture
                                 "Dan,,,,broken.jpg\r\n"              // 6: undecodable
                                 "Eve,1,,2\r\n"                       // 7: short
                                 "Finn,0,,,big.jpg\r\n"               // 8: re-encoded
                                 "Gil,0,,,a.jpg\r\n");                // 9: shares 2's picture
    const FolderReport report = check();
    EXPECT_EQ(report.table, "persons.csv");
    EXPECT_EQ(report.persons, 6u) << "the short rows are no persons";
    EXPECT_EQ(seen(report),
              (std::vector<Seen>{
                  {Kind::MalformedCell, 3, "2=female"},
                  {Kind::MalformedCell, 3, "3=someday"},
                  {Kind::MalformedCell, 3, "6=white"},
                  {Kind::ShortRow, 4, ""},
                  {Kind::ShortRow, 7, ""},
                  {Kind::Reencoded, 3, "b.png"},
                  {Kind::PictureFault, 5, fault("missing.jpg", PictureFault::Missing)},
                  {Kind::PictureFault, 6, fault("broken.jpg", PictureFault::Undecodable)},
                  {Kind::Reencoded, 8, "big.jpg"},
                  {Kind::SharedPicture, 2, "a.jpg,2,9"},
              }));
    // The refusal is the window's: the first short row.
    EXPECT_EQ(report.start.refusal, RunRefusal::FaultyLine);
    EXPECT_EQ(report.start.line, 4);
    EXPECT_FALSE(report.picturesUsable());
    EXPECT_FALSE(report.ok());
    // b.png, big.jpg and broken.jpg, each once, although a.jpg is named twice.
    EXPECT_EQ(codec.encodes.load(), 3);
    EXPECT_EQ(codec.measures.load(), 1);
}

TEST_F(FolderCheckTest, AFolderThatWouldStartWithUsablePicturesIsOk)
{
    dir.write("a.jpg", TestCodec::jpeg(3, 4, 100));
    dir.write("b.png", TestCodec::other(3, 4, 100));
    dir.write("persons.csv",
              std::string(kHeader) + "Anna,1,1990/1/2,1,a.jpg\r\nBob,0,40,0,b.png\r\n");
    const FolderReport report = check();
    EXPECT_EQ(seen(report), (std::vector<Seen>{{Kind::Reencoded, 3, "b.png"}}));
    EXPECT_TRUE(report.start.ok());
    EXPECT_TRUE(report.ok()) << "a picture to re-encode can still be sent";
}

TEST_F(FolderCheckTest, PicturesAloneAreOnePersonEach)
{
    dir.write("b.PNG", TestCodec::other(3, 4, 100));
    dir.write("a.jpg", TestCodec::jpeg(3, 4, 100));
    dir.write("c.jpeg", "garbage");
    const FolderReport report = check();
    EXPECT_TRUE(report.table.empty());
    EXPECT_EQ(report.persons, 3u);
    EXPECT_EQ(seen(report), (std::vector<Seen>{
                                {Kind::PictureFault, 0, fault("c.jpeg", PictureFault::Undecodable)},
                                {Kind::Reencoded, 0, "b.PNG"}}));
    EXPECT_TRUE(report.start.ok());
    EXPECT_FALSE(report.ok());
}

TEST_F(FolderCheckTest, TheTablesEncodingIsReportedAsDetected)
{
    const struct
    {
        const char* what;
        std::string bytes;
        textcodec::Encoding encoding;
        bool signature;
    } cases[] = {
        {"plain UTF-8", "(01)Name,(12)Picture\r\nÄnna,a.jpg\r\n", textcodec::Encoding::Utf8, false},
        {"UTF-8 with its mark", "\xEF\xBB\xBF(01)Name,(12)Picture\r\nAnna,a.jpg\r\n",
         textcodec::Encoding::Utf8, true},
        {"UTF-16 LE", utf16le("(01)Name,(12)Picture\r\nAnna,a.jpg\r\n"),
         textcodec::Encoding::Utf16Le, true},
        {"local code page", "(01)Name,(12)Picture\r\n\xC4nna,a.jpg\r\n", textcodec::Encoding::Local,
         false},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.what);
        dir.write("persons.csv", each.bytes);
        const FolderReport report = check();
        EXPECT_EQ(report.encoding, each.encoding);
        EXPECT_EQ(report.signature, each.signature);
    }
}

TEST_F(FolderCheckTest, ATableThatBreaksACapSaysWhereReadingStopped)
{
    dir.write("a.jpg", TestCodec::jpeg(3, 4, 100));
    dir.write("persons.csv", std::string(kHeader) + "Anna,1,,1,a.jpg\r\nBob,1,,1," +
                                 std::string(CsvReader::kMaxCellBytes + 1, 'x') + "\r\n");
    const FolderReport report = check();
    EXPECT_EQ(report.tableStatus, CsvStatus::CellTooLong);
    ASSERT_FALSE(report.findings.empty());
    EXPECT_EQ(report.findings.front().kind, Kind::UnreadableTable);
    EXPECT_EQ(report.findings.front().line, 3);
}

TEST_F(FolderCheckTest, MoreThanTheLimitOfPersonsIsRefused)
{
    dir.write("a.jpg", TestCodec::jpeg(3, 4, 100));
    std::string table = "(01)Name,(12)Picture\r\n";
    for (std::size_t i = 0; i <= kMaxBatchAddPersons; ++i)
        table += "p,a.jpg\r\n";
    dir.write("persons.csv", table);
    const FolderReport report = check();
    EXPECT_EQ(report.persons, kMaxBatchAddPersons + 1);
    EXPECT_EQ(report.start.refusal, RunRefusal::TooManyPersons);
    EXPECT_FALSE(report.ok());
    ASSERT_EQ(report.findings.size(), 1u) << "one picture, named by every row";
    EXPECT_EQ(report.findings.front().lines.size(), kMaxBatchAddPersons + 1);
}
