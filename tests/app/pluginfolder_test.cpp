#include "app/pluginfolder.h"
#include "testkit/tempdir.h"

#include <QCoreApplication>
#include <QDir>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

// A "plugins" folder where the program is started from is not the program's: its code
// must not be loaded.
TEST(PluginFolder, IgnoresThePluginsOfTheWorkingDirectory)
{
    TempDir dir;
    std::filesystem::create_directories(dir.file("plugins/imageformats"));
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    galvorn::addProgramPluginFolder();
    std::filesystem::current_path(previous);

    const QString foreign = QDir(QString::fromStdString(dir.file("plugins"))).canonicalPath();
    ASSERT_FALSE(foreign.isEmpty());
    EXPECT_FALSE(QCoreApplication::libraryPaths().contains(foreign));
}
