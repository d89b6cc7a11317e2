#include "about/Versie.h"

#include "app/Zandrel.h"

namespace zandrel {

namespace {
const QString kLineBreak = QStringLiteral("\r\n");
}

QString versionPrompt(const QString& startFolder)
{
    return QStringLiteral("Dit is versie: ") + kVersion + kLineBreak + QStringLiteral("Gestart vanaf: ") + startFolder
        + kLineBreak + kLineBreak + QStringLiteral("Laatste versie te downloaden op:") + kLineBreak + kDownloadPage
        + kLineBreak + kLineBreak + QStringLiteral("Laatste versie downloaden?");
}

QString versionTitle() { return QStringLiteral("Zandrel ") + kVersion; }

void Zandrel::Versie_Click()
{
    const int answer =
        platform_.messageBox->Show(versionPrompt(CurrentDirectory()), MB_YESNO | MB_ICONQUESTION, versionTitle());
    if (answer == IDYES)
        OpenFolder(kDownloadPage);
}

}  // namespace zandrel
