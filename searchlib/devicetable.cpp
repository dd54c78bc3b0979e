#include "searchlib/devicetable.h"

#include "searchlib/quarlo_search.h"

#include <algorithm>

namespace galvorn::searchlib {

namespace {

MacAddress macFromKey(std::uint64_t key)
{
    MacAddress mac;
    for (int i = 5; i >= 0; --i, key >>= 8)
        mac.bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(key);
    return mac;
}

} // namespace

std::optional<DeviceTable::Event> DeviceTable::answer(const MacAddress& mac, std::string_view xml,
                                                      Clock::time_point now)
{
    const auto found = cameras_.find(mac.key());
    if (found == cameras_.end()) {
        if (cameras_.size() >= capacity_) {
            ++refused_;
            return std::nullopt;
        }
        cameras_.emplace(mac.key(), Camera{std::string(xml), now});
        return Event{mac, QUARLO_SEARCH_DEVICE_NEW, std::string(xml)};
    }
    Camera& camera = found->second;
    camera.lastAnswer = now;
    if (camera.xml == xml)
        return std::nullopt;
    camera.xml = xml;
    return Event{mac, QUARLO_SEARCH_DEVICE_CHANGED, camera.xml};
}

void DeviceTable::expire(Clock::time_point now, Clock::duration silence, std::vector<Event>& events)
{
    std::vector<std::uint64_t> gone;
    for (const auto& [key, camera] : cameras_) {
        if (now - camera.lastAnswer >= silence)
            gone.push_back(key);
    }
    std::sort(gone.begin(), gone.end());
    for (const auto key : gone) {
        auto node = cameras_.extract(key);
        events.push_back(
            Event{macFromKey(key), QUARLO_SEARCH_DEVICE_GONE, std::move(node.mapped().xml)});
    }
}

void DeviceTable::clear()
{
    cameras_.clear();
}

} // namespace galvorn::searchlib
