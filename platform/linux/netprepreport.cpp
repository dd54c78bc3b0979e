#include "platform/netprepreport.h"

#include "platform/netif.h"

#include <array>
#include <utility>

#include <nlohmann/json.hpp>

namespace galvorn::platform {

namespace {

using Json = nlohmann::json;

constexpr std::array<std::pair<NetprepOutcome, const char*>, 7> kOutcomes = {{
    {NetprepOutcome::Added, "added"},
    {NetprepOutcome::NotNeeded, "not-needed"},
    {NetprepOutcome::NoAdapter, "no-adapter"},
    {NetprepOutcome::NoFreeAddress, "no-free-address"},
    {NetprepOutcome::MissingCapability, "missing-capability"},
    {NetprepOutcome::SystemFailed, "system-failed"},
    {NetprepOutcome::Refused, "refused"},
}};

constexpr char kResult[] = "result";
constexpr char kAdapter[] = "adapter";
constexpr char kIndex[] = "ifindex";
constexpr char kFoundByArp[] = "foundByArp";
constexpr char kAddress[] = "address";
constexpr char kMask[] = "mask";
constexpr char kReason[] = "reason";
constexpr char kCapability[] = "capability";
constexpr char kCall[] = "call";
constexpr char kError[] = "error";

const char* outcomeWord(NetprepOutcome outcome)
{
    for (const auto& [value, word] : kOutcomes) {
        if (value == outcome)
            return word;
    }
    return "system-failed";
}

bool outcomeOf(const std::string& word, NetprepOutcome& outcome)
{
    for (const auto& [value, text] : kOutcomes) {
        if (word == text) {
            outcome = value;
            return true;
        }
    }
    return false;
}

void putText(Json& json, const char* key, const std::string& text)
{
    if (!text.empty())
        json[key] = text;
}

// An absent key leaves the field as it is; a key of another type fails.
bool readText(const Json& json, const char* key, std::string& text)
{
    const auto found = json.find(key);
    if (found == json.end())
        return true;
    if (!found->is_string())
        return false;
    text = found->get<std::string>();
    return true;
}

bool readAddress(const Json& json, const char* key, std::uint32_t& address)
{
    std::string text;
    if (!readText(json, key, text))
        return false;
    return text.empty() || parseIpv4(text, address);
}

bool readIndex(const Json& json, unsigned& index)
{
    const auto found = json.find(kIndex);
    if (found == json.end())
        return true;
    if (!found->is_number_unsigned() || found->get<std::uint64_t>() > UINT32_MAX)
        return false;
    index = found->get<unsigned>();
    return true;
}

bool readFlag(const Json& json, bool& flag)
{
    const auto found = json.find(kFoundByArp);
    if (found == json.end())
        return true;
    if (!found->is_boolean())
        return false;
    flag = found->get<bool>();
    return true;
}

} // namespace

std::string FormatNetprepReport(const NetprepReport& report)
{
    Json json = Json::object();
    json[kResult] = outcomeWord(report.outcome);
    putText(json, kAdapter, report.adapter);
    if (!report.adapter.empty()) {
        json[kIndex] = report.adapterIndex;
        json[kFoundByArp] = report.foundByArp;
    }
    if (report.address != 0)
        json[kAddress] = ipv4Text(report.address);
    if (report.mask != 0)
        json[kMask] = ipv4Text(report.mask);
    putText(json, kReason, report.reason);
    putText(json, kCapability, report.capability);
    putText(json, kCall, report.call);
    putText(json, kError, report.error);
    // Replacement characters for invalid UTF-8 in system texts, never an exception.
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

bool ParseNetprepReport(std::string_view line, NetprepReport& report)
{
    const Json json = Json::parse(line, nullptr, false);
    if (json.is_discarded() || !json.is_object())
        return false;
    NetprepReport read;
    std::string outcome;
    if (!readText(json, kResult, outcome) || !outcomeOf(outcome, read.outcome))
        return false;
    const bool ok = readText(json, kAdapter, read.adapter) && readIndex(json, read.adapterIndex) &&
                    readFlag(json, read.foundByArp) && readAddress(json, kAddress, read.address) &&
                    readAddress(json, kMask, read.mask) && readText(json, kReason, read.reason) &&
                    readText(json, kCapability, read.capability) &&
                    readText(json, kCall, read.call) && readText(json, kError, read.error);
    if (!ok)
        return false;
    report = std::move(read);
    return true;
}

} // namespace galvorn::platform
