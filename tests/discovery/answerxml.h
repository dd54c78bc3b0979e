#pragma once

#include <string>

// The parts of a multicastSearchResult answer that the tests vary. Empty strings leave
// an element out, except where noted.
struct AnswerFields
{
    std::string series = "VRN_IPC";
    std::string devName = "Gate";
    std::string ip = "192.0.2.10";
    std::string mask = "255.255.255.0";
    std::string ip2 = "198.51.100.10";
    std::string mask2 = "255.255.255.0";
    std::string dataPort = "6036";
    std::string httpPort = "80";
    std::string softwareVer = "5.1.0";
};

// Builds the answer document the way a camera writes it.
inline std::string answerXml(const AnswerFields& f)
{
    const auto element = [](const std::string& name, const std::string& text) {
        return text.empty() ? std::string() : "<" + name + ">" + text + "</" + name + ">";
    };
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?><multicastSearchResult>";
    xml += "<productInfo>" + element("productSeries", f.series) + element("devName", f.devName) +
           element("softwareVer", f.softwareVer) + "</productInfo>";
    xml += "<tcpIp><ipAddr><item>" + element("ip", f.ip) + element("mask", f.mask) +
           "</item><item>" + element("ip", f.ip2) + element("mask", f.mask2) +
           "</item></ipAddr></tcpIp>";
    xml += "<port>" + element("dataPort", f.dataPort) + element("httpPort", f.httpPort) + "</port>";
    return xml + "</multicastSearchResult>";
}
