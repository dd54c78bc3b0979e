#include "facelib/operationlog.h"
#include "languagefixture.h"
#include "platform/paths.h"
#include "testkit/tempdir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace galvorn;

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::tm stamp()
{
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 9;
    t.tm_min = 7;
    t.tm_sec = 2;
    return t;
}

constexpr char kName[] = "20240305090702.log";

} // namespace

class BatchAddLogText : public WithLanguage
{};

TEST_F(BatchAddLogText, OneLinePerRefusalJoinedByCrLf)
{
    BatchAddLog log;
    EXPECT_TRUE(log.empty());
    log.addRefusal("anna.jpg", -5);
    EXPECT_EQ(log.text(), "anna.jpg\t\t" + languageText("IDCS_FACE_MATCH_NOT_ONLY_ONE_FACE"));
    log.addRefusal("李雷.png", 7);
    EXPECT_FALSE(log.empty());
    EXPECT_EQ(log.text(), "anna.jpg\t\t" + languageText("IDCS_FACE_MATCH_NOT_ONLY_ONE_FACE") +
                              "\r\n李雷.png\t\t" + languageText("IDCS_FACE_MATCH_UNKOWN"));
}

TEST(OperationLog, FileNameIsTheLocalTimeWithTheFullYear)
{
    EXPECT_EQ(logFileName(stamp()), kName);
    std::tm early = stamp();
    early.tm_year = 905 - 1900;
    early.tm_mon = 0;
    early.tm_mday = 1;
    EXPECT_EQ(logFileName(early), "9050101090702.log");
}

TEST(OperationLog, WritesBesideTheProgramAndCreatesTheFolder)
{
    TempDir dir;
    const LogFolders folders{dir.file("program/log"), dir.file("data/Galvorn/log")};
    const std::string path = writeOperationLog("a.jpg\t\tx\r\nb.jpg\t\ty", stamp(), folders);
    EXPECT_EQ(path, dir.file("program/log/") + kName);
    EXPECT_EQ(readFile(path), "a.jpg\t\tx\r\nb.jpg\t\ty");
    EXPECT_FALSE(std::filesystem::exists(dir.file("data")));
}

TEST(OperationLog, LogsOfTheSameSecondKeepEachOther)
{
    TempDir dir;
    const LogFolders folders{dir.file("log"), {}};
    const std::string texts[] = {"first camera", "second", "third"};
    const std::string names[] = {kName, "20240305090702_1.log", "20240305090702_2.log"};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(writeOperationLog(texts[i], stamp(), folders), dir.file("log/") + names[i]);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(readFile(dir.file("log/") + names[i]), texts[i]);
}

TEST_F(BatchAddLogText, LocalFaultsCarryTheirOwnReason)
{
    BatchAddLog log;
    log.addLine("blurred.png", languageText("IDCS_PICTURE_UNREADABLE"));
    log.addRefusal("anna.jpg", -16);
    EXPECT_EQ(log.text(), "blurred.png\t\tThe picture cannot be read\r\nanna.jpg\t\t" +
                              languageText("IDCS_FACE_MATCH_IMPORT_FAIL"));
}

TEST(OperationLog, FallsBackWhenTheProgramFolderCannotHoldAFolder)
{
    // A folder below a regular file can never be made, even by root.
    TempDir dir;
    std::ofstream(dir.file("program")) << "not a folder";
    const LogFolders folders{dir.file("program/log"), dir.file("data/Galvorn/log")};
    const std::string path = writeOperationLog("text", stamp(), folders);
    EXPECT_EQ(path, dir.file("data/Galvorn/log/") + kName);
    EXPECT_EQ(readFile(path), "text");
}

TEST(OperationLog, FallsBackWhenTheProgramFolderIsReadOnly)
{
    TempDir dir;
    std::filesystem::create_directories(dir.file("installed/log"));
    ASSERT_EQ(::chmod(dir.file("installed").c_str(), 0555), 0);
    ASSERT_EQ(::chmod(dir.file("installed/log").c_str(), 0555), 0);
    if (::access(dir.file("installed").c_str(), W_OK) == 0)
        GTEST_SKIP() << "permissions do not bind this user (root); the regular-file case covers "
                        "the fallback";

    for (const char* primary : {"installed/log", "installed/new/log"}) {
        const LogFolders folders{dir.file(primary), dir.file("data/Galvorn/log")};
        const std::string path = writeOperationLog("text", stamp(), folders);
        EXPECT_EQ(path, dir.file("data/Galvorn/log/") + kName) << primary;
        EXPECT_EQ(readFile(path), "text") << primary;
    }
}

TEST(OperationLog, NothingWrittenWhenNoFolderTakesTheFile)
{
    TempDir dir;
    std::ofstream(dir.file("file")) << "x";
    EXPECT_EQ(writeOperationLog("text", stamp(), {dir.file("file/a"), dir.file("file/b")}), "");
    EXPECT_EQ(writeOperationLog("text", stamp(), {"", ""}), "");
}

TEST(OperationLog, DefaultFoldersAreBesideTheProgramThenInTheDataFolder)
{
    TempDir dir;
    const char* previous = std::getenv("XDG_DATA_HOME");
    const std::string saved = previous ? previous : "";
    ::setenv("XDG_DATA_HOME", dir.file("xdg").c_str(), 1);
    const LogFolders folders = defaultLogFolders();
    if (previous)
        ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");

    // The tests run from the build tree; the tsan preset builds no language/ beside them.
    if (platform::runsFromBuildTree())
        EXPECT_EQ(folders.primary, platform::executableDir() + "/log");
    else
        EXPECT_EQ(folders.primary, "");
    EXPECT_EQ(folders.fallback, dir.file("xdg/Galvorn/log"));
}
