#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace galvorn::devsim {

class Camera;

// The simulator's command language (docs/devsim.md): one command per line, each answered
// by one line, "ok" or "error <reason>". Applies commands to the cameras it is given; it
// does not own them.
class ControlChannel
{
public:
    explicit ControlChannel(const std::vector<std::unique_ptr<Camera>>& cameras) : cameras_(cameras)
    {}

    // Runs one command line. Returns the reply line, without its line end. Sets `quit`
    // when the command asks the simulator to end.
    std::string execute(std::string_view line, bool& quit);

private:
    // The cameras a selector names: a MAC (either case) or "*" for all.
    std::vector<Camera*> select(std::string_view selector) const;

    const std::vector<std::unique_ptr<Camera>>& cameras_;
};

} // namespace galvorn::devsim
