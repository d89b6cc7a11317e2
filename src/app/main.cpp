#include "app/Fonts.h"
#include "app/Zandrel.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

// Every text of the window is Dutch; Qt's own Dutch translation makes the
// standard buttons of the message boxes read Ja, Nee and OK to match. Where Qt
// has no translations folder of its own (Windows), it comes beside the program.
void translateQtIntoDutch(QApplication& app, QTranslator& translator)
{
    const QString besideProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/translations");
    for (const QString& folder : {QLibraryInfo::path(QLibraryInfo::TranslationsPath), besideProgram}) {
        if (translator.load(QStringLiteral("qtbase_nl"), folder)) {
            app.installTranslator(&translator);
            return;
        }
    }
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zandrel"));
    QApplication::setApplicationVersion(QStringLiteral(ZANDREL_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral(ZANDREL_APP_ID));
    zandrel::addMissingFonts(QCoreApplication::applicationDirPath() + QStringLiteral("/fonts"));
    QTranslator qtTranslation;
    translateQtIntoDutch(app, qtTranslation);
    zandrel::Zandrel window(zandrel::Platform::System());
    window.Start();
    return app.exec();
}
