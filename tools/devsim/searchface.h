#pragma once

#include "searchlib/wire.h"
#include "tools/devsim/reactor.h"

#include <cstdint>
#include <map>
#include <netinet/in.h>
#include <random>
#include <string>
#include <vector>

namespace galvorn::devsim {

class Camera;

// Answers search probes for one camera: listens on the search group and port on every
// multicast-capable interface and answers each probe by unicast to its sender, from the
// camera's bind address, in the probe's version. A probe that asks for an answer delay
// is answered after a random time up to that delay (at most the protocol's cap), with
// the camera's state as of then. Owns its socket and its pending answers.
class SearchFace
{
public:
    SearchFace(const Camera& camera, Reactor& reactor);
    ~SearchFace();

    SearchFace(const SearchFace&) = delete;
    SearchFace& operator=(const SearchFace&) = delete;

    bool open(std::string& error);

private:
    void onReadable();
    void answerLater(const searchlib::wire::Probe& probe, const sockaddr_in& to);
    void answer(const searchlib::wire::Probe& probe, const sockaddr_in& to);
    void send(const std::vector<std::uint8_t>& datagram, const sockaddr_in& to);

    const Camera& camera_;
    Reactor& reactor_;
    int fd_ = -1;
    std::minstd_rand random_;
    // The answers waiting for their time, by the number they were scheduled under.
    std::map<std::uint64_t, Reactor::TimerId> pending_;
    std::uint64_t answersScheduled_ = 0;
};

} // namespace galvorn::devsim
