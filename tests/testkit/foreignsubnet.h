#pragma once

#include "testkit/childnetns.h"

#include <memory>
#include <string>
#include <vector>

namespace galvorn::testing {

// The test network of the address preparation, built from inside the test's private
// namespace, which plays the PC:
//
//   PC lan0 192.0.2.1/24 ─── bridge (switch namespace) ─┬─ camera: eth0 192.0.2.10/24 and its
//                                                        │  second address 198.51.100.10/24
//                                                        └─ busy: eth0 with the busy hosts of
//                                                           198.51.100.0/24, all in use
//   PC lan1 203.0.113.1/24 ─── other: eth0 203.0.113.2/24 and an impostor 198.51.100.10
//                              with another MAC (only with a second adapter)
//
// Every host answers ARP through its own kernel. The PC's interfaces go when the object
// does.
struct ForeignSubnetOptions
{
    bool secondAdapter = true;
    // Hosts (last octet) of 198.51.100.0/24 that the busy namespace holds.
    std::vector<int> busyHosts;
};

class ForeignSubnet
{
public:
    static constexpr const char* kCameraMac = "00:1A:2B:00:00:0A";
    static constexpr const char* kImpostorMac = "00:1A:2B:00:00:EE";
    static constexpr const char* kCameraAddress = "192.0.2.10";
    static constexpr const char* kCameraSecond = "198.51.100.10";
    static constexpr const char* kSecondMask = "255.255.255.0";
    static constexpr const char* kPcAdapter = "lan0";
    static constexpr const char* kPcSecondAdapter = "lan1";

    // Every host of 198.51.100.0/24 from .1 to .250 but the camera's: .251 to .254 stay
    // free.
    static std::vector<int> crowdedHosts();

    ForeignSubnet() = default;
    ~ForeignSubnet();

    ForeignSubnet(const ForeignSubnet&) = delete;
    ForeignSubnet& operator=(const ForeignSubnet&) = delete;

    // False with the reason in `error` when the network cannot be built.
    bool build(const ForeignSubnetOptions& options, std::string& error);

    // The words that start a program in the camera's namespace, with GALVORN_NETNS naming
    // it as the simulator wants.
    std::vector<std::string> inCamera() const;

private:
    bool link(const std::string& pcSide, const ChildNetns& peer, const char* mac);
    bool port(const ChildNetns& peer, const std::string& name, const char* mac);

    std::unique_ptr<ChildNetns> switch_;
    std::unique_ptr<ChildNetns> camera_;
    std::unique_ptr<ChildNetns> busy_;
    std::unique_ptr<ChildNetns> other_;
    std::vector<std::string> pcLinks_;
};

} // namespace galvorn::testing
