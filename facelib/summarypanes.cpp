#include "facelib/summarypanes.h"

#include "config/languagetable.h"

#include <string_view>

namespace galvorn {

namespace {

struct PaneValues
{
    std::string librarySize;
    std::string personCount;
    std::string updateDate;
    std::string strangerCount;
    std::string whitelistCount;
    std::string blacklistCount;
};

std::string line(std::string_view indent, const char* key, const std::string& value)
{
    return std::string(indent) + languageText(key) + ":" + value;
}

SummaryPanes format(const PaneValues& v)
{
    const std::string gap = "\r\n\r\n";
    return {line("\t", "IDCS_FACE_LIBRARY_SIZE", v.librarySize) + gap +
                line("\t", "IDCS_TOTAL_ITEM", v.personCount) + gap +
                line("\t", "IDCS_UPDATE_DATE", v.updateDate),
            line("", "IDCS_TYPE_STRANGER", v.strangerCount) + gap +
                line("", "IDCS_TYPE_WHITELIST", v.whitelistCount) + gap +
                line("", "IDCS_TYPE_BLACKLIST", v.blacklistCount)};
}

} // namespace

SummaryPanes summaryPanes(const facefile::Header& header)
{
    return format({std::to_string(static_cast<std::int32_t>(header.librarySize)),
                   std::to_string(header.personCount), header.updateDateText(),
                   std::to_string(header.strangerCount), std::to_string(header.whitelistCount),
                   std::to_string(header.blacklistCount)});
}

SummaryPanes emptySummaryPanes()
{
    const std::string none = "--";
    return format({none, none, none, none, none, none});
}

} // namespace galvorn
