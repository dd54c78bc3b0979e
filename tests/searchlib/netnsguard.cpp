// Linked into every test binary that searches or simulates cameras: it refuses to run
// the tests outside the private network namespace that tests/netns/ makes for them.

#include "tools/devsim/privatenetwork.h"

#include <gtest/gtest.h>

namespace {

class NetnsGuard : public ::testing::Environment
{
public:
    void SetUp() override
    {
        std::string reason;
        if (!galvorn::devsim::inDeclaredNamespace(reason))
            GTEST_FAIL() << "refusing to run: " << reason;
    }
};

const auto* const kGuard = ::testing::AddGlobalTestEnvironment(new NetnsGuard);

} // namespace
