#pragma once

#include <QString>

namespace zandrel {

// The one version text of the program, shown in the box and in its title.
inline const QString kVersion = QStringLiteral(ZANDREL_VERSION);

// Where the latest version can be downloaded; set when building (ZANDREL_DOWNLOAD_PAGE).
inline const QString kDownloadPage = QStringLiteral(ZANDREL_DOWNLOAD_PAGE);

QString versionPrompt(const QString& startFolder);
QString versionTitle();

}  // namespace zandrel
