#include "support/csvreader.h"
#include "testkit/tempdir.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "testhelpers.h"

using galvorn::CsvReader;
using galvorn::CsvRow;
using galvorn::CsvStatus;
using galvorn::textcodec::Encoding;

namespace {

using Cells = std::vector<std::vector<std::string>>;

std::vector<CsvRow> readAll(CsvReader& reader)
{
    std::vector<CsvRow> rows;
    CsvRow row;
    while (reader.readRow(row))
        rows.push_back(row);
    return rows;
}

Cells cellsOf(const std::vector<CsvRow>& rows)
{
    Cells cells;
    for (const CsvRow& row : rows)
        cells.push_back(row.cells);
    return cells;
}

Cells readCells(std::string_view bytes)
{
    CsvReader reader;
    EXPECT_EQ(reader.openBytes(bytes), CsvStatus::Ok);
    Cells cells = cellsOf(readAll(reader));
    EXPECT_EQ(reader.status(), CsvStatus::Ok);
    return cells;
}

// A file in the test's temporary folder, removed at the end of the test.
class TempFile
{
public:
    explicit TempFile(std::string_view bytes) : path_(dir_.file("table.csv"))
    {
        std::ofstream(path_, std::ios::binary) << bytes;
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& path() const { return path_; }

private:
    const TempDir dir_;
    std::string path_;
};

const std::string kFffd = "\xEF\xBF\xBD";

} // namespace

// --- Splitting rows into cells ----------------------------------------------------------

TEST(CsvReaderCells, SplitsRowsIntoCells)
{
    struct Case
    {
        std::string text;
        Cells cells;
    };
    const std::vector<Case> cases = {
        {"", {}},
        {"\n\n", {}},
        {"a,b,c\n1,2,3\n", {{"a", "b", "c"}, {"1", "2", "3"}}},
        {"x,y", {{"x", "y"}}},
        {"a,b\r\nc,d\r\n", {{"a", "b"}, {"c", "d"}}},
        {"a\n\n   \nb\n", {{"a"}, {"b"}}},
        {"\"a,b\",c\n", {{"a,b", "c"}}},
        {"\"say \"\"hi\"\"\",x\n", {{"say \"hi\"", "x"}}},
        {"\"line1\nline2\",z\n", {{"line1\nline2", "z"}}},
        {"\"crlf\r\ninside\"\r\n", {{"crlf\r\ninside"}}},
        {",,\n", {{"", "", ""}}},
        {"a,,c\n", {{"a", "", "c"}}},
        {"\"\",b,\n", {{"", "b", ""}}},
        {" a ,\tb\t\n", {{"a", "b"}}},
        {"\" a \",\"\"\"\"\n", {{" a ", "\""}}},
        {"\"unterminated\nrest", {{"unterminated\nrest"}}},
        {"(01)\xE5\xA7\x93\xE5\x90\x8D,(12)\xE5\x9B\xBE\n",
         {{"(01)\xE5\xA7\x93\xE5\x90\x8D", "(12)\xE5\x9B\xBE"}}},
        {std::string("nul\0inside,b", 12), {{std::string("nul\0inside", 10), "b"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(readCells(c.text), c.cells);
    }
}

TEST(CsvReaderCells, NumbersRowsAndTheLinesTheyStartOn)
{
    struct Case
    {
        std::string text;
        std::vector<std::size_t> lines;
    };
    const std::vector<Case> cases = {
        {"h1,h2\nr1\nr2\n", {1, 2, 3}},
        {"h\n\"two\nlines\",x\nnext\n", {1, 2, 4}},
        {"\n\nh\n\n\"a\n\n\nb\"\n\nlast", {3, 5, 10}},
        {"h\r\n\"x\r\ny\"\r\nz\r\n", {1, 2, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        CsvReader reader;
        ASSERT_EQ(reader.openBytes(c.text), CsvStatus::Ok);
        const std::vector<CsvRow> rows = readAll(reader);
        ASSERT_EQ(rows.size(), c.lines.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i].number, i + 1);
            EXPECT_EQ(rows[i].line, c.lines[i]) << "row " << i + 1;
        }
    }
}

TEST(CsvReaderCells, LinesLongerThanOnePieceStayWhole)
{
    std::string longLine;
    std::vector<std::string> expected;
    for (int i = 0; i < 1000; ++i) {
        expected.push_back(std::to_string(i) + std::string(150, 'x'));
        longLine += (i ? "," : "") + expected.back();
    }
    CsvReader reader;
    ASSERT_EQ(reader.openBytes("head\n" + longLine + "\n\"q\nq\",tail\n"), CsvStatus::Ok);
    const std::vector<CsvRow> rows = readAll(reader);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].cells, expected);
    EXPECT_EQ(rows[1].line, 2u);
    EXPECT_EQ(rows[2].line, 3u);
    EXPECT_EQ(reader.status(), CsvStatus::Ok);
}

// --- Encodings --------------------------------------------------------------------------

TEST(CsvReaderEncoding, ReadsEveryEncodingAsUtf8)
{
    const std::u16string table = u"(01)\u59D3\u540D,(12)Image\r\n\"\u5F20, \u4E09\",a.jpg\r\n"
                                 u"\"\U0001F600\n\",\r\n";
    const Cells expected = {{"(01)\xE5\xA7\x93\xE5\x90\x8D", "(12)Image"},
                            {"\xE5\xBC\xA0, \xE4\xB8\x89", "a.jpg"},
                            {"\xF0\x9F\x98\x80\n", ""}};
    const std::string utf8 = "(01)\xE5\xA7\x93\xE5\x90\x8D,(12)Image\r\n\"\xE5\xBC\xA0, "
                             "\xE4\xB8\x89\",a.jpg\r\n\"\xF0\x9F\x98\x80\n\",\r\n";
    struct Case
    {
        const char* name;
        std::string bytes;
        Encoding encoding;
    };
    const std::vector<Case> cases = {
        {"UTF-16LE", "\xFF\xFE" + utf16Bytes(table, false), Encoding::Utf16Le},
        {"UTF-16BE", "\xFE\xFF" + utf16Bytes(table, true), Encoding::Utf16Be},
        {"UTF-8 with signature", "\xEF\xBB\xBF" + utf8, Encoding::Utf8},
        {"UTF-8", utf8, Encoding::Utf8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CsvReader reader;
        ASSERT_EQ(reader.openBytes(c.bytes), CsvStatus::Ok);
        EXPECT_EQ(reader.encoding(), c.encoding);
        const std::vector<CsvRow> rows = readAll(reader);
        EXPECT_EQ(cellsOf(rows), expected);
        ASSERT_EQ(rows.size(), 3u);
        EXPECT_EQ(rows[2].line, 3u);
    }
}

TEST(CsvReaderEncoding, ReadsTheLocalCodePageAsUtf8)
{
    ScopedLocale locale("C");
    ASSERT_TRUE(locale.ok());
    CsvReader reader;
    ASSERT_EQ(reader.openBytes("caf\xE9,x\n"), CsvStatus::Ok);
    EXPECT_EQ(reader.encoding(), Encoding::Local);
    EXPECT_EQ(cellsOf(readAll(reader)), (Cells{{"caf" + kFffd, "x"}}));
}

TEST(CsvReaderEncoding, BrokenUtf16EndsInAReplacement)
{
    CsvReader reader;
    ASSERT_EQ(reader.openBytes("\xFF\xFE" + utf16Bytes(u"a,b", false) + "c"), CsvStatus::Ok);
    EXPECT_EQ(cellsOf(readAll(reader)), (Cells{{"a", "b" + kFffd}}));
}

// --- Files ------------------------------------------------------------------------------

TEST(CsvReaderFile, ReadsAFile)
{
    const TempFile file("\xFF\xFE" + utf16Bytes(u"h1,h2\n\u4E2D,\"x,y\"\n", false));
    CsvReader reader;
    ASSERT_EQ(reader.openFile(file.path()), CsvStatus::Ok);
    EXPECT_EQ(reader.encoding(), Encoding::Utf16Le);
    EXPECT_EQ(cellsOf(readAll(reader)), (Cells{{"h1", "h2"}, {"\xE4\xB8\xAD", "x,y"}}));
}

TEST(CsvReaderFile, ReportsFilesItCannotRead)
{
    CsvReader reader;
    CsvRow row;
    EXPECT_FALSE(reader.readRow(row)); // nothing open
    const TempDir dir;
    EXPECT_EQ(reader.openFile(dir.file("no-such-file.csv")), CsvStatus::OpenFailed);
    EXPECT_FALSE(reader.readRow(row));
    EXPECT_EQ(reader.openFile(dir.path()), CsvStatus::OpenFailed);

    const TempFile huge("");
    ASSERT_EQ(::truncate(huge.path().c_str(), CsvReader::kMaxFileBytes + 1), 0);
    EXPECT_EQ(reader.openFile(huge.path()), CsvStatus::FileTooLarge);
    EXPECT_FALSE(reader.readRow(row));
    ASSERT_EQ(::truncate(huge.path().c_str(), CsvReader::kMaxFileBytes), 0);
    EXPECT_EQ(reader.openFile(huge.path()), CsvStatus::Ok);
}

TEST(CsvReaderFile, OpeningAgainStartsOver)
{
    CsvReader reader;
    ASSERT_EQ(reader.openBytes("a\nb\n"), CsvStatus::Ok);
    CsvRow row;
    ASSERT_TRUE(reader.readRow(row));
    ASSERT_EQ(reader.openBytes("c\n"), CsvStatus::Ok);
    const std::vector<CsvRow> rows = readAll(reader);
    ASSERT_EQ(cellsOf(rows), (Cells{{"c"}}));
    EXPECT_EQ(rows[0].number, 1u);
    EXPECT_EQ(rows[0].line, 1u);
}

// --- Caps -------------------------------------------------------------------------------

TEST(CsvReaderCaps, CellsUpToTheCapAreRead)
{
    const std::string longest(CsvReader::kMaxCellBytes, 'x');
    struct Case
    {
        const char* name;
        std::string text;
        std::string cell;
    };
    const std::vector<Case> cases = {
        {"unquoted", "a\n" + longest + ",b\n", longest},
        {"quoted", "a\n\"" + longest + "\",b\n", longest},
        {"last, unterminated", "a\n" + longest, longest},
        {"padded", "a\n" + std::string(100, ' ') + longest + std::string(100, ' ') + ",b\n",
         longest},
        {"quoted and padded", "a\n  \"" + longest + "\"  ,b\n", longest},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CsvReader reader;
        ASSERT_EQ(reader.openBytes(c.text), CsvStatus::Ok);
        const std::vector<CsvRow> rows = readAll(reader);
        EXPECT_EQ(reader.status(), CsvStatus::Ok);
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[1].cells.front(), c.cell);
    }
}

TEST(CsvReaderCaps, ReadingStopsAtTheFirstRowOverACap)
{
    const std::string tooLong(CsvReader::kMaxCellBytes + 1, 'x');
    std::string widest;
    for (std::size_t i = 0; i < CsvReader::kMaxCellsPerRow; ++i)
        widest += i ? ",c" : "c";
    struct Case
    {
        const char* name;
        std::string text;
        std::size_t rowsBefore;
        CsvStatus status;
    };
    const std::vector<Case> cases = {
        {"cell too long", "a\nb\n" + tooLong + "\nafter\n", 2, CsvStatus::CellTooLong},
        {"quoted cell too long", "a\n\"x\n" + tooLong + "\"\nafter\n", 1, CsvStatus::CellTooLong},
        {"last cell too long", "a\n" + tooLong, 1, CsvStatus::CellTooLong},
        {"padding past twice the cap",
         "a\nx" + std::string(2 * CsvReader::kMaxCellBytes, ' ') + ",b\n", 1,
         CsvStatus::CellTooLong},
        {"widest row", "a\n" + widest + "\nafter\n", 3, CsvStatus::Ok},
        {"row too wide", "a\n" + widest + ",c\nafter\n", 1, CsvStatus::TooManyCells},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CsvReader reader;
        ASSERT_EQ(reader.openBytes(c.text), CsvStatus::Ok);
        std::size_t rows = 0;
        CsvRow row;
        while (reader.readRow(row)) {
            EXPECT_LE(row.cells.size(), CsvReader::kMaxCellsPerRow);
            ++rows;
        }
        EXPECT_EQ(rows, c.rowsBefore);
        EXPECT_EQ(reader.status(), c.status);
        EXPECT_FALSE(reader.readRow(row));
    }
}

TEST(CsvReaderCaps, RefusesTextsAboveTheFileCap)
{
    CsvReader reader;
    EXPECT_EQ(reader.openBytes(std::string(CsvReader::kMaxFileBytes + 1, ',')),
              CsvStatus::FileTooLarge);
    CsvRow row;
    EXPECT_FALSE(reader.readRow(row));
}
