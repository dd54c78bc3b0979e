#include "searchlib/quarlo_search.h"

#include "searchlib/searchcontrol.h"
#include "searchlib/searchengine.h"

#include <memory>
#include <mutex>

namespace galvorn::searchlib {

namespace {

// The one library instance. Callers take a reference under the lock and call the engine
// without it, so that a callback may call back into the library while another thread
// waits in StopAuto or Quit.
std::mutex gInstanceMutex;
std::shared_ptr<SearchEngine> gInstance;

std::shared_ptr<SearchEngine> instance()
{
    std::lock_guard lock(gInstanceMutex);
    return gInstance;
}

int startAuto(std::chrono::milliseconds period)
{
    const auto engine = instance();
    return engine ? engine->startAuto(period) : QUARLO_SEARCH_ERROR;
}

} // namespace

int startAutoMilliseconds(int periodMilliseconds)
{
    if (periodMilliseconds < kProbesPerPeriod)
        return QUARLO_SEARCH_ERROR;
    return startAuto(std::chrono::milliseconds{periodMilliseconds});
}

SearchStatistics searchStatistics()
{
    const auto engine = instance();
    return engine ? engine->statistics() : SearchStatistics{};
}

} // namespace galvorn::searchlib

using namespace galvorn::searchlib;

extern "C" int QUARLO_SEARCH_Initial(QuarloSearchCallback callback, void* userData, int count)
{
    std::lock_guard lock(gInstanceMutex);
    if (gInstance)
        return QUARLO_SEARCH_ERROR;
    // Out of memory or threads: the caller gets a result code, not an exception.
    try {
        gInstance = SearchEngine::create(callback, userData, count);
    } catch (...) {
        return QUARLO_SEARCH_ERROR;
    }
    return gInstance ? QUARLO_SEARCH_OK : QUARLO_SEARCH_ERROR;
}

extern "C" int QUARLO_SEARCH_StartAuto(int periodSeconds)
{
    if (periodSeconds < 1)
        return QUARLO_SEARCH_ERROR;
    return startAuto(std::chrono::seconds{periodSeconds});
}

extern "C" int QUARLO_SEARCH_StopAuto(void)
{
    const auto engine = instance();
    return engine ? engine->stopAuto() : QUARLO_SEARCH_ERROR;
}

extern "C" int QUARLO_SEARCH_Quit(void)
{
    std::shared_ptr<SearchEngine> engine;
    {
        std::lock_guard lock(gInstanceMutex);
        if (!gInstance || gInstance->onEngineThread())
            return QUARLO_SEARCH_ERROR;
        engine.swap(gInstance);
    }
    return engine->quit();
}
