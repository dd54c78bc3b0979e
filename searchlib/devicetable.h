#pragma once

#include "searchlib/macaddress.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace galvorn::searchlib {

// Most cameras one search tracks. Answers from further, unknown cameras are dropped until
// a tracked camera is gone; tracked cameras keep being updated.
inline constexpr std::size_t kMaxTrackedCameras = 4096;

// The cameras of one search and what each answered last. Turns answers and silence into
// new, changed and gone events. Not thread-safe: the search thread owns it.
class DeviceTable
{
public:
    using Clock = std::chrono::steady_clock;

    struct Event
    {
        MacAddress mac;
        int type = 0; // QuarloSearchAnswerType
        std::string xml;
    };

    explicit DeviceTable(std::size_t capacity = kMaxTrackedCameras) : capacity_(capacity) {}

    // Records an answer. Yields a new event on a camera's first answer, a changed event
    // when its XML differs from the last one, nothing otherwise (also when the table is
    // full and the camera is unknown). An answer equal to the last one only keeps the
    // camera alive: it is compared where it lies and not copied.
    std::optional<Event> answer(const MacAddress& mac, std::string_view xml, Clock::time_point now);

    // Forgets every camera that has not answered for `silence` or longer and appends a gone
    // event, carrying its last XML, for each, in MAC order.
    void expire(Clock::time_point now, Clock::duration silence, std::vector<Event>& events);

    void clear();
    std::size_t size() const { return cameras_.size(); }
    std::size_t capacity() const { return capacity_; }
    // Answers of unknown cameras dropped because the table was full.
    std::uint64_t refused() const { return refused_; }

private:
    struct Camera
    {
        std::string xml;
        Clock::time_point lastAnswer;
    };

    std::size_t capacity_;
    std::unordered_map<std::uint64_t, Camera> cameras_;
    std::uint64_t refused_ = 0;
};

} // namespace galvorn::searchlib
