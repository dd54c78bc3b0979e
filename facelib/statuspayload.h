#pragma once

#include "common/facefeatureimportandexport.h"
#include "support/inttypes.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The data that status records carry, written by the workers and read on the GUI thread.
// Every decoder refuses data of the wrong length instead of guessing.
namespace galvorn {

// Status 9 (log-in result) and 11 (device error): the code, 4 bytes little-endian.
std::vector<std::uint8_t> encodeResultCode(tint32 code);
std::optional<tint32> decodeResultCode(std::span<const std::uint8_t> data);

// Status 13: the data file's header as it stands (meaningful for data-file exports only),
// then the progress text without a terminator.
struct ProgressReport
{
    facefile::Header header;
    std::string text;
};
std::vector<std::uint8_t> encodeProgress(const facefile::Header& header, std::string_view text);
std::optional<ProgressReport> decodeProgress(std::span<const std::uint8_t> data);

// Status 14 at the end of a batch add that had refusals: u32 summary length, u32 log
// path length, the summary, the path.
struct BatchSummary
{
    std::string summary;
    std::string logPath;
};
std::vector<std::uint8_t> encodeBatchSummary(std::string_view summary, std::string_view logPath);
std::optional<BatchSummary> decodeBatchSummary(std::span<const std::uint8_t> data);

// done × 100 / total with two decimals and a percent sign ("37.50%"), whatever the
// locale. done is capped at total. With nothing to count (total 0) the text is "0.00%"
// until the transfer is complete and "100.00%" after.
std::string progressText(std::uint64_t done, std::uint64_t total, bool complete);
// The share a progress text shows, 0 to 100: the number before its percent sign, read
// as progressText() writes it. Nothing for any other text (a connecting text, a result).
std::optional<double> progressPercent(std::string_view text);

} // namespace galvorn
