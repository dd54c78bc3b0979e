#pragma once

#include <string>

namespace galvorn::fuzz {

// An empty folder for one input of a target that reads or writes files: "input" below a
// folder that the process makes once in the temporary folder and removes when it exits.
// The folder is emptied and removed with the object, so inputs never see each other's
// files.
class ScratchFolder
{
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    // The folder this one lies in; nothing else of the process is written there.
    static const std::string& root();

private:
    std::string path_;
};

} // namespace galvorn::fuzz
