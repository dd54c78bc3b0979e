#pragma once

#include "facelib/personinfo.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A batch add again of only the persons that an earlier batch add's log names.
namespace galvorn {

// A log larger than this is not one a batch add wrote.
inline constexpr std::size_t kMaxRefusalLogBytes = 64u << 20;

// The text of a log file; empty when it cannot be read or is too large.
std::optional<std::string> ReadRefusalLog(const std::string& path);

// The picture names the log's lines begin with, in log order, each once. Lines without a
// reason are skipped, and a line may end in "\r\n" or in "\n".
std::vector<std::string> LoggedPictureNames(std::string_view log);

// The persons whose picture file name is one of `names`, in list order. `unmatched` gets
// the names that no person's picture has.
std::vector<PersonInfo> PersonsNamedInLog(const std::vector<PersonInfo>& persons,
                                          const std::vector<std::string>& names,
                                          std::vector<std::string>& unmatched);

} // namespace galvorn
