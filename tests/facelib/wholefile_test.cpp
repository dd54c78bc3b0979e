#include "platform/wholefile.h"
#include "testkit/tempdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using galvorn::platform::ReadWholeTextFile;
using galvorn::platform::WholeFileFault;

TEST(WholeFile, ReadsRegularFilesUpToTheBoundAndSaysWhyNot)
{
    TempDir dir;
    dir.write("ten", "0123456789");
    dir.write("empty", "");
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    const struct
    {
        std::string path;
        std::size_t bound;
        std::optional<std::string> text;
        WholeFileFault fault;
    } cases[] = {
        {dir.file("ten"), 10, "0123456789", WholeFileFault::None},
        {dir.file("ten"), 9, std::nullopt, WholeFileFault::TooLarge},
        {dir.file("empty"), 0, "", WholeFileFault::None},
        {dir.file("missing"), 10, std::nullopt, WholeFileFault::Missing},
        {dir.file("ten/below"), 10, std::nullopt, WholeFileFault::Missing},
        {dir.path(), 10, std::nullopt, WholeFileFault::Unreadable},
        {dir.file("fifo"), 10, std::nullopt, WholeFileFault::Unreadable},
    };
    for (const auto& each : cases) {
        WholeFileFault fault = WholeFileFault::None;
        EXPECT_EQ(ReadWholeTextFile(each.path, each.bound, fault), each.text) << each.path;
        EXPECT_EQ(fault, each.fault) << each.path;
    }
}
