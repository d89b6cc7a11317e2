#include "app/Fonts.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    // The fonts the program brings where the system lacks them (Windows) come beside it.
    if (qEnvironmentVariableIsSet("ZANDREL_BINARY"))
        zandrel::addMissingFonts(
            QFileInfo(qEnvironmentVariable("ZANDREL_BINARY")).dir().filePath(QStringLiteral("fonts")));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
