#include "facelib/statustable.h"

#include "config/languagetable.h"
#include "facelib/resultcodes.h"
#include "facelib/textfield.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace galvorn {

namespace {

constexpr char kLoginFailKey[] = "IDCS_LOGIN_FAIL";
constexpr std::string_view kCodePlaceholder = "%1";
// Shown in a log-in failure text when the record carries no code.
constexpr std::string_view kMissingCode = "?";

// The statuses whose row text is a fixed key. Every one but Connecting ends the device's
// part of the run.
struct FixedText
{
    DeviceStatus status;
    const char* key;
    bool final;
};

constexpr std::array<FixedText, 8> kFixedTexts{{
    {DeviceStatus::PortError, "IDCS_PORT_ERROR", true},
    {DeviceStatus::ConnectFail, "IDCS_CONNECT_FAIL", true},
    {DeviceStatus::UserPwdError, "IDCS_USERPWD_ERROR", true},
    {DeviceStatus::MaxConnect, "IDCS_MAX_CONNECT", true},
    {DeviceStatus::Success, "IDCS_SUCCESS", true},
    {DeviceStatus::ExportFail, "IDCS_FACE_MATCH_EXPORT_FAIL", true},
    {DeviceStatus::ImportFail, "IDCS_FACE_MATCH_IMPORT_FAIL", true},
    {DeviceStatus::Connecting, "IDCS_CONNECTING_DEVICE", false},
}};

const FixedText* fixedText(tuint32 status)
{
    const auto entry = std::find_if(kFixedTexts.begin(), kFixedTexts.end(), [status](auto& e) {
        return static_cast<tuint32>(e.status) == status;
    });
    return entry == kFixedTexts.end() ? nullptr : &*entry;
}

std::string fillCode(std::string text, std::string_view code)
{
    for (auto at = text.find(kCodePlaceholder); at != std::string::npos;
         at = text.find(kCodePlaceholder, at + code.size()))
        text.replace(at, kCodePlaceholder.size(), code);
    return text;
}

bool isDecimal(std::string_view text)
{
    if (!text.empty() && text.front() == '-')
        text.remove_prefix(1);
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
}

// True for the log-in failure text with any code, or with the missing-code mark.
bool isLoginFailText(std::string_view rowText)
{
    const std::string pattern = languageText(kLoginFailKey);
    const auto at = pattern.find(kCodePlaceholder);
    if (at == std::string::npos)
        return !pattern.empty() && rowText == pattern;
    const std::string_view prefix = std::string_view(pattern).substr(0, at);
    const std::string_view suffix = std::string_view(pattern).substr(at + kCodePlaceholder.size());
    if (rowText.size() < prefix.size() + suffix.size() || !rowText.starts_with(prefix) ||
        !rowText.ends_with(suffix))
        return false;
    // Only the first placeholder is matched; the language files use it once.
    const std::string_view code =
        rowText.substr(prefix.size(), rowText.size() - prefix.size() - suffix.size());
    return code == kMissingCode || isDecimal(code);
}

StatusEffect finalRow(std::string text)
{
    StatusEffect effect;
    effect.rowText = std::move(text);
    effect.final = true;
    return effect;
}

StatusEffect progressEffect(const CallbackInfo& info, OperationType operation)
{
    const auto report = decodeProgress(info.data);
    if (!report)
        return {};
    StatusEffect effect;
    effect.rowText = report->text;
    effect.progress = progressPercent(report->text);
    if (operation == OperationType::ExportData)
        effect.panes = summaryPanes(report->header);
    return effect;
}

} // namespace

std::string loginFailText(tint32 code)
{
    return fillCode(languageText(kLoginFailKey), std::to_string(code));
}

std::string deviceErrorText(const TransferTables& tables, std::string_view deviceKey)
{
    const tint32 code = tables.errorCodeOfDevice(deviceKey);
    return code == 0 ? languageText(kUnknownResultKey) : resultCodeText(code);
}

StatusEffect statusEffect(const CallbackInfo& info, OperationType operation,
                          const TransferTables& tables)
{
    if (const FixedText* fixed = fixedText(info.status)) {
        StatusEffect effect;
        effect.rowText = languageText(fixed->key);
        effect.final = fixed->final;
        if (fixed->status == DeviceStatus::ImportFail && operation == OperationType::BatchAdd)
            effect.batchSummary = decodeBatchSummary(info.data);
        return effect;
    }
    switch (static_cast<DeviceStatus>(info.status)) {
    case DeviceStatus::LoginFail: {
        const auto code = decodeResultCode(info.data);
        return finalRow(code ? loginFailText(*code)
                             : fillCode(languageText(kLoginFailKey), kMissingCode));
    }
    case DeviceStatus::DeviceError:
        return finalRow(deviceErrorText(tables, fieldText(info.mac)));
    case DeviceStatus::Progress:
        return progressEffect(info, operation);
    default:
        return {};
    }
}

bool isFinalRowText(std::string_view rowText, std::string_view rowDeviceErrorText)
{
    if (rowText.empty())
        return false;
    const bool fixedFinal = std::any_of(kFixedTexts.begin(), kFixedTexts.end(), [&](auto& e) {
        return e.final && rowText == languageText(e.key);
    });
    return fixedFinal || rowText == rowDeviceErrorText || isLoginFailText(rowText);
}

} // namespace galvorn
