#pragma once

#include <string>

namespace galvorn::devsim {

// Names the environment variable through which the namespace scripts (tests/netns/,
// tools/devsim/demo-netns.sh) declare the network namespace they made, as
// `readlink /proc/self/ns/net` prints it.
inline constexpr const char* kNetnsVariable = "GALVORN_NETNS";

// True when this process runs in the network namespace declared in GALVORN_NETNS. The
// simulator and the network tests refuse to run otherwise, so that nothing they send can
// reach the machine's own network. On false, `reason` says what is wrong.
bool inDeclaredNamespace(std::string& reason);

} // namespace galvorn::devsim
