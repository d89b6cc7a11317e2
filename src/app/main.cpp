#include "app/Zandrel.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
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

// The fixed layout was drawn for these fonts' widths. A system that lacks one
// (Windows) gets the copy that comes beside the program.
void addMissingFonts()
{
    const struct {
        const char* family;
        const char* file;
    } fonts[] = {
        {"Liberation Sans", "LiberationSans-Regular.ttf"},
        {"DejaVu Sans", "DejaVuSans.ttf"},
        {"DejaVu Sans", "DejaVuSans-BoldOblique.ttf"},
    };
    const QDir folder(QCoreApplication::applicationDirPath() + QStringLiteral("/fonts"));
    const QStringList installed = QFontDatabase::families();
    for (const auto& font : fonts) {
        if (!installed.contains(QLatin1String(font.family)) && folder.exists(QLatin1String(font.file)))
            QFontDatabase::addApplicationFont(folder.filePath(QLatin1String(font.file)));
    }
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zandrel"));
    QApplication::setApplicationVersion(QStringLiteral(ZANDREL_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral(ZANDREL_APP_ID));
    addMissingFonts();
    QTranslator qtTranslation;
    translateQtIntoDutch(app, qtTranslation);
    zandrel::Zandrel window(zandrel::Platform::System());
    window.Start();
    return app.exec();
}
