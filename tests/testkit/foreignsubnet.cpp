#include "testkit/foreignsubnet.h"

#include "testkit/privatenetns.h"

#include <unistd.h>

namespace galvorn::testing {

namespace {

constexpr const char* kSubnetPrefix = "198.51.100.";

bool allMade(std::initializer_list<const ChildNetns*> namespaces)
{
    for (const ChildNetns* ns : namespaces) {
        if (!ns->ok())
            return false;
    }
    return true;
}

} // namespace

std::vector<int> ForeignSubnet::crowdedHosts()
{
    std::vector<int> hosts;
    for (int host = 1; host <= 250; ++host) {
        if (host != 10)
            hosts.push_back(host);
    }
    return hosts;
}

std::vector<std::string> ForeignSubnet::inCamera() const
{
    std::vector<std::string> words = camera_->enter();
    words.insert(words.end(), {"env", "GALVORN_NETNS=" + camera_->id()});
    return words;
}

ForeignSubnet::~ForeignSubnet()
{
    for (const std::string& name : pcLinks_)
        runIp({"link", "del", name});
}

// A veth pair from the PC to the peer's eth0.
bool ForeignSubnet::link(const std::string& pcSide, const ChildNetns& peer, const char* mac)
{
    if (!runIp({"link", "add", pcSide, "type", "veth", "peer", "name", "eth0", "netns",
                std::to_string(peer.pid())}))
        return false;
    pcLinks_.push_back(pcSide);
    return runIp({"link", "set", pcSide, "up"}) &&
           peer.ip({"link", "set", "eth0", "address", mac}) &&
           peer.ip({"link", "set", "eth0", "up"});
}

// A veth pair from a bridge port in the switch to the peer's eth0.
bool ForeignSubnet::port(const ChildNetns& peer, const std::string& name, const char* mac)
{
    return switch_->ip({"link", "add", name, "type", "veth", "peer", "name", "eth0", "netns",
                        std::to_string(peer.pid())}) &&
           switch_->ip({"link", "set", name, "master", "br0", "up"}) &&
           peer.ip({"link", "set", "eth0", "address", mac}) &&
           peer.ip({"link", "set", "eth0", "up"});
}

bool ForeignSubnet::build(const ForeignSubnetOptions& options, std::string& error)
{
    if (!inPrivateNetns()) {
        error = "refusing to build a network outside the test's private namespace";
        return false;
    }
    switch_ = std::make_unique<ChildNetns>();
    camera_ = std::make_unique<ChildNetns>();
    busy_ = std::make_unique<ChildNetns>();
    other_ = std::make_unique<ChildNetns>();
    if (!allMade({switch_.get(), camera_.get(), busy_.get(), other_.get()})) {
        error = "cannot create the namespaces";
        return false;
    }
    const bool bridged =
        switch_->ip({"link", "add", "br0", "type", "bridge", "mcast_snooping", "0"}) &&
        switch_->ip({"link", "set", "br0", "up"}) &&
        switch_->ip({"link", "add", "pc", "type", "veth", "peer", "name", kPcAdapter, "netns",
                     std::to_string(::getpid())}) &&
        switch_->ip({"link", "set", "pc", "master", "br0", "up"});
    if (bridged)
        pcLinks_.push_back(kPcAdapter);
    if (!bridged || !runIp({"addr", "add", "192.0.2.1/24", "dev", kPcAdapter}) ||
        !runIp({"link", "set", kPcAdapter, "up"})) {
        error = "cannot build the bridge";
        return false;
    }
    if (!port(*camera_, "cam", kCameraMac) ||
        !camera_->ip({"addr", "add", std::string(kCameraAddress) + "/24", "dev", "eth0"}) ||
        !camera_->ip({"addr", "add", std::string(kCameraSecond) + "/24", "dev", "eth0"})) {
        error = "cannot build the camera host";
        return false;
    }
    std::string busyAddresses;
    for (const int host : options.busyHosts)
        busyAddresses +=
            std::string("addr add ") + kSubnetPrefix + std::to_string(host) + "/24 dev eth0\n";
    if (!port(*busy_, "busy", "00:1A:2B:00:00:BB") || !busy_->ipBatch(busyAddresses)) {
        error = "cannot build the busy host";
        return false;
    }
    if (options.secondAdapter &&
        (!link(kPcSecondAdapter, *other_, kImpostorMac) ||
         !runIp({"addr", "add", "203.0.113.1/24", "dev", kPcSecondAdapter}) ||
         !other_->ip({"addr", "add", "203.0.113.2/24", "dev", "eth0"}) ||
         !other_->ip({"addr", "add", std::string(kCameraSecond) + "/24", "dev", "eth0"}))) {
        error = "cannot build the second adapter's network";
        return false;
    }
    return true;
}

} // namespace galvorn::testing
