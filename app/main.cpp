#include "app/metatypes.h"
#include "app/pluginfolder.h"
#include "app/singleapplication.h"
#include "app/vrnstyle.h"
#include "platform/desktop_qt.h"
#include "ui/mainwindow/galvorn.h"

#include <QFile>
#include <QFont>
#include <QMessageBox>

namespace {

constexpr char kAppId[] = "Galvorn";

void applyStyleSheet(QApplication& app)
{
    QFile sheet(QStringLiteral(":/skin/qss/stylesheet.css"));
    if (!sheet.open(QIODevice::ReadOnly))
        return;
    app.setStyleSheet(QString::fromUtf8(sheet.readAll()));
}

// The look was drawn for "Microsoft YaHei"; where it is missing, a CJK-capable sans
// serif of the system takes its place so that Chinese texts still render.
void applyFont(QApplication& app)
{
    QFont::insertSubstitutions(QStringLiteral("Microsoft YaHei"),
                               {QStringLiteral("WenQuanYi Micro Hei"),
                                QStringLiteral("Noto Sans CJK SC"),
                                QStringLiteral("Droid Sans Fallback")});
    QFont font(QStringLiteral("Microsoft YaHei"));
    font.setPointSize(12);
    app.setFont(font);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setApplicationName(QString::fromLatin1(kAppId));
    SingleApplication app(QString::fromLatin1(kAppId), argc, argv);
    if (app.isRunning()) {
        return refuseSecondInstance(app, [] {
            QMessageBox::critical(nullptr, alreadyRunningTitle(), alreadyRunningText(),
                                  QMessageBox::Ok, QMessageBox::NoButton);
        });
    }
    if (app.hasNoLock()) {
        QMessageBox::critical(nullptr, alreadyRunningTitle(), noLockText(app.lockFolders()),
                              QMessageBox::Ok, QMessageBox::NoButton);
        return 1;
    }
    applyStyleSheet(app);
    applyFont(app);
    app.setQuitOnLastWindowClosed(true);
    app.setStyle(new VRNStyle);
    galvorn::addProgramPluginFolder();
    galvorn::registerMetaTypes();
    galvorn::platform::installDesktopUrlOpener();

    Galvorn window;
    window.show();
    return app.exec();
}
