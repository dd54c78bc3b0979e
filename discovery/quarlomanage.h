#pragma once

#include "discovery/observable.h"
#include "discovery/searchinfo.h"

#include <atomic>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The program's door to device discovery. It drives the search library, turns each
// answer into a SEARCH_INFO record, keeps the list of devices that are currently known
// and hands every accepted record to its observers, on the library's thread.
//
// The library is one per process, so one manager runs the search at a time. Init,
// Quit, SetAutoSearch and RestartSearch may be called from any thread except from inside
// an observer's Update; Attach before Init and Detach before Quit.
class CQuarloManage : public CObservable<SEARCH_INFO>
{
public:
    CQuarloManage() = default;
    // Quits the library if Init was not matched by Quit, so that no answer arrives for a
    // manager that is gone.
    ~CQuarloManage() override;

    // Empties the device list and prepares the search library with OnSearchCallback.
    void Init();
    // Stops the library; once it returns no answer arrives.
    void Quit();
    // Stops the automatic search and, unless period is 0, starts it again with the
    // period (seconds). Starting after the search was off empties the device list.
    void SetAutoSearch(int period);
    // Stops the automatic search, empties the device list and starts it again with the
    // period last given to SetAutoSearch.
    void RestartSearch();

    // The first IPv4 address of the first network adapter, dotted; empty when none.
    void GetFirstAdapterAddress(std::string& address) const;
    // Routes 169.254.0.0/16 through the interface that holds the local address. No such
    // address and a route in place already are no failures; a refusal by the system (no
    // right to add routes, most often) is logged as a warning with what to do, and the
    // search goes on without the route.
    void AddLinkLocalRoute(const std::string& localAddress) const;
    // Opens the web page of the known device with this MAC text in the desktop's browser:
    // at its first address when that accepts a connection on the data port within 200 ms,
    // else at its second. Does nothing for an unknown MAC. Returns true.
    bool OpenDeviceWebPage(const std::string& mac);

    // The answer callback handed to the library; userData is the manager. Runs on the
    // library's thread. Type 1 adds a device that is not known yet, 3 replaces a known
    // one (moving it to the end), 2 removes it; each accepted answer is then notified,
    // outside the list lock. Repeated type 1 answers, answers that do not parse and
    // other types change nothing and are not notified.
    static void OnSearchCallback(const char* mac, int type, const char* xml, void* userData);

    // A copy of the device list, oldest first. The status words are not meaningful.
    std::vector<SEARCH_INFO> Devices() const;

private:
    // A device of the list, with the answer its record was read from.
    struct Device
    {
        SEARCH_INFO info;
        std::string xml;
    };
    using DeviceList = std::list<Device>;

    void HandleAnswer(const char* mac, int type, const char* xml);
    static bool ReadAnswer(const Device* previous, std::string_view xml, SEARCH_INFO& record);
    void AppendDevice(const SEARCH_INFO& record, std::string_view xml);
    void ClearDevices();

    // Serialises the operations that start and stop the library. Never taken by the
    // callback, so the library may be stopped while holding it.
    std::mutex controlMutex_;
    bool initialised_ = false;
    mutable std::mutex listMutex_;
    // The device list, oldest first, and each entry by its MAC text, so that an answer
    // finds its device in constant time however many there are. Both guarded by
    // listMutex_ and changed together.
    DeviceList devices_;
    std::unordered_map<std::string, DeviceList::iterator, SearchTextHash, std::equal_to<>> index_;
    std::atomic<int> period_{0};
};
