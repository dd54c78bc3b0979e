#pragma once

#include "discovery/onlinedeviceinfo.h"
#include "discovery/searchinfo.h"
#include "searchlib/devicetable.h"

#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

// The window's copy of a search record, or null for a device of another product series
// (anything but "VRN_IPC", compared without regard to ASCII case). Texts are decoded
// from UTF-8. A beta version numbered 128 or above reads as release 1 ("5.1.0beta130"
// becomes "5.1.01"); an empty product model becomes " ". Safe on any thread.
std::unique_ptr<OnlineDeviceInfo> MakeOnlineDeviceInfo(const SEARCH_INFO& record);

// Makes the same records as MakeOnlineDeviceInfo, and remembers each device's last one
// until the device is gone: a field whose bytes equal those of the device's previous
// record takes the text made from them then, shared rather than decoded and allocated
// again. A camera's answers from one round to the next differ in the running time only,
// so a large site costs one text per answer instead of seventeen. One thread at a time
// (the search library's).
class OnlineDeviceInfoMaker
{
public:
    // Devices remembered at most, beyond those the search tracks at once (a restarted
    // search forgets its devices without gone records); beyond, the memory starts afresh.
    static constexpr std::size_t kMaxRemembered = 2 * galvorn::searchlib::kMaxTrackedCameras;

    std::unique_ptr<OnlineDeviceInfo> Make(const SEARCH_INFO& record);

    struct Previous
    {
        SEARCH_INFO record;
        OnlineDeviceInfo info;
    };

private:
    std::unordered_map<std::string, Previous, SearchTextHash, std::equal_to<>> previous_;
};

// The up-time column's text for a running time in seconds (decimal text; anything else
// counts as 0): days, hours and minutes with their unit texts, from the largest unit that
// is not zero. Seconds are not shown: under a minute gives "0" and the minute text, no
// time at all the empty text.
QString RunningTimeText(const QString& runningTime, const QString& dayText, const QString& hourText,
                        const QString& minuteText);
