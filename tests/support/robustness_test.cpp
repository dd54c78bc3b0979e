// Cut and damaged inputs: every prefix of a valid document, and seeded byte mutations.
// Run under the asan preset these find reads past the end and leaks; in any build they
// check the properties that must hold whatever the input.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/csvreader.h"
#include "support/textcodec.h"
#include "support/xmldocument.h"
#include "testhelpers.h"

using galvorn::CsvReader;
using galvorn::CsvRow;
using galvorn::CsvStatus;
using galvorn::XmlDocument;
namespace textcodec = galvorn::textcodec;

namespace {

const std::string kXml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                         "<multicastSearchResult>"
                         "<productInfo a=\"1 &amp; 2\"><devName>Hall &lt;\xE4\xB8\xAD&gt;</devName>"
                         "<build><![CDATA[12]]>08</build><!-- note --></productInfo>"
                         "<tcpIp><ipAddr><item><ip>192.0.2.10</ip></item><item/></ipAddr></tcpIp>"
                         "</multicastSearchResult>\n";

const std::u16string kCsv = u"(01)\u59D3\u540D,(02)Gender,(12)Image\r\n"
                            u"\"\u5F20\"\"\u4E09\"\"\",1,\"a,b.jpg\"\r\n"
                            u",,\r\n"
                            u"\"multi\nline \U0001F600\",0,c.png\n";

// Walks every element depth first, reading every value, as a parser that does not know
// the document would.
int walkAll(XmlDocument& xml, int depth = 0)
{
    int elements = 0;
    while (xml.findElem()) {
        ++elements;
        EXPECT_TRUE(textcodec::isValidUtf8(xml.getTagName()));
        xml.getData();
        xml.getAttrib("a");
        while (xml.findChildElem())
            xml.getChildData();
        xml.resetChildPos();
        if (depth < 16 && xml.intoElem()) {
            elements += walkAll(xml, depth + 1);
            EXPECT_TRUE(xml.outOfElem());
        }
    }
    return elements;
}

// The cells of every row, after checking what must hold for any input.
std::vector<std::vector<std::string>> readAllRows(std::string_view bytes)
{
    std::vector<std::vector<std::string>> rows;
    CsvReader reader;
    if (reader.openBytes(bytes) != CsvStatus::Ok)
        return rows;
    CsvRow row;
    while (reader.readRow(row)) {
        EXPECT_EQ(row.number, rows.size() + 1);
        EXPECT_GE(row.line, 1u);
        for (const std::string& cell : row.cells)
            EXPECT_TRUE(textcodec::isValidUtf8(cell)) << testing::PrintToString(cell);
        rows.push_back(row.cells);
    }
    return rows;
}

std::vector<std::string> mutations(const std::string& text, unsigned seed, int count)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::size_t> position(0, text.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    const std::string interesting = "<>&;\"'/=!?[]-,\r\n\x80\xC3\xE4\xFF";
    std::uniform_int_distribution<std::size_t> pick(0, interesting.size() - 1);
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) {
        std::string mutated = text;
        const int edits = 1 + i % 3;
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = position(random);
            const char c = i % 2 ? static_cast<char>(byte(random)) : interesting[pick(random)];
            switch ((i + e) % 3) {
            case 0:
                mutated[at] = c;
                break;
            case 1:
                mutated.insert(mutated.begin() + static_cast<std::ptrdiff_t>(at), c);
                break;
            default:
                mutated.erase(at, 1);
            }
        }
        out.push_back(mutated);
    }
    return out;
}

} // namespace

TEST(Robustness, EveryXmlPrefixFailsCleanlyUntilTheRootCloses)
{
    const std::size_t rootClosed =
        kXml.find("</multicastSearchResult>") + std::string("</multicastSearchResult>").size();
    for (std::size_t length = 0; length <= kXml.size(); ++length) {
        SCOPED_TRACE(length);
        XmlDocument xml;
        const bool loaded = xml.load(std::string_view(kXml).substr(0, length));
        EXPECT_EQ(loaded, length >= rootClosed);
        const int elements = walkAll(xml);
        EXPECT_EQ(elements, loaded ? 9 : 0);
    }
}

TEST(Robustness, MutatedXmlNeverBreaksTheCursor)
{
    for (const std::string& text : mutations(kXml, 20240601, 3000)) {
        XmlDocument xml;
        if (!xml.load(text)) {
            EXPECT_EQ(walkAll(xml), 0);
            continue;
        }
        walkAll(xml);
        XmlDocument again;
        EXPECT_TRUE(again.load(xml.getDoc()));
    }
}

TEST(Robustness, EveryCsvPrefixReadsInEveryEncoding)
{
    const std::string utf8 = textcodec::utf16ToUtf8(kCsv);
    const std::vector<std::string> inputs = {
        utf8,
        "\xEF\xBB\xBF" + utf8,
        "\xFF\xFE" + utf16Bytes(kCsv, false),
        "\xFE\xFF" + utf16Bytes(kCsv, true),
    };
    ScopedLocale locale("C.UTF-8");
    ASSERT_TRUE(locale.ok());
    for (const std::string& input : inputs) {
        const std::size_t markSize = textcodec::bomSize(textcodec::detectBom(input));
        const auto full = readAllRows(input);
        ASSERT_EQ(full.size(), 4u);
        for (std::size_t length = 0; length < input.size(); ++length) {
            SCOPED_TRACE(length);
            const auto rows = readAllRows(std::string_view(input).substr(0, length));
            // A cut mark changes the encoding; past it, every row before the last one
            // read is complete and must equal the row of the whole text.
            if (length < markSize || rows.empty())
                continue;
            ASSERT_LE(rows.size(), full.size());
            for (std::size_t i = 0; i + 1 < rows.size(); ++i)
                EXPECT_EQ(rows[i], full[i]) << "row " << i + 1;
        }
    }
}

TEST(Robustness, MutatedCsvAlwaysGivesValidUtf8Cells)
{
    const std::string utf8 = textcodec::utf16ToUtf8(kCsv);
    ScopedLocale locale("C.UTF-8");
    ASSERT_TRUE(locale.ok());
    for (const std::string& text : mutations(utf8, 7, 2000))
        readAllRows(text);
    for (const std::string& text : mutations("\xFF\xFE" + utf16Bytes(kCsv, false), 11, 2000))
        readAllRows(text);
}

TEST(Robustness, EveryTextPrefixConvertsToValidText)
{
    const std::string text = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80z";
    const std::string utf16 = utf16Bytes(textcodec::utf8ToUtf16(text), false);
    for (std::size_t length = 0; length <= utf16.size(); ++length) {
        const std::string_view prefix = std::string_view(utf16).substr(0, length);
        EXPECT_TRUE(textcodec::isValidUtf8(textcodec::utf16BytesToUtf8(prefix, false)));
        EXPECT_TRUE(textcodec::isValidUtf8(textcodec::codesetToUtf8(prefix, "GBK")));
    }
    for (std::size_t length = 0; length <= text.size(); ++length) {
        const std::string_view prefix = std::string_view(text).substr(0, length);
        EXPECT_TRUE(textcodec::isValidUtf8(textcodec::sanitizeUtf8(prefix)));
        EXPECT_TRUE(textcodec::isValidUtf8(textcodec::utf16ToUtf8(textcodec::utf8ToUtf16(prefix))));
        for (const char c : textcodec::utf8ToCodeset(prefix, "ANSI_X3.4-1968"))
            EXPECT_LT(static_cast<unsigned char>(c), 0x80);
    }
}
