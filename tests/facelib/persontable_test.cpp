#include "facelib/persontable.h"

#include "common/facelibrarycsv.h"
#include "support/textcodec.h"
#include "testkit/tempdir.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace galvorn {

void PrintTo(const PersonInfo& p, std::ostream* out)
{
    *out << "{" << p.listType << "|" << p.name << "|" << p.gender << "|" << p.age << "|" << p.phone
         << "|" << p.cardNumber << "|" << p.remark << "|" << p.picturePath << "}";
}

} // namespace galvorn

using namespace galvorn;

namespace {

constexpr int kYear = 2024;

// Files of the folder by name; a "/" in a name puts the file into a subfolder.
using Files = std::vector<std::pair<std::string, std::string>>;

struct TableCase
{
    const char* label;
    Files files;
    int faultLine; // -1 for none
    std::vector<std::string> pictureNames;
    // Picture paths relative to the folder.
    std::vector<PersonInfo> persons;
};

// A person of a row; card number, phone and remark empty.
PersonInfo person(std::string name, std::string picture, std::string gender = "male",
                  std::string age = "0", std::string listType = "0")
{
    PersonInfo p;
    p.listType = std::move(listType);
    p.name = std::move(name);
    p.gender = std::move(gender);
    p.age = std::move(age);
    p.picturePath = std::move(picture);
    return p;
}

PersonInfo withAge(const std::string& name, std::string age)
{
    return person(name, name + ".jpg", "male", std::move(age));
}

PersonInfo withGender(const std::string& name, std::string gender)
{
    return person(name, name + ".jpg", std::move(gender));
}

PersonInfo stranger(std::string name, std::string file)
{
    return person(std::move(name), std::move(file), "male", "0", "stranger");
}

std::string utf16Bytes(const std::string& text, bool bigEndian)
{
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : textcodec::utf8ToUtf16(text)) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

// The header the CSV export writes, and a row of every column.
const std::string kTable = std::string(common::kCsvHeaderLine) +
                           "Zoë 张,1,1990/5/6,2,C-1,555 0100,\"Desk 4, left\",zoe.jpg\r\n";

PersonInfo zoe(std::string name)
{
    PersonInfo p = person(std::move(name), "zoe.jpg", "female", "34", "2");
    p.phone = "555 0100";
    p.cardNumber = "C-1";
    p.remark = "Desk 4, left";
    return p;
}

const TableCase kCases[] = {
    {"Utf8WithSignature",
     {{"persons.CSV", "\xEF\xBB\xBF" + kTable}},
     -1,
     {"zoe.jpg"},
     {zoe("Zoë 张")}},
    {"Utf16LeWithSignature",
     {{"p.csv", utf16Bytes(kTable, false)}},
     -1,
     {"zoe.jpg"},
     {zoe("Zoë 张")}},
    {"Utf16BeWithSignature",
     {{"p.csv", utf16Bytes(kTable, true)}},
     -1,
     {"zoe.jpg"},
     {zoe("Zoë 张")}},
    {"Utf8WithoutSignature", {{"p.csv", kTable}}, -1, {"zoe.jpg"}, {zoe("Zoë 张")}},
    // Test binaries run in the "C" locale, whose code page is ASCII: a byte that is not
    // valid UTF-8 reads as U+FFFD.
    {"Latin1InLocalCodePage",
     {{"p.csv", std::string(common::kCsvHeaderLine) +
                    "Zo\xEB,1,1990/5/6,2,C-1,555 0100,\"Desk 4, left\",zoe.jpg\r\n"}},
     -1,
     {"zoe.jpg"},
     {zoe("Zo\xEF\xBF\xBD")}},
    {"ExportedTableKeepsItsAges",
     {{"p.csv", std::string(common::kCsvHeaderLine) + "Ann,0,37,3,,,,Ann.jpg\r\n"}},
     -1,
     {"Ann.jpg"},
     {person("Ann", "Ann.jpg", "male", "37", "3")}},
    {"NameAndPictureColumnsAreEnough",
     {{"p.csv", "(01)Name,(12)Picture\nAnn,a.jpg\n"}},
     -1,
     {"a.jpg"},
     {person("Ann", "a.jpg")}},
    {"LaterHeaderCellWinsShortAndUnnumberedCellsIgnored",
     {{"p.csv", "(01)First,(01)Second,Notes,(12)Pic,(6)Type,(99)x,x12\na,b,c,d.jpg,5,e,f.jpg\n"}},
     -1,
     {"d.jpg"},
     {person("b", "d.jpg", "male", "0", "5")}},
    {"FullWidthParentheses",
     {{"p.csv", "（01）姓名,（02）性别,（12）图片,（1）\n李雷,1,li.jpg,x\n"}},
     -1,
     {"li.jpg"},
     {person("李雷", "li.jpg", "female")}},
    {"ShortRowIsFaultyAndDropped",
     {{"p.csv", "(01)Name,(12)Pic\nalone\nb,b.jpg\n"}},
     2,
     {},
     {person("b", "b.jpg")}},
    // Row 3 lacks name and list type: the name comes first, so the row is dropped.
    // Row 5 lacks only the list type, which ends the table.
    {"RowShortForListTypeEndsTheTable",
     {{"p.csv", "(12)Pic,(01)Name,(06)Type\na.jpg,a,1\nx.jpg\nb.jpg,b,2\ny.jpg,y\nc.jpg,c,3\n"}},
     3,
     {"a.jpg"},
     {person("a", "a.jpg", "male", "0", "1"), person("b", "b.jpg", "male", "0", "2")}},
    {"Gender",
     {{"p.csv", "(01)N,(02)G,(12)P\na,1,a.jpg\nb,0,b.jpg\nc,2,c.jpg\nd,female,d.jpg\ne,,e.jpg\n"}},
     -1,
     {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"},
     {withGender("a", "female"), withGender("b", "male"), withGender("c", "male"),
      withGender("d", "male"), withGender("e", "male")}},
    {"Age",
     {{"p.csv", "(01)N,(03)Birth,(12)P\na,2000/12/31,a.jpg\nb,24,b.jpg\nc,2030/1/1,c.jpg\n"
                "d,garbage,d.jpg\ne,151,e.jpg\nf,1990/1,f.jpg\ng,1984/2/3 x,g.jpg\n"}},
     -1,
     {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg", "f.jpg", "g.jpg"},
     {withAge("a", "24"), withAge("b", "24"), withAge("c", "0"), withAge("d", "0"),
      withAge("e", "0"), withAge("f", "0"), withAge("g", "40")}},
    // The faulty row starts on the fifth line but is the fourth row.
    {"QuotedCellsAndRowCounting",
     {{"p.csv", "(01)N,(09)Remark,(12)P\r\n\"Lee, Ann\",\"two\r\nlines\",lee.jpg\r\n"
                "\"Say \"\"hi\"\"\",,hi.jpg\r\nshort\r\n"}},
     4,
     {"lee.jpg", "hi.jpg"},
     {[] {
          PersonInfo lee = person("Lee, Ann", "lee.jpg");
          lee.remark = "two\r\nlines";
          return lee;
      }(),
      person("Say \"hi\"", "hi.jpg")}},
    {"LastTableInByteOrderIsRead",
     {{"b.csv", "(01)N,(12)P\nfrom b,b.jpg\n"},
      {"C.CSV", "(01)N,(12)P\nfrom C,c.jpg\n"},
      {"z.csv.txt", "(01)N,(12)P\nfrom z,z.jpg\n"}},
     -1,
     {"b.jpg"},
     {person("from b", "b.jpg")}},
    {"PicturesWithoutTable",
     {{"b.png", ""},
      {"A.JPG", ""},
      {"c.jpeg", ""},
      {"a.jpg", ""},
      {"two.parts.jpg", ""},
      {"d.PNG", ""},
      {"notes.txt", ""},
      {"e.gif", ""},
      {"folder.jpg/inner.png", ""},
      {"folder.csv/inner.txt", ""}},
     -1,
     {},
     {stranger("A", "A.JPG"), stranger("a", "a.jpg"), stranger("c", "c.jpeg"),
      stranger("two", "two.parts.jpg"), stranger("b", "b.png"), stranger("d", "d.PNG")}},
    {"ValidatorStopsWithoutPictureColumn",
     {{"p.csv", "(01)Name,(06)Type\na,7\nshort\nb,8\n"}},
     -1,
     {},
     {person("a", "", "male", "0", "7")}},
    {"HeaderOnly", {{"p.csv", "(01)Name,(12)Pic\r\n"}}, -1, {}, {}},
    {"EmptyTable", {{"p.csv", ""}, {"a.jpg", ""}}, -1, {}, {}},
    {"UnparsableTableYieldsNoRows",
     {{"p.csv", "(01)N,(12)P\na,a.jpg\n" + std::string(70000, 'x') + ",b.jpg\n"}},
     -1,
     {},
     {}},
};

void PrintTo(const TableCase& c, std::ostream* out)
{
    *out << c.label;
}

class PersonTableRules : public ::testing::TestWithParam<TableCase>
{};

TEST_P(PersonTableRules, ValidatorAndBuilderReadTheFolder)
{
    const TableCase& c = GetParam();
    const TempDir dir;
    for (const auto& [name, bytes] : c.files)
        dir.write(name, bytes);

    const PersonTableCheck check = ValidatePersonTable(dir.path());
    EXPECT_EQ(check.fault, c.faultLine != -1);
    EXPECT_EQ(check.line, c.faultLine);
    EXPECT_EQ(check.pictureNames, c.pictureNames);

    std::vector<PersonInfo> expected = c.persons;
    for (PersonInfo& person : expected)
        if (!person.picturePath.empty())
            person.picturePath = dir.file(person.picturePath);
    EXPECT_EQ(BuildPersonList(dir.path(), kYear), expected);
}

INSTANTIATE_TEST_SUITE_P(Folders, PersonTableRules, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.label); });

// A table of `rows` persons who all show the one picture "a.jpg".
void writeTable(const TempDir& dir, std::size_t rows)
{
    std::string text = "(12)Picture\n";
    for (std::size_t i = 0; i < rows; ++i)
        text += "a.jpg\n";
    dir.write("persons.csv", text);
}

TEST(LoadPersonList, ReportsTheFaultyLine)
{
    const TempDir dir;
    dir.write("p.csv", "(01)Name,(12)Pic\na,a.jpg\nb,a.jpg\nc,a.jpg\nd,a.jpg\ne,a.jpg\nshort\n");
    dir.write("a.jpg", "");
    const PersonListLoad load = LoadPersonList(dir.path());
    EXPECT_EQ(load.result, PersonListLoad::Result::FaultyLine);
    EXPECT_EQ(load.line, 7);
    EXPECT_EQ(load.persons, nullptr);
}

TEST(LoadPersonList, NoPictureWhenNoPictureFileExists)
{
    const TempDir missing;
    missing.write("p.csv", "(01)Name,(12)Pic\na,a.jpg\nb,b.jpg\n");
    const TempDir noColumn;
    noColumn.write("p.csv", "(01)Name\na\n");
    noColumn.write("a.jpg", "");
    const TempDir empty;
    for (const TempDir* dir : {&missing, &noColumn, &empty})
        EXPECT_EQ(LoadPersonList(dir->path()).result, PersonListLoad::Result::NoPicture);
}

TEST(LoadPersonList, OneExistingPictureIsEnough)
{
    const TempDir dir;
    dir.write("p.csv", "(01)Name,(12)Pic\na,a.jpg\nb,b.jpg\n");
    dir.write("b.jpg", "");
    const PersonListLoad load = LoadPersonList(dir.path());
    ASSERT_EQ(load.result, PersonListLoad::Result::Ok);
    ASSERT_NE(load.persons, nullptr);
    EXPECT_EQ(load.persons->size(), 2u);
}

TEST(LoadPersonList, TakesAtMostTheLimit)
{
    const TempDir dir;
    dir.write("a.jpg", "");
    writeTable(dir, kMaxBatchAddPersons);
    const PersonListLoad full = LoadPersonList(dir.path());
    ASSERT_EQ(full.result, PersonListLoad::Result::Ok);
    EXPECT_EQ(full.persons->size(), kMaxBatchAddPersons);

    writeTable(dir, kMaxBatchAddPersons + 1);
    const PersonListLoad over = LoadPersonList(dir.path());
    EXPECT_EQ(over.result, PersonListLoad::Result::TooMany);
    EXPECT_EQ(over.persons, nullptr);
}

} // namespace
