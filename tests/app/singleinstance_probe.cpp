// Plays one start of the program for the single-instance test: the first start
// prints "primary" and runs until stdin closes, reporting every message it receives;
// a second start prints the box it would show and exits with the program's code, and so
// does a start that finds no folder for its lock. GALVORN_PROBE_LOCK_FOLDERS, when set,
// lists the lock folders (separated by ':') in place of the program's own.
#include "app/singleapplication.h"

#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

QStringList lockFolders()
{
    const char* folders = std::getenv("GALVORN_PROBE_LOCK_FOLDERS");
    if (!folders)
        return SingleApplication::defaultLockFolders();
    return QString::fromUtf8(folders).split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

} // namespace

int main(int argc, char** argv)
{
    SingleApplication app(QStringLiteral("GalvornProbe"), argc, argv, lockFolders());
    if (app.isRunning()) {
        return refuseSecondInstance(app, [] {
            std::printf("box:%s|%s\n", qPrintable(alreadyRunningTitle()),
                        qPrintable(alreadyRunningText()));
            std::fflush(stdout);
        });
    }
    if (app.hasNoLock()) {
        std::printf("box:%s|%s\n", qPrintable(alreadyRunningTitle()),
                    qPrintable(noLockText(app.lockFolders())));
        return 1;
    }
    QObject::connect(&app, &SingleApplication::messageReceived, [](const QString& message) {
        std::printf("received:%s\n", qPrintable(message));
        std::fflush(stdout);
    });
    QSocketNotifier stdinClosed(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&stdinClosed, &QSocketNotifier::activated, [&] {
        char buffer[64];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            app.quit();
    });
    std::printf("primary\n");
    std::fflush(stdout);
    return app.exec();
}
