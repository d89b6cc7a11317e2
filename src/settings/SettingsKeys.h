#pragma once

#include <QString>

namespace zandrel::settings {

// Where the settings live, and the key of the earlier edition that is taken over once.
inline const QString Key = QStringLiteral("SOFTWARE\\Zandrel");
inline const QString OlderKey = QStringLiteral("SOFTWARE\\Vostrik");

inline const QString SourceValue = QStringLiteral("cpath");
inline const QString DestinationValue = QStringLiteral("fpath");
inline const QString OpenAfterwardsValue = QStringLiteral("sOpen");
inline const QString OlderSourceValue = QStringLiteral("source");
inline const QString OlderDestinationValue = QStringLiteral("dest");

inline const QString DefaultSource = QStringLiteral("set source path");
inline const QString DefaultDestination = QStringLiteral("set destination path");
inline const QString DefaultOpenAfterwards = QStringLiteral("1");

// Shown in a path box whose stored value is missing or empty.
inline const QString UnknownPath = QStringLiteral("Unknown");

}  // namespace zandrel::settings
