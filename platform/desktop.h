#pragma once

#include <functional>
#include <string>

namespace galvorn::platform {

// The desktop's URL handler, as a seam: the program installs one at start-up (the Qt
// layer installs QDesktopServices), tests install their own to catch the URL.
// The opener returns true when the URL was handed to a handler.
using UrlOpener = std::function<bool(const std::string& url)>;

// Replaces the installed opener; an empty function removes it. Safe from any thread.
void setUrlOpener(UrlOpener opener);

// Hands the URL to the installed opener, on the calling thread. False when no opener is
// installed or the opener refused it.
bool openUrl(const std::string& url);

} // namespace galvorn::platform
