#pragma once

#include "discovery/onlinedeviceinfo.h"
#include "discovery/searchinfo.h"

#include <QString>
#include <memory>

// The window's copy of a search record, or null for a device of another product series
// (anything but "VRN_IPC", compared without regard to ASCII case). Texts are decoded
// from UTF-8. A beta version numbered 128 or above reads as release 1 ("5.1.0beta130"
// becomes "5.1.01"); an empty product model becomes " ". Safe on any thread.
std::unique_ptr<OnlineDeviceInfo> MakeOnlineDeviceInfo(const SEARCH_INFO& record);

// The up-time column's text for a running time in seconds (decimal text; anything else
// counts as 0): days, hours and minutes with their unit texts, from the largest unit that
// is not zero. Seconds are not shown: under a minute gives "0" and the minute text, no
// time at all the empty text.
QString RunningTimeText(const QString& runningTime, const QString& dayText, const QString& hourText,
                        const QString& minuteText);
