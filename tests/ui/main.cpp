#include "config/languagetable.h"
#include "config/localsettings.h"

#include <QApplication>
#include <QFile>
#include <gtest/gtest.h>

// Widgets are tested on the offscreen platform, with the program's language texts
// and, when the test links the resources, its style sheet, so that sizes and texts
// are those the operator sees.
int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    galvorn::loadLanguage(GALVORN_SOURCE_DIR, galvorn::kLanguageEnglishUs, "en_US");
    QFile sheet(QStringLiteral(":/skin/qss/stylesheet.css"));
    if (sheet.open(QIODevice::ReadOnly))
        app.setStyleSheet(QString::fromUtf8(sheet.readAll()));
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    galvorn::releaseLanguage();
    return result;
}
