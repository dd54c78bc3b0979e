#include "platform/desktop.h"

#include <mutex>
#include <utility>

namespace galvorn::platform {

namespace {

std::mutex& openerMutex()
{
    static std::mutex mutex;
    return mutex;
}

UrlOpener& installedOpener()
{
    static UrlOpener opener;
    return opener;
}

} // namespace

void setUrlOpener(UrlOpener opener)
{
    const std::lock_guard lock(openerMutex());
    installedOpener() = std::move(opener);
}

bool openUrl(const std::string& url)
{
    UrlOpener opener;
    {
        const std::lock_guard lock(openerMutex());
        opener = installedOpener();
    }
    // Called outside the lock: an opener may take its time or install another opener.
    return opener ? opener(url) : false;
}

} // namespace galvorn::platform
