#pragma once

namespace galvorn::platform {

// Routes openUrl() to QDesktopServices::openUrl, the user's default browser. Needs a
// QGuiApplication; call it once the application object exists and open URLs from the
// GUI thread.
void installDesktopUrlOpener();

} // namespace galvorn::platform
