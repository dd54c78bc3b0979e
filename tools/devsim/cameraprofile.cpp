#include "tools/devsim/cameraprofile.h"

#include "platform/netif.h"

#include <charconv>
#include <pugixml.hpp>
#include <sstream>

namespace galvorn::devsim {

namespace {

enum class Kind
{
    Text,
    Address, // dotted IPv4 or empty
    Port,    // 0..65535
    Seconds  // unsigned decimal
};

struct FieldInfo
{
    Field field;
    const char* key;
    Kind kind;
    const char* defaultValue;
};

// One row per field, in Field order.
constexpr FieldInfo kFields[] = {
    {Field::ProductSeries, "productSeries", Kind::Text, "VRN_IPC"},
    {Field::DevName, "devName", Kind::Text, "IPC"},
    {Field::ProductModel, "productModel", Kind::Text, "IPC-2100"},
    {Field::SoftwareVer, "softwareVer", Kind::Text, "5.1.0"},
    {Field::Build, "build", Kind::Text, "1208"},
    {Field::SoftwareBuildDate, "softwareBuildDate", Kind::Text, "2023-06-01"},
    {Field::HardwareVer, "hardwareVer", Kind::Text, "1.0"},
    {Field::KernelVer, "kernelVer", Kind::Text, "4.9.37"},
    {Field::BootTime, "bootTime", Kind::Text, "2024-01-01 08:00:00"},
    {Field::RunningTime, "runningTime", Kind::Seconds, "0"},
    {Field::Ip, "ip", Kind::Address, ""},
    {Field::Mask, "mask", Kind::Address, "255.255.255.0"},
    {Field::Route, "route", Kind::Address, ""},
    {Field::DhcpSwitch, "dhcpSwitch", Kind::Text, "false"},
    {Field::Ip2, "ip2", Kind::Address, ""},
    {Field::Mask2, "mask2", Kind::Address, ""},
    {Field::Dns1, "dns1", Kind::Address, ""},
    {Field::Dns2, "dns2", Kind::Address, ""},
    {Field::DataPort, "dataPort", Kind::Port, "9008"},
    {Field::HttpPort, "httpPort", Kind::Port, "80"},
    {Field::RtspPort, "rtspPort", Kind::Port, "554"},
};
static_assert(std::size(kFields) == kFieldCount);

constexpr const char* kRootElement = "multicastSearchResult";
constexpr const char* kForeignRootElement = "deviceSearchResult";

bool parseUnsigned(std::string_view text, std::uint64_t max, std::uint64_t& value)
{
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc{} && at == end && value <= max;
}

std::string checkValue(Kind kind, std::string_view value)
{
    if (value.size() > kMaxFieldLength)
        return "value longer than " + std::to_string(kMaxFieldLength) + " characters";
    for (const char c : value) {
        if (static_cast<unsigned char>(c) < 0x20)
            return "value contains a control character";
    }
    std::uint32_t address = 0;
    std::uint64_t number = 0;
    switch (kind) {
    case Kind::Text:
        return {};
    case Kind::Address:
        if (value.empty() || platform::parseIpv4(std::string(value), address))
            return {};
        return "not a dotted IPv4 address";
    case Kind::Port:
        return parseUnsigned(value, 65535, number) ? std::string{} : "not a port number";
    case Kind::Seconds:
        return parseUnsigned(value, UINT64_MAX / 2, number) ? std::string{}
                                                            : "not a number of seconds";
    }
    return "unknown field kind";
}

void addText(pugi::xml_node parent, const char* name, const std::string& text)
{
    parent.append_child(name).text().set(text.c_str());
}

} // namespace

CameraProfile::CameraProfile()
{
    for (const auto& info : kFields)
        values_[index(info.field)] = info.defaultValue;
}

bool CameraProfile::fieldByKey(std::string_view key, Field& field)
{
    for (const auto& info : kFields) {
        if (key == info.key) {
            field = info.field;
            return true;
        }
    }
    return false;
}

std::string CameraProfile::set(std::string_view key, std::string_view value)
{
    Field field{};
    if (!fieldByKey(key, field))
        return "unknown field \"" + std::string(key) + "\"";
    if (std::string reason = checkValue(kFields[index(field)].kind, value); !reason.empty())
        return reason;
    values_[index(field)] = std::string(value);
    return {};
}

std::uint16_t CameraProfile::port(Field field) const
{
    std::uint64_t number = 0;
    parseUnsigned(value(field), 65535, number);
    return static_cast<std::uint16_t>(number);
}

std::string CameraProfile::answerXml(std::uint64_t runningSeconds, AnswerMode mode) const
{
    pugi::xml_document doc;
    auto declaration = doc.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "utf-8";
    auto root = doc.append_child(mode == AnswerMode::Foreign ? kForeignRootElement : kRootElement);

    auto product = root.append_child("productInfo");
    addText(product, "productSeries", value(Field::ProductSeries));
    addText(product, "devName", value(Field::DevName));
    addText(product, "productModel", value(Field::ProductModel));
    addText(product, "softwareVer", value(Field::SoftwareVer));
    addText(product, "build", value(Field::Build));
    // The element name is spelt this way by the cameras; readers match it exactly.
    addText(product, "softwareBulildDate", value(Field::SoftwareBuildDate));
    addText(product, "hardwareVer", value(Field::HardwareVer));
    addText(product, "kernelVer", value(Field::KernelVer));
    addText(product, "runningTime", std::to_string(runningSeconds));
    addText(product, "bootTime", value(Field::BootTime));

    auto tcpIp = root.append_child("tcpIp");
    auto ipAddr = tcpIp.append_child("ipAddr");
    auto first = ipAddr.append_child("item");
    addText(first, "ip", value(Field::Ip));
    addText(first, "mask", value(Field::Mask));
    addText(first, "route", value(Field::Route));
    addText(first, "dhcpSwitch", value(Field::DhcpSwitch));
    auto second = ipAddr.append_child("item");
    addText(second, "ip", value(Field::Ip2));
    addText(second, "mask", value(Field::Mask2));
    addText(tcpIp, "dns1", value(Field::Dns1));
    addText(tcpIp, "dns2", value(Field::Dns2));

    auto ports = root.append_child("port");
    addText(ports, "dataPort", value(Field::DataPort));
    addText(ports, "httpPort", value(Field::HttpPort));
    addText(ports, "rtspPort", value(Field::RtspPort));

    std::ostringstream out;
    doc.save(out, " ", pugi::format_default, pugi::encoding_utf8);
    std::string xml = out.str();
    if (mode == AnswerMode::Malformed)
        xml.resize(xml.size() / 2);
    return xml;
}

} // namespace galvorn::devsim
