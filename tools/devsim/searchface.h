#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace galvorn::devsim {

class Camera;
class Reactor;

// Answers search probes for one camera: listens on the search group and port on every
// multicast-capable interface and answers each probe by unicast to its sender, from the
// camera's bind address. Owns its socket.
class SearchFace
{
public:
    SearchFace(const Camera& camera, Reactor& reactor) : camera_(camera), reactor_(reactor) {}
    ~SearchFace();

    SearchFace(const SearchFace&) = delete;
    SearchFace& operator=(const SearchFace&) = delete;

    bool open(std::string& error);

private:
    void onReadable();
    void answer(const std::vector<std::uint8_t>& datagram, const void* to, unsigned toLength);

    const Camera& camera_;
    Reactor& reactor_;
    int fd_ = -1;
};

} // namespace galvorn::devsim
