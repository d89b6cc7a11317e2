#pragma once

#include <QString>

namespace zandrel {

// The one version text of the program, shown in the box and in its title.
inline const QString kVersion = QStringLiteral(ZANDREL_VERSION);

// Where the latest version can be downloaded.
inline const QString kDownloadPage = QStringLiteral("https://zandrel.example.org/download/Zandrel.html");

QString versionPrompt(const QString& startFolder);
QString versionTitle();

}  // namespace zandrel
