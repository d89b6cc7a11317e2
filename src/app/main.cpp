#include "app/Zandrel.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zandrel"));
    QApplication::setApplicationVersion(QStringLiteral(ZANDREL_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("zandrel"));
    zandrel::Zandrel window(zandrel::Platform::System());
    window.Start();
    return app.exec();
}
