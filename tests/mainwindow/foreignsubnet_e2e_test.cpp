// The real window reaches a camera whose second address lies in a subnet the PC does not
// have: Start adds a free address of that subnet to the PC's adapter through the helper,
// and the run logs in at the second address. On the namespace network of
// testkit/foreignsubnet.h, inside a private namespace.
#include "platform/adapters.h"
#include "platform/netif.h"
#include "testkit/devsimprocess.h"
#include "testkit/foreignsubnet.h"
#include "testkit/privatenetns.h"
#include "ui/devicetree/devicetree.h"
#include "ui/uitext.h"
#include "widgets/vistatreewidget.h"
#include "widgets/vrnlineedit.h"
#include "windowtest.h"

#include <QAbstractButton>
#include <QTest>

using galvorn::testing::DevsimProcess;
using galvorn::testing::ForeignSubnet;

namespace {

constexpr int kStatusColumn = 15;
constexpr int kAppearMs = 8000;
constexpr int kRunMs = 30000;

// The camera answers the search from its second address and serves the device protocol
// there; its first address shares the PC's subnet.
std::string cameraConfig()
{
    return std::string("[camera]\nmac = ") + ForeignSubnet::kCameraMac +
           "\nbind = " + ForeignSubnet::kCameraSecond + "\nip = " + ForeignSubnet::kCameraAddress +
           "\nmask = 255.255.255.0\nip2 = " + ForeignSubnet::kCameraSecond +
           "\nmask2 = " + ForeignSubnet::kSecondMask + "\nhttpPort = 80\ndevName = Far camera\n";
}

// The addresses of 198.51.100.0/24 that the PC holds.
std::vector<std::uint32_t> pcAddressesInSecondSubnet()
{
    std::vector<std::uint32_t> found;
    std::vector<galvorn::platform::Adapter> adapters;
    galvorn::platform::GetAdapterList(adapters);
    for (const auto& adapter : adapters) {
        for (const auto& entry : adapter.addresses) {
            if ((entry.address >> 8) == 0xC63364 && adapter.name == ForeignSubnet::kPcAdapter)
                found.push_back(entry.address);
        }
    }
    return found;
}

class ForeignSubnetEndToEnd : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        ASSERT_TRUE(galvorn::testing::inPrivateNetns());
        galvorn::testing::ForeignSubnetOptions options;
        options.secondAdapter = false;
        options.busyHosts = ForeignSubnet::crowdedHosts();
        std::string error;
        ASSERT_TRUE(net.build(options, error)) << error;
        ASSERT_TRUE(devsim.start(cameraConfig(), error, net.inCamera())) << error;
        window = std::make_unique<Galvorn>();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return window->deviceTree().deviceRowCount() == 1; }, kAppearMs));
    }

    void click(const char* name) const
    {
        QTest::mouseClick(window->findChild<QAbstractButton*>(QString::fromLatin1(name)),
                          Qt::LeftButton);
    }

    QTreeWidgetItem* cameraRow() const { return window->deviceTree().widget()->topLevelItem(0); }

    ForeignSubnet net;
    DevsimProcess devsim;
    std::unique_ptr<Galvorn> window;
};

} // namespace

TEST_F(ForeignSubnetEndToEnd, StartAddsAnAddressOfTheSubnetAndTheLoginSucceeds)
{
    ASSERT_TRUE(pcAddressesInSecondSubnet().empty());
    window->findChild<VRNLineEdit*>(QStringLiteral("passwordEdit"))->setText("123456");
    click("exportButton");
    click("csvRadio");
    window->applyBrowsedPath(config.path());
    cameraRow()->setCheckState(0, Qt::Checked);
    click("startButton");
    ASSERT_TRUE(window->runState().running());
    ASSERT_TRUE(QTest::qWaitFor([this] { return !window->runState().running(); }, kRunMs))
        << cameraRow()->text(kStatusColumn).toStdString();
    EXPECT_EQ(cameraRow()->text(kStatusColumn), uiText("IDCS_SUCCESS"));

    const std::vector<std::uint32_t> added = pcAddressesInSecondSubnet();
    ASSERT_EQ(added.size(), 1u) << "one address of the camera's subnet on lan0";
    EXPECT_GE(added[0] & 0xFF, 251u) << galvorn::platform::ipv4Text(added[0]) << " was in use";
    EXPECT_LE(added[0] & 0xFF, 254u);

    // A second run finds the subnet local and adds nothing more.
    click("startButton");
    ASSERT_TRUE(QTest::qWaitFor([this] { return !window->runState().running(); }, kRunMs));
    EXPECT_EQ(cameraRow()->text(kStatusColumn), uiText("IDCS_SUCCESS"));
    EXPECT_EQ(pcAddressesInSecondSubnet(), added);
}
