#pragma once

#include <nlohmann/json.hpp>

#include <ostream>

namespace galvorn::cli {

// Writes the event as one line of JSON and flushes it, so that a reader sees each event
// as it happens. Text that is not valid UTF-8 (a file name, say) is written with
// replacement characters instead of failing.
void writeJsonLine(std::ostream& out, const nlohmann::ordered_json& event);

} // namespace galvorn::cli
