#include "discovery/devicesearch.h"

#include <string>

namespace galvorn {

void StartDeviceSearch(CQuarloManage& manager, CObserver<SEARCH_INFO>* observer)
{
    manager.Attach(observer);
    manager.Init();
    manager.SetAutoSearch(kSearchPeriodSeconds);
    manager.RestartSearch();
    std::string address;
    manager.GetFirstAdapterAddress(address);
    manager.AddLinkLocalRoute(address);
}

} // namespace galvorn
