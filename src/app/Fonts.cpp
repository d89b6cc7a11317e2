#include "app/Fonts.h"

#include <QDir>
#include <QFontDatabase>
#include <QStringList>

namespace zandrel {

void addMissingFonts(const QString& folder)
{
    const struct {
        const char* family;
        const char* file;
    } fonts[] = {
        {"Liberation Sans", "LiberationSans-Regular.ttf"},
        {"DejaVu Sans", "DejaVuSans.ttf"},
        {"DejaVu Sans", "DejaVuSans-BoldOblique.ttf"},
    };
    const QDir dir(folder);
    const QStringList installed = QFontDatabase::families();
    for (const auto& font : fonts) {
        if (!installed.contains(QLatin1String(font.family)) && dir.exists(QLatin1String(font.file)))
            QFontDatabase::addApplicationFont(dir.filePath(QLatin1String(font.file)));
    }
}

}  // namespace zandrel
