#pragma once

#include "support/CopyLikeTheRun.h"
#include "support/RealSystem.h"

#include "platform/Platform.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimeZone>
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

inline const QDateTime kTaken = QDateTime(QDate(2021, 7, 14), QTime(10, 30, 12), QTimeZone::utc());

// The camera and the photo disk as real folders; the photo disk can be put
// on another file system.
class SafeCopyTest : public ::testing::TestWithParam<CopyCheck> {
protected:
    void SetUp() override
    {
        QDir().mkpath(camera());
        QDir().mkpath(photos());
    }
    QString camera() const { return dir.filePath(QStringLiteral("camera")); }
    virtual QString photos() const
    {
        return photosRoot.isEmpty() ? dir.filePath(QStringLiteral("foto's")) : photosRoot;
    }
    QString inCamera(const QString& name) const { return camera() + QLatin1Char('/') + name; }
    QString inPhotos(const QString& name) const { return photos() + QLatin1Char('/') + name; }

    QString shoot(const QString& name, const QByteArray& bytes)
    {
        writeFile(inCamera(name), bytes);
        QFile file(inCamera(name));
        file.open(QIODevice::ReadWrite);
        file.setFileTime(kTaken, QFileDevice::FileModificationTime);
        return inCamera(name);
    }

    // Copied into the photo folder under name, the way a run copies it.
    std::unique_ptr<StagedCopy> copyToPhotos(const QString& source, const QString& name)
    {
        return copyLikeTheRun(fs, source, photos(), name, GetParam());
    }

    void expectCopied(const QString& source, const QString& target, const QByteArray& bytes) const
    {
        EXPECT_EQ(readFile(source), bytes) << "the source changed";
        EXPECT_EQ(readFile(target), bytes);
        EXPECT_LE(qAbs(QFileInfo(target).lastModified().secsTo(kTaken)), 2) << "the photo's time was lost";
    }

    QTemporaryDir dir;
    QString photosRoot;
    const std::shared_ptr<FileSystem> system = Platform::System().fileSystem;
    FileSystem& fs = *system;
};

}  // namespace zandrel::test
