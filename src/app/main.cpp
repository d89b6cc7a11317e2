#include "app/Zandrel.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

// Every text of the window is Dutch; Qt's own Dutch translation makes the
// standard buttons of the message boxes read Ja, Nee and OK to match.
void translateQtIntoDutch(QApplication& app, QTranslator& translator)
{
    if (translator.load(QStringLiteral("qtbase_nl"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&translator);
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zandrel"));
    QApplication::setApplicationVersion(QStringLiteral(ZANDREL_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral(ZANDREL_APP_ID));
    QTranslator qtTranslation;
    translateQtIntoDutch(app, qtTranslation);
    zandrel::Zandrel window(zandrel::Platform::System());
    window.Start();
    return app.exec();
}
