#pragma once

#include <QString>
#include <stdexcept>

namespace zandrel {

// A platform operation that could not be carried out. The text says in words
// what failed and on which path, so it can be shown to the user as it stands.
class PlatformError : public std::runtime_error {
public:
    explicit PlatformError(const QString& what) : std::runtime_error(what.toStdString()) {}
    QString text() const { return QString::fromStdString(what()); }
};

// Why a camera file could not be copied, as every copy failure reads.
inline QString copyFailureText(const QString& source, const QString& target, const QString& reason)
{
    return QStringLiteral("Kan '%1' niet kopiëren naar '%2': %3").arg(source, target, reason);
}

}  // namespace zandrel
