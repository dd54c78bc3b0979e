#include "tools/devsim/privatenetwork.h"

#include <cstdlib>
#include <filesystem>

namespace galvorn::devsim {

bool inDeclaredNamespace(std::string& reason)
{
    const char* declared = std::getenv(kNetnsVariable);
    std::error_code error;
    const std::string own = std::filesystem::read_symlink("/proc/self/ns/net", error).string();
    if (error) {
        reason = "cannot read /proc/self/ns/net";
        return false;
    }
    if (!declared || own != declared) {
        reason = std::string("not inside a private network namespace (") + kNetnsVariable +
                 " does not name " + own +
                 "); start it through tests/netns/run-in-netns.sh or tools/devsim/demo-netns.sh";
        return false;
    }
    return true;
}

} // namespace galvorn::devsim
