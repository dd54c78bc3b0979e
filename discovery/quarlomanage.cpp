#include "discovery/quarlomanage.h"

#include "platform/desktop.h"
#include "platform/netif.h"
#include "platform/network.h"
#include "searchlib/quarlo_search.h"

#include <glog/logging.h>

#include <algorithm>
#include <optional>

namespace {

// Most network interfaces one probe round of the library is sent on.
constexpr int kSearchInterfaceCount = 32;
// How long the device's data port gets to accept a connection before its second
// address is used for the web page.
constexpr int kWebPageProbeMs = 200;
constexpr int kDefaultHttpPort = 80;

std::string upperAscii(const char* text)
{
    std::string result = text ? text : "";
    std::transform(result.begin(), result.end(), result.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    return result;
}

std::string webPageUrl(const std::string& address, int httpPort)
{
    if (httpPort == kDefaultHttpPort)
        return "http://" + address;
    return "http://" + address + ":" + std::to_string(httpPort);
}

bool acceptsConnection(const std::string& address, int port)
{
    std::uint32_t host = 0;
    if (!galvorn::platform::parseIpv4(address, host) || port < 0 || port > 0xFFFF)
        return false;
    return galvorn::platform::IsPortReachable(host, static_cast<std::uint16_t>(port),
                                              kWebPageProbeMs);
}

} // namespace

CQuarloManage::~CQuarloManage()
{
    Quit();
}

void CQuarloManage::Init()
{
    const std::lock_guard control(controlMutex_);
    ClearDevices();
    QUARLO_SEARCH_Initial(&CQuarloManage::OnSearchCallback, this, kSearchInterfaceCount);
    initialised_ = true;
}

void CQuarloManage::Quit()
{
    const std::lock_guard control(controlMutex_);
    if (!initialised_)
        return;
    QUARLO_SEARCH_Quit();
    initialised_ = false;
}

void CQuarloManage::SetAutoSearch(int period)
{
    const std::lock_guard control(controlMutex_);
    QUARLO_SEARCH_StopAuto();
    if (period != 0) {
        if (period_ == 0)
            ClearDevices();
        QUARLO_SEARCH_StartAuto(period);
    }
    period_ = period;
}

void CQuarloManage::RestartSearch()
{
    const std::lock_guard control(controlMutex_);
    QUARLO_SEARCH_StopAuto();
    ClearDevices();
    QUARLO_SEARCH_StartAuto(period_);
}

void CQuarloManage::GetFirstAdapterAddress(std::string& address) const
{
    address = galvorn::platform::firstAdapterAddress();
}

void CQuarloManage::AddLinkLocalRoute(const std::string& localAddress) const
{
    const auto result = galvorn::platform::addLinkLocalRoute(localAddress);
    if (result.refusal.empty())
        return;
    LOG(WARNING) << "cannot route 169.254.0.0/16 through " << result.interfaceName << " ("
                 << localAddress << "): " << result.refusal
                 << "; devices that fell back to a link-local address stay out of reach. Run "
                    "Galvorn as a user with CAP_NET_ADMIN, or add the route by hand: ip route "
                    "add 169.254.0.0/16 dev "
                 << result.interfaceName << " scope link";
}

bool CQuarloManage::OpenDeviceWebPage(const std::string& mac)
{
    std::optional<SEARCH_INFO> device;
    {
        const std::lock_guard lock(listMutex_);
        if (const auto known = index_.find(mac); known != index_.end())
            device = known->second->info;
    }
    if (!device)
        return true;
    // The probe runs outside the list lock so that answers are not held up by it.
    const std::string first(SearchText(device->ipAddr));
    const std::string address = acceptsConnection(first, device->dataPort)
                                    ? first
                                    : std::string(SearchText(device->ipAddr2));
    galvorn::platform::openUrl(webPageUrl(address, device->httpPort));
    return true;
}

void CQuarloManage::OnSearchCallback(const char* mac, int type, const char* xml, void* userData)
{
    if (userData)
        static_cast<CQuarloManage*>(userData)->HandleAnswer(mac, type, xml);
}

std::vector<SEARCH_INFO> CQuarloManage::Devices() const
{
    const std::lock_guard lock(listMutex_);
    std::vector<SEARCH_INFO> devices;
    devices.reserve(devices_.size());
    for (const Device& device : devices_)
        devices.push_back(device.info);
    return devices;
}

void CQuarloManage::HandleAnswer(const char* macText, int type, const char* xml)
{
    SEARCH_INFO record{};
    // The key is the MAC as the record holds it, so that a text cut to the field still
    // finds its own entry.
    CopySearchText(record.mac, upperAscii(macText));
    const std::string_view mac = SearchText(record.mac);
    {
        const std::lock_guard lock(listMutex_);
        const auto known = index_.find(mac);
        const Device* previous = known != index_.end() ? &*known->second : nullptr;
        const auto read = [&](std::int32_t status) {
            record.status = status;
            return xml && ReadAnswer(previous, xml, record);
        };
        switch (type) {
        case QUARLO_SEARCH_DEVICE_NEW:
            if (previous || !read(SEARCH_STATUS_NEW))
                return;
            AppendDevice(record, xml);
            break;
        case QUARLO_SEARCH_DEVICE_CHANGED:
            if (!read(SEARCH_STATUS_CHANGED))
                return;
            // A changed device moves to the end of the list; its entry is reused.
            if (previous) {
                devices_.splice(devices_.end(), devices_, known->second);
                known->second->info = record;
                known->second->xml.assign(xml);
            }
            break;
        case QUARLO_SEARCH_DEVICE_GONE:
            if (!read(SEARCH_STATUS_GONE))
                return;
            if (previous) {
                devices_.erase(known->second);
                index_.erase(known);
            }
            break;
        default:
            return;
        }
    }
    Notify(record);
}

// Fills the record (status and MAC written) from the answer. An answer that differs from
// the device's previous one only in its running time, as answers do from round to round,
// updates a copy of the previous record instead of being parsed.
bool CQuarloManage::ReadAnswer(const Device* previous, std::string_view xml, SEARCH_INFO& record)
{
    if (previous) {
        SEARCH_INFO updated = previous->info;
        updated.status = record.status;
        if (UpdateRunningTime(previous->xml, xml, updated)) {
            record = updated;
            return true;
        }
    }
    return ParseSearchResult(xml, record);
}

// Under listMutex_.
void CQuarloManage::AppendDevice(const SEARCH_INFO& record, std::string_view xml)
{
    const auto entry = devices_.insert(devices_.end(), Device{record, std::string(xml)});
    index_.emplace(std::string(SearchText(entry->info.mac)), entry);
}

void CQuarloManage::ClearDevices()
{
    const std::lock_guard lock(listMutex_);
    index_.clear();
    devices_.clear();
}
