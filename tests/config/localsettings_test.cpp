#include "config/localsettings.h"
#include "testkit/tempdir.h"

#include <gtest/gtest.h>

using namespace galvorn;

namespace {

LocalSettings readWith(const std::string& text, std::string_view locale = "en_US")
{
    TempDir dir;
    dir.write("Galvorn.ini", text);
    return readLocalSettings(dir.file("Galvorn.ini"), locale);
}

} // namespace

TEST(LocalSettings, DefaultsWithoutAFile)
{
    TempDir dir;
    const LocalSettings s = readLocalSettings(dir.file("Galvorn.ini"), "en_US");
    EXPECT_EQ(s.dialogWidth, 1200);
    EXPECT_EQ(s.dialogHeight, 740);
    const std::array<int, 17> widths{40,  120, 100, 120, 140, 120, 120, 120, 120,
                                     160, 190, 160, 120, 200, 160, 160, 150};
    const std::array<int, 17> shown{1, 1, 0, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1, 0, 0, 1, 0};
    for (std::size_t i = 0; i < 17; ++i) {
        EXPECT_EQ(s.columnWidths[i], widths[i]) << "column " << i;
        EXPECT_EQ(s.columnShown[i], shown[i]) << "column " << i;
    }
    EXPECT_EQ(s.languageId, 0x409u);
    EXPECT_FALSE(std::filesystem::exists(dir.file("Galvorn.ini"))) << "reading creates nothing";
}

TEST(LocalSettings, BadWidthsAndHiddenColumns)
{
    const LocalSettings s = readWith("[LocalSetting]\nColumnWidth3=0\nColumnWidth4=abc\n"
                                     "ColumnWidth5=77px\nColumnShow2=5\nColumnShow15=0\n"
                                     "ColumnShow1=no\n");
    EXPECT_EQ(s.columnWidths[3], 120);
    EXPECT_EQ(s.columnWidths[4], 140);
    EXPECT_EQ(s.columnWidths[5], 77);
    EXPECT_EQ(s.columnShown[2], 1);
    EXPECT_EQ(s.columnShown[15], 0);
    EXPECT_EQ(s.columnShown[1], 0) << "a value that is not a number reads as 0";
}

TEST(LocalSettings, StoredSizeIsReadAsWritten)
{
    const LocalSettings s = readWith("[localsetting]\ndialogwidth=800\nDialogHeight=1000\n");
    EXPECT_EQ(s.dialogWidth, 800) << "the window's minimum size raises it, not the reader";
    EXPECT_EQ(s.dialogHeight, 1000);
}

TEST(LocalSettings, LanguageByLocaleAndBySetting)
{
    struct Row
    {
        const char* file;
        const char* locale;
        std::uint32_t id;
    };
    const Row rows[] = {
        {"", "zh_CN", 0x804},
        {"", "zh_TW", 0x404},
        {"", "zh_HK", 0x404},
        {"", "zh_SG", 0x404},
        {"", "en_GB", 0x409},
        {"", "C", 0x409},
        {"[LocalSetting]\nLanguage=409\n", "zh_CN", 0x409},
        {"[LocalSetting]\nLanguage=0x804\n", "en_US", 0x804},
        {"[LocalSetting]\nLanguage=\n", "zh_HK", 0x404},
        {"[LocalSetting]\nLanguage=zz\n", "zh_CN", 0x804},
    };
    for (const Row& row : rows)
        EXPECT_EQ(readWith(row.file, row.locale).languageId, row.id) << row.file << row.locale;
}

TEST(LocalSettings, SaveWindowSizeWritesBothKeys)
{
    TempDir dir;
    const std::string path = dir.file("Galvorn.ini");
    dir.write("Galvorn.ini", "[LocalSetting]\nColumnShow2=1\n");
    ASSERT_TRUE(saveWindowSize(path, 1500, 900));
    const LocalSettings s = readLocalSettings(path, "en_US");
    EXPECT_EQ(s.dialogWidth, 1500);
    EXPECT_EQ(s.dialogHeight, 900);
    EXPECT_EQ(s.columnShown[2], 1);
}

TEST(LocalSettings, ExampleFolderFollowsLocale)
{
    EXPECT_EQ(exampleFolderName("zh_CN"), "zh-cn");
    EXPECT_EQ(exampleFolderName("zh_SG"), "zh-tw");
    EXPECT_EQ(exampleFolderName("de_DE"), "en-us");
}
