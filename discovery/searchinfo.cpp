#include "discovery/searchinfo.h"

#include "support/xmldocument.h"

#include <algorithm>
#include <climits>
#include <optional>
#include <string>

namespace {

using galvorn::XmlDocument;

constexpr std::string_view kRootElement = "multicastSearchResult";
// Answers whose product series lacks this text come from other makers' devices.
constexpr std::string_view kSeriesMark = "VRN";
constexpr std::string_view kRunningTimeOpen = "<runningTime>";
constexpr std::string_view kRunningTimeClose = "</runningTime>";

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

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool allDigits(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), isDigit);
}

// The place of the document's one runningTime element, npos when there is none or more
// than one, or when markup other than elements could hide a tag from the parser: a
// comment, a CDATA section or a document type ("<!"), or a processing instruction other
// than the XML declaration at the start ("<?"). One pass over the markup.
std::size_t onlyRunningTime(std::string_view xml)
{
    const std::string_view name = kRunningTimeOpen.substr(0, kRunningTimeOpen.size() - 1);
    std::size_t element = std::string_view::npos;
    for (std::size_t at = xml.find('<'); at != std::string_view::npos; at = xml.find('<', at + 1)) {
        const std::string_view markup = xml.substr(at);
        if (markup.starts_with("<!") || (markup.starts_with("<?") && at != 0))
            return std::string_view::npos;
        if (!markup.starts_with(name))
            continue;
        if (element != std::string_view::npos)
            return std::string_view::npos;
        element = at;
    }
    return element;
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

bool UpdateRunningTime(std::string_view parsedXml, std::string_view xml, SEARCH_INFO& info)
{
    if (parsedXml == xml)
        return true;
    // The bytes where the two differ, then widened to the digits around them.
    const std::size_t shorter = std::min(parsedXml.size(), xml.size());
    const std::size_t prefix =
        std::mismatch(parsedXml.begin(), parsedXml.begin() + shorter, xml.begin()).first -
        parsedXml.begin();
    std::size_t suffix = 0;
    while (suffix < shorter - prefix &&
           parsedXml[parsedXml.size() - 1 - suffix] == xml[xml.size() - 1 - suffix])
        ++suffix;
    std::size_t start = prefix;
    while (start > 0 && isDigit(xml[start - 1]))
        --start;
    std::size_t tail = suffix;
    while (tail > 0 && isDigit(xml[xml.size() - tail]))
        --tail;
    const std::string_view oldText = parsedXml.substr(start, parsedXml.size() - tail - start);
    const std::string_view newText = xml.substr(start, xml.size() - tail - start);
    // The whole text of the one runningTime element, digits before and after, the text
    // the record holds before and one that fits it after.
    const std::size_t element = onlyRunningTime(xml);
    if (oldText.empty() || newText.empty() || !allDigits(oldText) || !allDigits(newText) ||
        element == std::string_view::npos || element + kRunningTimeOpen.size() != start ||
        !xml.substr(0, start).ends_with(kRunningTimeOpen) ||
        !xml.substr(start + newText.size()).starts_with(kRunningTimeClose) ||
        SearchText(info.runningTime) != oldText || newText.size() >= sizeof info.runningTime)
        return false;
    CopySearchText(info.runningTime, newText);
    return true;
}
