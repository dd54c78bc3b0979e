#include "config/languagetable.h"
#include "testkit/tempdir.h"

#include <gtest/gtest.h>

using namespace galvorn;

namespace {

class LanguageTable : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir.write("language/LanguageIndex.ini", "[languages]\n0x0804=Chinese (PRC)\n"
                                                "0x0409=English (United States)\n"
                                                "0x0404=Chinese (Taiwan)\n");
        dir.write("language/Chinese (PRC).ini", "[text]\nIDCS_OK=确定\n");
        dir.write("language/Chinese (Taiwan).ini", "[text]\nIDCS_OK=確定\n");
        dir.write("language/English (United States).ini",
                  "[text]\nIDCS_OK=OK\nIDCS_TWO_LINES=first\\nsecond\\t\\\"q\\\" \\\\\n"
                  "IDCS_PLACEHOLDER=Error in line %1\n");
    }
    void TearDown() override { releaseLanguage(); }

    TempDir dir;
};

} // namespace

TEST_F(LanguageTable, IndexKeyIsZeroPaddedLowerHex)
{
    EXPECT_EQ(languageIndexKey(0x804), "0x0804");
    EXPECT_EQ(languageIndexKey(0x409), "0x0409");
    EXPECT_EQ(languageIndexKey(0xABCDE), "0xabcde");
}

TEST_F(LanguageTable, ChoosesByIdentifierThenByLocale)
{
    EXPECT_EQ(chooseLanguageName(dir.path(), 0x404, "en_US"), "Chinese (Taiwan)");
    EXPECT_EQ(chooseLanguageName(dir.path(), 0x409, "zh_CN"), "English (United States)");
    // An identifier the index lacks falls back to the locale.
    EXPECT_EQ(chooseLanguageName(dir.path(), 0x407, "zh_CN"), "Chinese (PRC)");
    EXPECT_EQ(chooseLanguageName(dir.path(), 0x407, "zh_TW"), "English (United States)");
    TempDir empty;
    EXPECT_EQ(chooseLanguageName(empty.path(), 0x404, "zh_CN"), "Chinese (PRC)");
}

TEST_F(LanguageTable, LookupGivesTextOrEmpty)
{
    EXPECT_EQ(languageText("IDCS_OK"), "") << "nothing loaded yet";
    loadLanguage(dir.path(), 0x804, "en_US");
    EXPECT_EQ(languageText("IDCS_OK"), "确定");
    loadLanguage(dir.path(), 0x409, "zh_CN");
    EXPECT_EQ(languageText("IDCS_OK"), "OK");
    EXPECT_EQ(languageText("IDCS_TWO_LINES"), "first\nsecond\t\"q\" \\");
    EXPECT_EQ(languageText("IDCS_PLACEHOLDER"), "Error in line %1");
    EXPECT_EQ(languageText("IDCS_MISSING"), "") << "a missing key is empty, not the key";
    EXPECT_EQ(languageText(""), "");
    releaseLanguage();
    EXPECT_EQ(languageText("IDCS_OK"), "");
}

TEST_F(LanguageTable, MissingOrMalformedFileGivesEmptyTexts)
{
    dir.write("language/Chinese (Taiwan).ini", std::string("\0\xff[text\nIDCS_OK", 15));
    loadLanguage(dir.path(), 0x404, "en_US");
    EXPECT_EQ(languageText("IDCS_OK"), "");
    TempDir empty;
    loadLanguage(empty.path(), 0x409, "en_US");
    EXPECT_EQ(languageText("IDCS_OK"), "");
}

TEST(ShippedLanguages, EveryFileHasTheSameKeys)
{
    const std::string dir = GALVORN_SOURCE_DIR;
    for (const std::uint32_t id : {0x804u, 0x404u, 0x409u}) {
        loadLanguage(dir, id, "en_US");
        EXPECT_EQ(languageText("IDCS_GALVORN"), "Galvorn") << std::hex << id;
        EXPECT_FALSE(languageText("IDCS_ERRORLINEOFDOCUMENT").empty());
        EXPECT_NE(languageText("IDCS_ERRORLINEOFDOCUMENT").find("%1"), std::string::npos);
    }
    releaseLanguage();
}
