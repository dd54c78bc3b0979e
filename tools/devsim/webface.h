#pragma once

#include <map>
#include <string>

namespace galvorn::devsim {

class Camera;
class Reactor;

// The camera's web server: on its HTTP port at its bind address it answers every request
// with a small page naming the camera, then closes the connection. A camera whose HTTP
// port is 0 has no web face. Owns the listening socket and the open connections.
class WebFace
{
public:
    WebFace(const Camera& camera, Reactor& reactor) : camera_(camera), reactor_(reactor) {}
    ~WebFace();

    WebFace(const WebFace&) = delete;
    WebFace& operator=(const WebFace&) = delete;

    bool open(std::string& error);

    // The page served, as of now.
    std::string page() const;

private:
    struct Connection
    {
        std::string request;
        std::string response;
        std::size_t sent = 0;
    };

    void onAccept();
    void onConnection(int fd, short revents);
    void close(int fd);

    const Camera& camera_;
    Reactor& reactor_;
    int listenFd_ = -1;
    std::map<int, Connection> connections_;
};

} // namespace galvorn::devsim
