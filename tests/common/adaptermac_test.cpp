#include "platform/adaptermac.h"

#include "tests/common/loopback.h"

#include <gtest/gtest.h>

using galvorn::platform::adapterMacForAddress;
using galvorn::platform::MacBytes;

namespace {

TEST(AdapterMac, TheAdapterHoldingTheAddressGivesItsMac)
{
    REQUIRE_PRIVATE_NETNS();
    testnet::TestInterface adapter("gvmac0", "02:00:5e:10:20:30", "198.51.100.7/24");
    ASSERT_TRUE(adapter.ok());
    struct Row
    {
        const char* name;
        std::uint32_t address;
        bool found;
        MacBytes mac;
    };
    const std::vector<Row> rows = {
        {"its own adapter", 0xC6336407, true, {0x02, 0x00, 0x5E, 0x10, 0x20, 0x30}},
        {"loopback", 0x7F000001, true, {}},
        {"no adapter", 0xCB007109, false, {}},
    };
    for (const Row& row : rows) {
        MacBytes mac;
        mac.fill(0xFF);
        EXPECT_EQ(adapterMacForAddress(row.address, mac), row.found) << row.name;
        EXPECT_EQ(mac, row.mac) << row.name;
    }
}

} // namespace
