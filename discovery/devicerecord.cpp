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

} // namespace

std::unique_ptr<OnlineDeviceInfo> MakeOnlineDeviceInfo(const SEARCH_INFO& record)
{
    if (!isOwnSeries(SearchText(record.productSeries)))
        return nullptr;
    auto info = std::make_unique<OnlineDeviceInfo>();
    info->devName = text(record.devName);
    info->ipAddr = text(record.ipAddr);
    info->maskAddr = text(record.maskAddr);
    info->ipAddr2 = text(record.ipAddr2);
    info->maskAddr2 = text(record.maskAddr2);
    info->route = text(record.route);
    info->dns1 = text(record.dns1);
    info->dns2 = text(record.dns2);
    info->mac = text(record.mac);
    info->productSeries = text(record.productSeries);
    info->softwareVer = releaseVersion(text(record.softwareVer));
    info->softwareBuildDate = text(record.softwareBuildDate);
    info->hardwareVer = text(record.hardwareVer);
    info->kernelVer = text(record.kernelVer);
    info->productModel = text(record.productModel);
    if (info->productModel.isEmpty())
        info->productModel = QStringLiteral(" ");
    info->runningTime = text(record.runningTime);
    info->bootTime = text(record.bootTime);
    info->dataPort = record.dataPort;
    info->httpPort = record.httpPort;
    info->dhcpSwitch = record.dhcpSwitch;
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
