#pragma once

#include "languagefixture.h"
#include "testkit/tempdir.h"

#include <cstddef>
#include <filesystem>
#include <string>

// A run's test with the program's language files and a fresh folder of its own, removed
// with the test: the export folder of the run's jobs and the cameras' recordings lie in it.
class RunFolderTest : public WithLanguage
{
protected:
    void SetUp() override
    {
        WithLanguage::SetUp();
        std::filesystem::create_directories(exportFolder());
    }

    std::filesystem::path folder() const { return temp_.path(); }
    std::filesystem::path exportFolder() const { return folder() / "export"; }
    // Where simulated camera `camera` records the requests it receives.
    std::filesystem::path recording(std::size_t camera) const
    {
        return folder() / ("camera" + std::to_string(camera) + ".log");
    }

private:
    const TempDir temp_;
};
