#include "discovery/searchinfo.h"

#include "support/xmldocument.h"

#include <climits>
#include <optional>
#include <string>

namespace {

using galvorn::XmlDocument;

constexpr std::string_view kRootElement = "multicastSearchResult";
// Answers whose product series lacks this text come from other makers' devices.
constexpr std::string_view kSeriesMark = "VRN";

// The text of the named child of the main element, searched from the first child.
std::optional<std::string> childText(XmlDocument& doc, std::string_view name)
{
    doc.resetChildPos();
    if (!doc.findChildElem(name))
        return std::nullopt;
    return doc.getChildData();
}

// Makes the named element among the children of the level the main position, searched
// from the first child.
bool findFromFirst(XmlDocument& doc, std::string_view name)
{
    doc.resetMainPos();
    return doc.findElem(name);
}

template <std::size_t N>
void copyChild(XmlDocument& doc, std::string_view name, char (&field)[N])
{
    if (const auto text = childText(doc, name))
        CopySearchText(field, *text);
}

bool isSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Decimal conversion the way atoi reads: leading white space, an optional sign, digits
// up to the first non-digit; no digits give 0. Out-of-range values saturate.
std::int32_t decimalValue(std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size() && isSpace(text[pos]))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        negative = text[pos++] == '-';
    long long value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        value = value * 10 + (text[pos] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            break;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<std::int32_t>(value);
}

void readPortChild(XmlDocument& doc, std::string_view name, std::int32_t& port)
{
    if (const auto text = childText(doc, name))
        port = decimalValue(*text);
}

// False when the product series names a foreign device. A missing productInfo or
// productSeries is accepted.
bool isOwnSeries(XmlDocument& doc)
{
    if (!findFromFirst(doc, "productInfo"))
        return true;
    const auto series = childText(doc, "productSeries");
    return !series || series->find(kSeriesMark) != std::string::npos;
}

// The level is ipAddr: its first item holds the first address with the gateway and the
// DHCP flag, the item after it the second address.
void readAddressItems(XmlDocument& doc, SEARCH_INFO& info)
{
    if (!findFromFirst(doc, "item"))
        return;
    copyChild(doc, "ip", info.ipAddr);
    copyChild(doc, "mask", info.maskAddr);
    copyChild(doc, "route", info.route);
    const auto dhcp = childText(doc, "dhcpSwitch");
    info.dhcpSwitch = dhcp && *dhcp == "true";
    if (!doc.findElem("item"))
        return;
    copyChild(doc, "ip", info.ipAddr2);
    copyChild(doc, "mask", info.maskAddr2);
}

void readTcpIp(XmlDocument& doc, SEARCH_INFO& info)
{
    if (!findFromFirst(doc, "tcpIp"))
        return;
    doc.intoElem();
    if (findFromFirst(doc, "ipAddr")) {
        doc.intoElem();
        readAddressItems(doc, info);
        doc.outOfElem();
    }
    doc.outOfElem(); // tcpIp is the main element again
    copyChild(doc, "dns1", info.dns1);
    copyChild(doc, "dns2", info.dns2);
}

void readPorts(XmlDocument& doc, SEARCH_INFO& info)
{
    if (!findFromFirst(doc, "port"))
        return;
    readPortChild(doc, "dataPort", info.dataPort);
    readPortChild(doc, "httpPort", info.httpPort);
    readPortChild(doc, "rtspPort", info.rtspPort);
}

void readProductInfo(XmlDocument& doc, SEARCH_INFO& info)
{
    if (!findFromFirst(doc, "productInfo"))
        return;
    copyChild(doc, "bootTime", info.bootTime);
    copyChild(doc, "runningTime", info.runningTime);
    copyChild(doc, "devName", info.devName);
    copyChild(doc, "hardwareVer", info.hardwareVer);
    copyChild(doc, "softwareBulildDate", info.softwareBuildDate);
    copyChild(doc, "kernelVer", info.kernelVer);
    copyChild(doc, "productSeries", info.productSeries);
    copyChild(doc, "productModel", info.productModel);
    // The build number follows the version in brackets, also when there is no version.
    // The whole text is cut to the field at once, so a long build number shortens the
    // bracketed part rather than overwriting anything.
    std::string version(SearchText(info.softwareVer));
    if (const auto text = childText(doc, "softwareVer"))
        version = *text;
    if (const auto build = childText(doc, "build"))
        version += "(" + *build + ")";
    CopySearchText(info.softwareVer, version);
}

} // namespace

bool ParseSearchResult(std::string_view xml, SEARCH_INFO& info)
{
    XmlDocument doc;
    if (!doc.load(xml) || !doc.findElem() || doc.getTagName() != kRootElement)
        return false;
    doc.intoElem();
    if (!isOwnSeries(doc))
        return false;
    readTcpIp(doc, info);
    readPorts(doc, info);
    readProductInfo(doc, info);
    return true;
}
