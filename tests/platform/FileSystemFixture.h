#pragma once

#include "support/CopyLikeTheRun.h"
#include "support/RealSystem.h"

#include "platform/Platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace zandrel::test {

// A name as the system allows it: Windows takes no '"' in a name.
inline QString allowedName(QString name)
{
    return kPathSeparator == QLatin1Char('\\') ? name.remove(QLatin1Char('"')) : name;
}

// A name with everything a shell or a careless quoting would trip over.
inline const QString kAwkwardName = allowedName(QStringLiteral("zomer 'één' \"twee\" ; $(x) ü.jpg"));

class FileSystemTest : public ::testing::Test {
protected:
    QString path(const QString& relative) const { return dir.filePath(relative); }
    QString folder(const QString& relative) const
    {
        QDir().mkpath(path(relative));
        return path(relative);
    }
    QString file(const QString& relative, const QByteArray& bytes = "x") const
    {
        writeFile(path(relative), bytes);
        return path(relative);
    }

    QTemporaryDir dir;
    const std::shared_ptr<FileSystem> system = Platform::System().fileSystem;
    FileSystem& fs = *system;
};

}  // namespace zandrel::test
