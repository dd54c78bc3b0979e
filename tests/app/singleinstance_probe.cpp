// Plays one start of the program for the single-instance test: the first start
// prints "primary" and runs until stdin closes, reporting every message it receives;
// a second start prints the box it would show and exits with the program's code.
#include "app/singleapplication.h"

#include <QSocketNotifier>
#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv)
{
    SingleApplication app(QStringLiteral("GalvornProbe"), argc, argv);
    if (app.isRunning()) {
        return refuseSecondInstance(app, [] {
            std::printf("box:%s|%s\n", qPrintable(alreadyRunningTitle()),
                        qPrintable(alreadyRunningText()));
            std::fflush(stdout);
        });
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
