#include "support/textcodec.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>
#include <vector>

#include "testhelpers.h"

using namespace galvorn::textcodec;

namespace {

const std::string kFffd = "\xEF\xBF\xBD";

// glibc's own UTF-8 decoder, as an independent judge of validity.
class IconvUtf8Judge
{
public:
    IconvUtf8Judge() : cd_(iconv_open("UTF-32LE", "UTF-8")) {}
    ~IconvUtf8Judge() { iconv_close(cd_); }
    IconvUtf8Judge(const IconvUtf8Judge&) = delete;
    IconvUtf8Judge& operator=(const IconvUtf8Judge&) = delete;

    bool accepts(std::string text)
    {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* in = text.data();
        std::size_t inLeft = text.size();
        std::vector<char> out(text.size() * 4 + 4);
        char* outPtr = out.data();
        std::size_t outLeft = out.size();
        return iconv(cd_, &in, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1);
    }

private:
    iconv_t cd_;
};

} // namespace

// --- Byte-order marks and encoding detection -------------------------------------------

TEST(TextCodecBom, DetectsAndStripsMarks)
{
    struct Case
    {
        std::string bytes;
        Bom bom;
        std::string stripped;
    };
    const std::vector<Case> cases = {
        {"", Bom::None, ""},
        {"abc", Bom::None, "abc"},
        {"\xEF\xBB\xBF", Bom::Utf8, ""},
        {"\xEF\xBB\xBFx", Bom::Utf8, "x"},
        {"\xEF\xBB", Bom::None, "\xEF\xBB"},
        {"\xFF\xFE", Bom::Utf16Le, ""},
        {std::string("\xFF\xFEx\0", 4), Bom::Utf16Le, std::string("x\0", 2)},
        {"\xFE\xFF", Bom::Utf16Be, ""},
        {"\xFF", Bom::None, "\xFF"},
        {"\xFE", Bom::None, "\xFE"},
        {"x\xEF\xBB\xBF", Bom::None, "x\xEF\xBB\xBF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(detectBom(c.bytes), c.bom);
        EXPECT_EQ(stripBom(c.bytes), c.stripped);
    }
}

TEST(TextCodecBom, DetectsFileEncoding)
{
    struct Case
    {
        std::string bytes;
        Encoding encoding;
    };
    const std::vector<Case> cases = {
        {"", Encoding::Utf8},
        {"plain,ascii\n", Encoding::Utf8},
        {"\xE4\xB8\xAD\xE6\x96\x87", Encoding::Utf8},
        {"\xEF\xBB\xBF\xE4\xB8\xAD", Encoding::Utf8},
        {"\xEF\xBB\xBF\xFF", Encoding::Utf8},
        {"\xFF\xFE\x41\x00", Encoding::Utf16Le},
        {"\xFE\xFF\x00\x41", Encoding::Utf16Be},
        {"caf\xE9", Encoding::Local},
        {"\xD6\xD0\xCE\xC4", Encoding::Local},
        {"\xC0\x80", Encoding::Local},
        {"ok\xE4\xB8", Encoding::Local},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(detectEncoding(c.bytes), c.encoding);
    }
}

TEST(TextCodecBom, DecodesEachEncodingWithoutItsMark)
{
    const std::u16string text = u"A,\u4E2D\U0001F600";
    const std::string utf8 = "A,\xE4\xB8\xAD\xF0\x9F\x98\x80";
    EXPECT_EQ(decodeToUtf8("\xEF\xBB\xBF" + utf8, Encoding::Utf8), utf8);
    EXPECT_EQ(decodeToUtf8(utf8, Encoding::Utf8), utf8);
    EXPECT_EQ(decodeToUtf8("\xFF\xFE" + utf16Bytes(text, false), Encoding::Utf16Le), utf8);
    EXPECT_EQ(decodeToUtf8("\xFE\xFF" + utf16Bytes(text, true), Encoding::Utf16Be), utf8);
    EXPECT_EQ(decodeToUtf8(utf16Bytes(text, false), Encoding::Utf16Le), utf8);
}

// --- UTF-8 validity and repair ----------------------------------------------------------

TEST(TextCodecUtf8, ValidityAgreesWithIconvForAllShortSequences)
{
    IconvUtf8Judge judge;
    std::vector<std::string> samples;
    for (int a = 0; a < 256; ++a) {
        samples.push_back(std::string(1, static_cast<char>(a)));
        for (int b = 0; b < 256; ++b)
            samples.push_back({static_cast<char>(a), static_cast<char>(b)});
    }
    for (int lead = 0xE0; lead <= 0xF4; ++lead) {
        for (int b = 0; b < 256; ++b) {
            for (int c = 0; c < 256; ++c)
                samples.push_back(
                    {static_cast<char>(lead), static_cast<char>(b), static_cast<char>(c)});
        }
    }
    for (int lead = 0xF0; lead <= 0xF7; ++lead) {
        for (int b = 0; b < 256; ++b) {
            for (const int c : {0x7F, 0x80, 0xBF, 0xC0}) {
                for (const int d : {0x7F, 0x80, 0xBF, 0xC0})
                    samples.push_back({static_cast<char>(lead), static_cast<char>(b),
                                       static_cast<char>(c), static_cast<char>(d)});
            }
        }
    }
    int disagreements = 0;
    for (const std::string& s : samples) {
        if (isValidUtf8(s) != judge.accepts(s) && ++disagreements <= 10)
            ADD_FAILURE() << "disagree on " << testing::PrintToString(s);
    }
    EXPECT_EQ(disagreements, 0);
}

TEST(TextCodecUtf8, ReplacesEachMaximalInvalidSubpart)
{
    struct Case
    {
        std::string input;
        std::string output;
    };
    const std::vector<Case> cases = {
        {"", ""},
        {"plain", "plain"},
        {"\xE2\x82\xAC", "\xE2\x82\xAC"},
        {"\x80", kFffd},
        {"a\xBF"
         "b",
         "a" + kFffd + "b"},
        {"\xC0\x80", kFffd + kFffd},                         // overlong NUL
        {"\xE0\x80\x80", kFffd + kFffd + kFffd},             // overlong
        {"\xED\xA0\x80", kFffd + kFffd + kFffd},             // surrogate
        {"\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd}, // above U+10FFFF
        {"\xF5\x80", kFffd + kFffd},                         // no such lead
        {"\xFF", kFffd},
        {"\xE2\x82"
         "A",
         kFffd + "A"},           // truncated, then ASCII
        {"\xF0\x9F\x98", kFffd}, // truncated at the end
        {"\xF0\x9F\x98\xF0\x9F\x98\x80", kFffd + "\xF0\x9F\x98\x80"},
        {"\xC3", kFffd},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.input));
        EXPECT_EQ(sanitizeUtf8(c.input), c.output);
        EXPECT_EQ(isValidUtf8(c.input), c.input == c.output);
        EXPECT_TRUE(isValidUtf8(sanitizeUtf8(c.input)));
    }
}

// --- Cutting at a character boundary ----------------------------------------------------

TEST(TextCodecTruncate, CutsEveryLengthAtTheLastWholeCharacter)
{
    // Each piece is one character; the boundaries between them are the only legal cuts.
    const std::vector<std::string> pieces = {"a",
                                             "\xC3\xA9",
                                             "\xE4\xB8\xAD",
                                             "\xF0\x9F\x98\x80",
                                             "b",
                                             "\xE6\x96\x87",
                                             "\xF0\x9F\x98\x81",
                                             "\xC3\xBC",
                                             "\xE2\x82\xAC",
                                             "z"};
    std::string text;
    for (const std::string& piece : pieces)
        text += piece;
    IconvUtf8Judge judge;
    for (std::size_t maxBytes = 0; maxBytes <= text.size() + 2; ++maxBytes) {
        SCOPED_TRACE(maxBytes);
        std::string expected;
        for (const std::string& piece : pieces) {
            if (expected.size() + piece.size() > maxBytes)
                break;
            expected += piece;
        }
        const std::string_view cut = truncateUtf8(text, maxBytes);
        EXPECT_EQ(cut, expected);
        EXPECT_EQ(cut.data(), text.data());
        EXPECT_TRUE(judge.accepts(std::string(cut)));
    }
}

TEST(TextCodecTruncate, TreatsInvalidSubpartsAsUnits)
{
    struct Case
    {
        std::string input;
        std::size_t maxBytes;
        std::string output;
    };
    const std::vector<Case> cases = {
        {"ab\xE2\x82", 3, "ab"},      {"ab\xE2\x82", 4, "ab\xE2\x82"}, {"\x80\x80", 1, "\x80"},
        {"\xC0\x80x", 2, "\xC0\x80"}, {"a\xF0\x9F\x98", 3, "a"},       {"", 5, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.input) + " max " + std::to_string(c.maxBytes));
        EXPECT_EQ(truncateUtf8(c.input, c.maxBytes), c.output);
    }
}

// --- UTF-16 -----------------------------------------------------------------------------

TEST(TextCodecUtf16, ConvertsBothWays)
{
    struct Case
    {
        std::string utf8;
        std::u16string utf16;
    };
    const std::vector<Case> cases = {
        {"", u""},
        {"abc", u"abc"},
        {"\xC3\xA9t\xC3\xA9", u"\u00E9t\u00E9"},
        {"\xE4\xB8\xAD\xE6\x96\x87", u"\u4E2D\u6587"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        {"\xEF\xBF\xBF", u"\uFFFF"},
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.utf8));
        EXPECT_EQ(utf8ToUtf16(c.utf8), c.utf16);
        EXPECT_EQ(utf16ToUtf8(c.utf16), c.utf8);
        EXPECT_EQ(utf16BytesToUtf8(utf16Bytes(c.utf16, false), false), c.utf8);
        EXPECT_EQ(utf16BytesToUtf8(utf16Bytes(c.utf16, true), true), c.utf8);
    }
}

TEST(TextCodecUtf16, ReplacesBrokenInput)
{
    struct Case
    {
        std::u16string utf16;
        std::string utf8;
    };
    const std::vector<Case> cases = {
        {u"\xD800", kFffd},
        {u"\xD800"
         u"a",
         kFffd + "a"},
        {u"\xDC00"
         u"a",
         kFffd + "a"},
        {u"\xDC00\xD800", kFffd + kFffd},
        {u"\xD83D\xD83D\xDE00", kFffd + "\xF0\x9F\x98\x80"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.utf8));
        EXPECT_EQ(utf16ToUtf8(c.utf16), c.utf8);
    }
    EXPECT_EQ(utf8ToUtf16("a\xE2\x82"), u"a\uFFFD");
    EXPECT_EQ(utf16BytesToUtf8(std::string("A\0B", 3), false), "A" + kFffd);
    EXPECT_EQ(utf16BytesToUtf8("\xFF\xFE", false), "\xEF\xBB\xBF");
}

// --- Code pages -------------------------------------------------------------------------

TEST(TextCodecCodeset, ConvertsThroughNamedCodeSets)
{
    struct Case
    {
        std::string codeset;
        std::string utf8;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"CP1252", "caf\xC3\xA9 \xE2\x82\xAC", "caf\xE9 \x80"},
        {"ISO-8859-1", "\xC3\xA9t\xC3\xA9", "\xE9t\xE9"},
        {"GBK", "\xE4\xB8\xAD\xE6\x96\x87", "\xD6\xD0\xCE\xC4"},
        {"BIG5", "\xE4\xB8\xAD\xE6\x96\x87", "\xA4\xA4\xA4\xE5"},
        {"UTF-8", "\xE4\xB8\xAD", "\xE4\xB8\xAD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codeset);
        EXPECT_EQ(utf8ToCodeset(c.utf8, c.codeset), c.bytes);
        EXPECT_EQ(codesetToUtf8(c.bytes, c.codeset), c.utf8);
    }
}

TEST(TextCodecCodeset, ReplacesWhatCannotBeConverted)
{
    struct Case
    {
        std::string codeset;
        std::string utf8;
        std::string bytes;
    };
    // Towards the code page: unrepresentable characters and invalid UTF-8 become '?'.
    const std::vector<Case> toCodeset = {
        {"ISO-8859-1",
         "a\xE4\xB8\xAD"
         "b",
         "a?b"},
        {"CP1252",
         "a\xFF"
         "b",
         "a?b"},
        {"CP1252", "\xE2\x82", "?"},
        {"GBK", "\xF0\x9F\x98\x80!", "?!"},
        {"NO-SUCH-CODESET", "a\xC3\xA9", "a?"},
    };
    for (const Case& c : toCodeset) {
        SCOPED_TRACE(c.codeset + " " + testing::PrintToString(c.utf8));
        EXPECT_EQ(utf8ToCodeset(c.utf8, c.codeset), c.bytes);
    }
    // Towards UTF-8: bytes invalid in the code page become U+FFFD.
    const std::vector<Case> fromCodeset = {
        {"CP1252", "a" + kFffd + "b",
         "a\x81"
         "b"},
        {"GBK", "\xE4\xB8\xAD" + kFffd, "\xD6\xD0\xD6"},
        {"NO-SUCH-CODESET", "a" + kFffd, "a\xE9"},
        {"UTF-8", "a" + kFffd, "a\xE9"},
    };
    for (const Case& c : fromCodeset) {
        SCOPED_TRACE(c.codeset + " " + testing::PrintToString(c.bytes));
        EXPECT_EQ(codesetToUtf8(c.bytes, c.codeset), c.utf8);
    }
}

TEST(TextCodecCodeset, LocalCodePageFollowsTheThreadLocale)
{
    {
        ScopedLocale locale("C.UTF-8");
        ASSERT_TRUE(locale.ok());
        EXPECT_EQ(localCodeset(), "UTF-8");
        EXPECT_EQ(utf8ToLocal("\xE4\xB8\xAD"), "\xE4\xB8\xAD");
        EXPECT_EQ(localToUtf8("\xE4\xB8\xAD\xFF"), "\xE4\xB8\xAD" + kFffd);
        EXPECT_EQ(localToUtf16("\xE4\xB8\xAD"), u"\u4E2D");
        EXPECT_EQ(utf16ToLocal(u"\u4E2D"), "\xE4\xB8\xAD");
    }
    {
        ScopedLocale locale("C");
        ASSERT_TRUE(locale.ok());
        EXPECT_EQ(localCodeset(), "ANSI_X3.4-1968");
        EXPECT_EQ(utf8ToLocal("a\xC3\xA9"), "a?");
        EXPECT_EQ(localToUtf8("a\xE9"), "a" + kFffd);
        EXPECT_EQ(utf16ToLocal(u"x\u4E2D"), "x?");
    }
}
