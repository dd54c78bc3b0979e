#include "platform/desktop_qt.h"

#include "platform/desktop.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

namespace galvorn::platform {

void installDesktopUrlOpener()
{
    setUrlOpener([](const std::string& url) {
        return QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
    });
}

} // namespace galvorn::platform
