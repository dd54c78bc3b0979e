#pragma once

#include <netlink/addr.h>
#include <netlink/socket.h>

#include <memory>

// Owners of the libnl objects that the rtnetlink code of this folder makes.
namespace galvorn::platform {

struct NlSocketFree
{
    void operator()(nl_sock* sock) const { nl_socket_free(sock); }
};
struct NlAddrPut
{
    void operator()(nl_addr* addr) const { nl_addr_put(addr); }
};

using NlSocketPtr = std::unique_ptr<nl_sock, NlSocketFree>;
using NlAddrPtr = std::unique_ptr<nl_addr, NlAddrPut>;

} // namespace galvorn::platform
