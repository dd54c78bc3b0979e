#pragma once

#include "discovery/quarlomanage.h"

namespace galvorn {

// Seconds between two rounds of the automatic search. A device that stops answering is
// gone after three rounds.
inline constexpr int kSearchPeriodSeconds = 5;

// Starts the search as the program runs it: `observer` attached, the library prepared,
// the automatic search started afresh with kSearchPeriodSeconds, and the link-local range
// routed through the first adapter's address. Records then reach the observer on the
// library's thread until the manager is detached and quit.
void StartDeviceSearch(CQuarloManage& manager, CObserver<SEARCH_INFO>* observer);

} // namespace galvorn
