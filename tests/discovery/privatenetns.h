#pragma once

#include "testkit/privatenetns.h"

#include <string>
#include <vector>

using galvorn::testing::inPrivateNetns;
using galvorn::testing::runIp;

// A bridge with no ports: an interface of its own, up, that carries nothing anywhere.
// Interfaces get their index in the order they are made.
inline bool addBridge(const std::string& name, const std::string& cidr, bool up = true)
{
    if (!runIp({"link", "add", name, "type", "bridge"}))
        return false;
    if (!cidr.empty() && !runIp({"addr", "add", cidr, "dev", name}))
        return false;
    return !up || runIp({"link", "set", name, "up"});
}
