#include "discovery/devicerecord.h"

#include <algorithm>
#include <string_view>

namespace {

constexpr std::string_view kOwnSeries = "VRN_IPC";
constexpr char kBetaMark[] = "beta";
// Betas numbered from here on are release builds that kept their beta name.
constexpr int kFirstReleaseBeta = 128;
constexpr qulonglong kSecondsPerMinute = 60;
constexpr qulonglong kSecondsPerHour = 60 * kSecondsPerMinute;
constexpr qulonglong kSecondsPerDay = 24 * kSecondsPerHour;

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isOwnSeries(std::string_view series)
{
    return std::ranges::equal(series, kOwnSeries,
                              [](char a, char b) { return lowerAscii(a) == lowerAscii(b); });
}

template <std::size_t N>
QString text(const char (&field)[N])
{
    const std::string_view view = SearchText(field);
    return QString::fromUtf8(view.data(), static_cast<qsizetype>(view.size()));
}

QString releaseVersion(const QString& version)
{
    const qsizetype mark = version.indexOf(QLatin1String(kBetaMark));
    if (mark < 0)
        return version;
    bool valid = false;
    const int beta = version.mid(mark + qsizetype(sizeof kBetaMark - 1)).toInt(&valid, 10);
    if (!valid || beta < kFirstReleaseBeta)
        return version;
    return version.left(mark) + QLatin1Char('1');
}

QString modelOrSpace(const QString& model)
{
    return model.isEmpty() ? QStringLiteral(" ") : model;
}

QString asIs(const QString& text)
{
    return text;
}

// Fills the window's record field by field. With the device's previous record, a text
// field whose bytes are unchanged takes the text made from them then.
void fill(const SEARCH_INFO& record, const OnlineDeviceInfoMaker::Previous* previous,
          OnlineDeviceInfo& info)
{
    const auto take = [&](const auto field, QString OnlineDeviceInfo::*target,
                          QString (*convert)(const QString&)) {
        if (previous && SearchText(previous->record.*field) == SearchText(record.*field))
            info.*target = previous->info.*target;
        else
            info.*target = convert(text(record.*field));
    };
    take(&SEARCH_INFO::devName, &OnlineDeviceInfo::devName, asIs);
    take(&SEARCH_INFO::ipAddr, &OnlineDeviceInfo::ipAddr, asIs);
    take(&SEARCH_INFO::maskAddr, &OnlineDeviceInfo::maskAddr, asIs);
    take(&SEARCH_INFO::ipAddr2, &OnlineDeviceInfo::ipAddr2, asIs);
    take(&SEARCH_INFO::maskAddr2, &OnlineDeviceInfo::maskAddr2, asIs);
    take(&SEARCH_INFO::route, &OnlineDeviceInfo::route, asIs);
    take(&SEARCH_INFO::dns1, &OnlineDeviceInfo::dns1, asIs);
    take(&SEARCH_INFO::dns2, &OnlineDeviceInfo::dns2, asIs);
    take(&SEARCH_INFO::mac, &OnlineDeviceInfo::mac, asIs);
    take(&SEARCH_INFO::productSeries, &OnlineDeviceInfo::productSeries, asIs);
    take(&SEARCH_INFO::softwareVer, &OnlineDeviceInfo::softwareVer, releaseVersion);
    take(&SEARCH_INFO::softwareBuildDate, &OnlineDeviceInfo::softwareBuildDate, asIs);
    take(&SEARCH_INFO::hardwareVer, &OnlineDeviceInfo::hardwareVer, asIs);
    take(&SEARCH_INFO::kernelVer, &OnlineDeviceInfo::kernelVer, asIs);
    take(&SEARCH_INFO::productModel, &OnlineDeviceInfo::productModel, modelOrSpace);
    take(&SEARCH_INFO::runningTime, &OnlineDeviceInfo::runningTime, asIs);
    take(&SEARCH_INFO::bootTime, &OnlineDeviceInfo::bootTime, asIs);
    info.dataPort = record.dataPort;
    info.httpPort = record.httpPort;
    info.dhcpSwitch = record.dhcpSwitch;
}

} // namespace

std::unique_ptr<OnlineDeviceInfo> MakeOnlineDeviceInfo(const SEARCH_INFO& record)
{
    if (!isOwnSeries(SearchText(record.productSeries)))
        return nullptr;
    auto info = std::make_unique<OnlineDeviceInfo>();
    fill(record, nullptr, *info);
    return info;
}

std::unique_ptr<OnlineDeviceInfo> OnlineDeviceInfoMaker::Make(const SEARCH_INFO& record)
{
    if (!isOwnSeries(SearchText(record.productSeries)))
        return nullptr;
    const std::string_view mac = SearchText(record.mac);
    const auto known = previous_.find(mac);
    auto info = std::make_unique<OnlineDeviceInfo>();
    fill(record, known != previous_.end() ? &known->second : nullptr, *info);
    if (record.status == SEARCH_STATUS_GONE) {
        if (known != previous_.end())
            previous_.erase(known);
    } else if (known != previous_.end()) {
        known->second = {record, *info};
    } else {
        if (previous_.size() >= kMaxRemembered)
            previous_.clear();
        previous_.emplace(std::string(mac), Previous{record, *info});
    }
    return info;
}

QString RunningTimeText(const QString& runningTime, const QString& dayText, const QString& hourText,
                        const QString& minuteText)
{
    bool valid = false;
    qulonglong seconds = runningTime.toULongLong(&valid, 10);
    if (!valid)
        seconds = 0;
    const qulonglong days = seconds / kSecondsPerDay;
    seconds %= kSecondsPerDay;
    const qulonglong hours = seconds / kSecondsPerHour;
    seconds %= kSecondsPerHour;
    const qulonglong minutes = seconds / kSecondsPerMinute;
    seconds %= kSecondsPerMinute;
    const auto number = [](qulonglong value) { return QString::number(value); };
    // One-pass placeholders, so that a unit text holding "%1" is not filled again.
    if (days != 0)
        return QStringLiteral("%1%2%3%4%5%6")
            .arg(number(days), dayText, number(hours), hourText, number(minutes), minuteText);
    if (hours != 0)
        return QStringLiteral("%1%2%3%4").arg(number(hours), hourText, number(minutes), minuteText);
    if (minutes != 0)
        return QStringLiteral("%1%2").arg(number(minutes), minuteText);
    if (seconds != 0)
        return QStringLiteral("%1%2").arg(number(0), minuteText);
    return QString();
}
