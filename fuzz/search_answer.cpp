// The search answer's document as ParseSearchResult reads it into a device record.
#include "discovery/searchinfo.h"
#include "fuzz/fuzzinput.h"
#include "support/textcodec.h"
#include "support/xmldocument.h"

#include <string>

using galvorn::XmlDocument;
using galvorn::fuzz::text;
namespace textcodec = galvorn::textcodec;

namespace {

// Every text field of the record, and the numbers, in one string.
std::string describe(const SEARCH_INFO& info)
{
    std::string out;
    const auto field = [&out](std::string_view value) {
        out += value;
        out += '\x1F';
    };
    field(SearchText(info.devName));
    field(SearchText(info.ipAddr));
    field(SearchText(info.maskAddr));
    field(SearchText(info.ipAddr2));
    field(SearchText(info.maskAddr2));
    field(SearchText(info.route));
    field(SearchText(info.dns1));
    field(SearchText(info.dns2));
    field(SearchText(info.productSeries));
    field(SearchText(info.softwareVer));
    field(SearchText(info.softwareBuildDate));
    field(SearchText(info.hardwareVer));
    field(SearchText(info.kernelVer));
    field(SearchText(info.productModel));
    field(SearchText(info.runningTime));
    field(SearchText(info.bootTime));
    field(std::to_string(info.dataPort) + "," + std::to_string(info.httpPort) + "," +
          std::to_string(info.rtspPort) + "," + (info.dhcpSwitch ? "dhcp" : "static"));
    return out;
}

template <std::size_t N>
void checkField(const char (&field)[N])
{
    // Terminated inside the field, and valid UTF-8 however the document was encoded.
    FUZZ_CHECK(::strnlen(field, N) < N);
    FUZZ_CHECK(textcodec::isValidUtf8(SearchText(field)));
}

void checkFields(const SEARCH_INFO& info)
{
    checkField(info.devName);
    checkField(info.ipAddr);
    checkField(info.maskAddr);
    checkField(info.ipAddr2);
    checkField(info.maskAddr2);
    checkField(info.route);
    checkField(info.dns1);
    checkField(info.dns2);
    checkField(info.productSeries);
    checkField(info.softwareVer);
    checkField(info.softwareBuildDate);
    checkField(info.hardwareVer);
    checkField(info.kernelVer);
    checkField(info.productModel);
    checkField(info.runningTime);
    checkField(info.bootTime);
}

// Element text that reads back as exactly `value`: the document's entities, and spaces
// as references, since a text of white space alone is not kept.
std::string element(std::string_view name, std::string_view value)
{
    std::string escaped;
    for (const char c : XmlDocument::escapeText(value))
        escaped += c == ' ' ? std::string("&#32;") : std::string(1, c);
    return "<" + std::string(name) + ">" + escaped + "</" + std::string(name) + ">";
}

// The record written back as an answer document. An empty series stands for none: an
// empty one would name a foreign device.
std::string answerOf(const SEARCH_INFO& info)
{
    const std::string_view series = SearchText(info.productSeries);
    return "<multicastSearchResult><productInfo>" +
           (series.empty() ? std::string() : element("productSeries", series)) +
           element("devName", SearchText(info.devName)) +
           element("productModel", SearchText(info.productModel)) +
           element("softwareVer", SearchText(info.softwareVer)) +
           element("softwareBulildDate", SearchText(info.softwareBuildDate)) +
           element("hardwareVer", SearchText(info.hardwareVer)) +
           element("kernelVer", SearchText(info.kernelVer)) +
           element("bootTime", SearchText(info.bootTime)) +
           element("runningTime", SearchText(info.runningTime)) +
           "</productInfo><tcpIp><ipAddr><item>" + element("ip", SearchText(info.ipAddr)) +
           element("mask", SearchText(info.maskAddr)) + element("route", SearchText(info.route)) +
           element("dhcpSwitch", info.dhcpSwitch ? "true" : "false") + "</item><item>" +
           element("ip", SearchText(info.ipAddr2)) + element("mask", SearchText(info.maskAddr2)) +
           "</item></ipAddr>" + element("dns1", SearchText(info.dns1)) +
           element("dns2", SearchText(info.dns2)) + "</tcpIp><port>" +
           element("dataPort", std::to_string(info.dataPort)) +
           element("httpPort", std::to_string(info.httpPort)) +
           element("rtspPort", std::to_string(info.rtspPort)) + "</port></multicastSearchResult>";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view xml = text({data, size});
    SEARCH_INFO info{};
    const bool accepted = ParseSearchResult(xml, info);
    checkFields(info);
    if (!accepted)
        return 0;

    // The parser keeps nothing between calls: the same answer gives the same record.
    SEARCH_INFO again{};
    FUZZ_CHECK(ParseSearchResult(xml, again));
    FUZZ_CHECK(describe(again) == describe(info));

    // A record written back as an answer reads as the same record. A series cut to its
    // field may have lost the mark that made the answer acceptable.
    const std::string_view series = SearchText(info.productSeries);
    if (!series.empty() && series.find("VRN") == std::string_view::npos)
        return 0;
    SEARCH_INFO written{};
    FUZZ_CHECK(ParseSearchResult(answerOf(info), written));
    FUZZ_CHECK(describe(written) == describe(info));
    return 0;
}
