#include "app/pluginfolder.h"

#include "platform/paths.h"

#include <QCoreApplication>
#include <QString>

namespace galvorn {

void addProgramPluginFolder()
{
    const std::string program = platform::executableDir();
    if (program.empty())
        return;
    QCoreApplication::addLibraryPath(QString::fromStdString(program + "/plugins"));
}

} // namespace galvorn
