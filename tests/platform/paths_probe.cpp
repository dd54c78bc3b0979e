// Prints, one per line, what the program's place decides: the data folder, whether it
// runs from a build tree, and the log folder beside it (empty when there is none).
#include "facelib/operationlog.h"
#include "platform/paths.h"

#include <cstdio>

int main()
{
    std::printf("%s\n%s\n%s\n", galvorn::platform::dataDir().c_str(),
                galvorn::platform::runsFromBuildTree() ? "build tree" : "installed",
                galvorn::defaultLogFolders().primary.c_str());
    return 0;
}
