#include "config/inifile.h"
#include "testkit/tempdir.h"

#include <unistd.h>

#include <gtest/gtest.h>

using galvorn::IniFile;

TEST(IniFile, ReadsWithPrivateProfileRules)
{
    const IniFile ini = IniFile::parse("\xEF\xBB\xBF; comment\r\n"
                                       "[LocalSetting]\r\n"
                                       "  dialogwidth =  1300  \r\n"
                                       "DialogWidth=999\r\n"
                                       "Quoted=\" spaced \"\r\n"
                                       "no equals sign here\r\n"
                                       "=orphan value\r\n"
                                       "[other]\r\n"
                                       "DialogWidth=5\r\n");
    EXPECT_EQ(ini.value("localsetting", "DIALOGWIDTH"), "1300") << "first of two keys wins";
    EXPECT_EQ(ini.value("LocalSetting", "Quoted"), " spaced ");
    EXPECT_EQ(ini.value("other", "DialogWidth"), "5");
    EXPECT_FALSE(ini.value("LocalSetting", "missing").has_value());
    EXPECT_FALSE(ini.value("LocalSetting", "").has_value());
}

TEST(IniFile, GetStringCutsAndFallsBack)
{
    const IniFile ini = IniFile::parse("[s]\nlong=0123456789abcdefXYZ\nempty=\n");
    EXPECT_EQ(ini.getString("s", "long", "d", 15), "0123456789abcde");
    EXPECT_EQ(ini.getString("s", "empty", "d", 15), "") << "present but empty is not absent";
    EXPECT_EQ(ini.getString("s", "absent", "1200", 15), "1200");
}

TEST(IniFile, GetIntReadsLeadingDigitsLikeAtoi)
{
    const IniFile ini = IniFile::parse("[s]\na=42\nb=abc\nc=-7x\nd= +12 \ne=99999999999\n");
    EXPECT_EQ(ini.getInt("s", "a", 1), 42);
    EXPECT_EQ(ini.getInt("s", "b", 1), 0);
    EXPECT_EQ(ini.getInt("s", "c", 1), -7);
    EXPECT_EQ(ini.getInt("s", "d", 1), 12);
    EXPECT_EQ(ini.getInt("s", "e", 1), INT_MAX) << "saturates instead of overflowing";
    EXPECT_EQ(ini.getInt("s", "absent", 9), 9);
}

TEST(IniFile, GarbageAndOversizedFilesGiveNoKeys)
{
    TempDir dir;
    std::string garbage;
    for (int i = 0; i < 5000; ++i)
        garbage += static_cast<char>((i * 7919) % 256);
    dir.write("garbage.ini", garbage);
    EXPECT_FALSE(IniFile::load(dir.file("garbage.ini")).value("LocalSetting", "DialogWidth"));

    dir.write("huge.ini", "[s]\nk=v\n" + std::string(IniFile::kMaxFileBytes, ' '));
    EXPECT_FALSE(IniFile::load(dir.file("huge.ini")).value("s", "k"));

    EXPECT_FALSE(IniFile::load(dir.file("missing.ini")).value("s", "k"));
    EXPECT_FALSE(IniFile::load(dir.path()).value("s", "k")) << "a folder is not a file";
}

TEST(IniFile, WriteValueKeepsOtherLines)
{
    TempDir dir;
    const std::string path = dir.file("a.ini");
    dir.write("a.ini", "; mine\r\n[LocalSetting]\r\nLanguage=409\r\nDIALOGWIDTH=1\r\n\r\n"
                       "[Other]\r\nDialogWidth=7\r\n");
    ASSERT_TRUE(IniFile::writeValue(path, "localsetting", "DialogWidth", "1300"));
    ASSERT_TRUE(IniFile::writeValue(path, "LocalSetting", "DialogHeight", "800"));
    EXPECT_EQ(dir.read("a.ini"), "; mine\r\n[LocalSetting]\r\nLanguage=409\r\nDialogWidth=1300\n"
                                 "DialogHeight=800\n\r\n[Other]\r\nDialogWidth=7\r\n");
}

TEST(IniFile, WriteValueCreatesFileAndSectionButNotFolder)
{
    TempDir dir;
    ASSERT_TRUE(IniFile::writeValue(dir.file("new.ini"), "LocalSetting", "DialogWidth", "1200"));
    EXPECT_EQ(dir.read("new.ini"), "[LocalSetting]\nDialogWidth=1200\n");

    dir.write("other.ini", "[A]\nx=1");
    ASSERT_TRUE(IniFile::writeValue(dir.file("other.ini"), "B", "y", "2"));
    EXPECT_EQ(dir.read("other.ini"), "[A]\nx=1\n[B]\ny=2\n");

    EXPECT_FALSE(IniFile::writeValue(dir.file("no/such/folder/x.ini"), "A", "x", "1"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("no")));
}

// A settings file that exists but could not be read is never replaced by one holding
// only the key written. The permission row needs a user whom permissions stop.
TEST(IniFile, WriteValueLeavesAFileItCouldNotReadAlone)
{
    TempDir dir;
    const std::string huge =
        "[LocalSetting]\nLanguage=804\n" + std::string(IniFile::kMaxFileBytes, ';');
    dir.write("huge.ini", huge);
    EXPECT_FALSE(IniFile::writeValue(dir.file("huge.ini"), "LocalSetting", "DialogWidth", "1300"));
    EXPECT_EQ(dir.read("huge.ini"), huge);

    if (::geteuid() == 0)
        return;
    dir.write("unreadable.ini", "[LocalSetting]\nLanguage=804\n");
    std::filesystem::permissions(dir.file("unreadable.ini"), std::filesystem::perms::owner_write);
    EXPECT_FALSE(
        IniFile::writeValue(dir.file("unreadable.ini"), "LocalSetting", "DialogWidth", "1300"));
    std::filesystem::permissions(dir.file("unreadable.ini"), std::filesystem::perms::owner_all);
    EXPECT_EQ(dir.read("unreadable.ini"), "[LocalSetting]\nLanguage=804\n");
}

TEST(IniFile, WriteValueKeepsTheByteOrderMark)
{
    const std::string bom = "\xEF\xBB\xBF";
    const struct
    {
        const char* name;
        std::string before;
        std::string after;
    } cases[] = {
        {"one mark", bom + "[LocalSetting]\nLanguage=804\n",
         bom + "[LocalSetting]\nLanguage=804\nDialogWidth=1300\n"},
        // The second mark belongs to the first line, which is then no section header: the
        // key stays outside [LocalSetting] and a new section is added.
        {"two marks", bom + bom + "[LocalSetting]\nLanguage=804\n",
         bom + bom + "[LocalSetting]\nLanguage=804\n[LocalSetting]\nDialogWidth=1300\n"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.write("a.ini", c.before);
        const IniFile before = IniFile::load(dir.file("a.ini"));
        ASSERT_TRUE(IniFile::writeValue(dir.file("a.ini"), "LocalSetting", "DialogWidth", "1300"));
        EXPECT_EQ(dir.read("a.ini"), c.after) << c.name;
        const IniFile after = IniFile::load(dir.file("a.ini"));
        EXPECT_EQ(after.value("LocalSetting", "Language"), before.value("LocalSetting", "Language"))
            << c.name;
        EXPECT_EQ(after.value("LocalSetting", "DialogWidth"), "1300") << c.name;
    }
}
