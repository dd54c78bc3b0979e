#include "testkit/tempdir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The probe's lines, run from a copy at program.
std::vector<std::string> probeFrom(const std::string& program)
{
    fs::create_directories(fs::path(program).parent_path());
    fs::copy_file(GALVORN_PATHS_PROBE, program);
    std::vector<std::string> lines;
    FILE* out = ::popen(("'" + program + "'").c_str(), "r");
    if (!out)
        return lines;
    char line[4096];
    while (std::fgets(line, sizeof line, out)) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n')
            text.pop_back();
        lines.push_back(text);
    }
    ::pclose(out);
    return lines;
}

TEST(Paths, BuildTreeKeepsDataAndLogsBesideTheProgram)
{
    TempDir dir;
    fs::create_directories(dir.file("build/bin/language"));
    EXPECT_EQ(
        probeFrom(dir.file("build/bin/probe")),
        (std::vector<std::string>{dir.file("build/bin"), "build tree", dir.file("build/bin/log")}));
}

TEST(Paths, InstallationFindsItsDataInTheDataFolderAndWritesNothingBesideItself)
{
    TempDir dir;
    fs::create_directories(dir.file("usr/share/galvorn/language"));
    const std::string data =
        (fs::path(dir.file("usr/bin")) / GALVORN_DATA_FROM_BINDIR).lexically_normal().string();
    ASSERT_EQ(data, dir.file("usr/share/galvorn"));
    EXPECT_EQ(probeFrom(dir.file("usr/bin/probe")),
              (std::vector<std::string>{data, "installed", ""}));
}

} // namespace
