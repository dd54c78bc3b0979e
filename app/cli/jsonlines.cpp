#include "app/cli/jsonlines.h"

namespace galvorn::cli {

void writeJsonLine(std::ostream& out, const nlohmann::ordered_json& event)
{
    out << event.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n'
        << std::flush;
}

} // namespace galvorn::cli
