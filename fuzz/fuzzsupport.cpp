#include "fuzz/fuzzinput.h"
#include "fuzz/scratchfolder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <stdlib.h>
#include <system_error>

namespace galvorn::fuzz {

void fail(const char* file, int line, const char* property)
{
    std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, property);
    std::abort();
}

namespace {

namespace fs = std::filesystem;

std::string& processFolder()
{
    static std::string folder;
    return folder;
}

void removeProcessFolder()
{
    std::error_code error;
    fs::remove_all(processFolder(), error);
}

} // namespace

const std::string& ScratchFolder::root()
{
    static std::once_flag made;
    std::call_once(made, [] {
        std::string pattern = (fs::temp_directory_path() / "galvorn-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("fuzz scratch folder");
            std::abort();
        }
        processFolder() = pattern;
        std::atexit(removeProcessFolder);
    });
    return processFolder();
}

ScratchFolder::ScratchFolder() : path_(root() + "/input")
{
    std::error_code error;
    fs::remove_all(path_, error);
    fs::create_directory(path_, error);
}

ScratchFolder::~ScratchFolder()
{
    std::error_code error;
    fs::remove_all(path_, error);
}

} // namespace galvorn::fuzz
