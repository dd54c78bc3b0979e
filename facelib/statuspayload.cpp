#include "facelib/statuspayload.h"

#include "common/wirebuffer.h"

#include <algorithm>
#include <charconv>

namespace galvorn {

using common::WireReader;
using common::WireWriter;

std::vector<std::uint8_t> encodeResultCode(tint32 code)
{
    WireWriter writer;
    writer.u32(static_cast<std::uint32_t>(code));
    return writer.take();
}

std::optional<tint32> decodeResultCode(std::span<const std::uint8_t> data)
{
    WireReader reader(data);
    const auto code = static_cast<tint32>(reader.u32());
    if (!reader.ok() || reader.remaining() != 0)
        return std::nullopt;
    return code;
}

std::vector<std::uint8_t> encodeProgress(const facefile::Header& header, std::string_view text)
{
    WireWriter writer;
    writer.bytes(facefile::encodeHeader(header));
    writer.text(text, text.size());
    return writer.take();
}

std::optional<ProgressReport> decodeProgress(std::span<const std::uint8_t> data)
{
    ProgressReport report;
    if (!facefile::decodeHeader(data, report.header))
        return std::nullopt;
    const auto text = data.subspan(facefile::kHeaderSize);
    report.text.assign(text.begin(), text.end());
    return report;
}

std::vector<std::uint8_t> encodeBatchSummary(std::string_view summary, std::string_view logPath)
{
    WireWriter writer;
    writer.u32(static_cast<std::uint32_t>(summary.size()));
    writer.u32(static_cast<std::uint32_t>(logPath.size()));
    writer.text(summary, summary.size());
    writer.text(logPath, logPath.size());
    return writer.take();
}

std::optional<BatchSummary> decodeBatchSummary(std::span<const std::uint8_t> data)
{
    WireReader reader(data);
    const std::uint64_t summarySize = reader.u32();
    const std::uint64_t pathSize = reader.u32();
    if (!reader.ok() || reader.remaining() != summarySize + pathSize)
        return std::nullopt;
    const auto summary = reader.bytes(summarySize);
    const auto path = reader.bytes(pathSize);
    return BatchSummary{{summary.begin(), summary.end()}, {path.begin(), path.end()}};
}

std::string progressText(std::uint64_t done, std::uint64_t total, bool complete)
{
    double percent = complete ? 100.0 : 0.0;
    if (total != 0)
        percent = static_cast<double>(std::min(done, total)) * 100.0 / static_cast<double>(total);
    char text[16];
    const auto result =
        std::to_chars(text, text + sizeof text - 1, percent, std::chars_format::fixed, 2);
    *result.ptr = '%';
    return {text, result.ptr + 1};
}

std::optional<double> progressPercent(std::string_view text)
{
    if (!text.ends_with('%'))
        return std::nullopt;
    const std::string_view number = text.substr(0, text.size() - 1);
    double percent = 0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), percent,
                                        std::chars_format::fixed);
    // Written so that a NaN fails too.
    if (result.ec != std::errc() || result.ptr != number.data() + number.size() ||
        !(percent >= 0 && percent <= 100))
        return std::nullopt;
    return percent;
}

} // namespace galvorn
