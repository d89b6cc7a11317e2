#include "copyrun/CopyRunSupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <gtest/gtest.h>

namespace zandrel::test {

namespace {

QStringList everyFile(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

}  // namespace

CopyRunFixture::CopyRunFixture(std::shared_ptr<FileSystem> fileSystem) : t(std::move(fileSystem))
{
    camera = t.makeFolder(QStringLiteral("camera"));
    photos = t.makeFolder(QStringLiteral("photos"));
    setFolders(camera, photos);
    setOpenAfterwards(false);
    setSubfolder(QStringLiteral("2026 December"));
    t.window->show();
}

void CopyRunFixture::setFolders(const QString& cameraFolder, const QString& photoFolder)
{
    storeFolders(t, cameraFolder, photoFolder);
}

void CopyRunFixture::setOpenAfterwards(bool open)
{
    t.window->platform().registry->Connect()->SetStringValue(
        HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\Zandrel"), QStringLiteral("sOpen"),
        open ? QStringLiteral("1") : QStringLiteral("0"));
}

QString CopyRunFixture::cameraFile(const QString& name, const QByteArray& bytes)
{
    originals.insert(name, bytes);
    return t.makeFile(QStringLiteral("camera/") + name, bytes);
}

QString CopyRunFixture::cameraFile(const QString& name, qsizetype size) { return cameraFile(name, randomBytes(size)); }

QStringList CopyRunFixture::cameraNames() const { return everyFile(camera); }

QStringList CopyRunFixture::targetNames() const { return everyFile(target()); }

QByteArray CopyRunFixture::targetBytes(const QString& name) const { return readFile(joinPath(target(), name)); }

void CopyRunFixture::expectNothingLost(const QString& targetFolder, const QString& leftovers) const
{
    QList<QByteArray> arrived;
    for (const QString& name : everyFile(targetFolder)) {
        if (!leftovers.isEmpty() && name.startsWith(leftovers))
            continue;
        arrived << readFile(joinPath(targetFolder, name));
        EXPECT_TRUE(std::find(originals.begin(), originals.end(), arrived.last()) != originals.end())
            << "partial or foreign file at the target: " << name.toStdString();
    }
    for (auto original = originals.begin(); original != originals.end(); ++original) {
        const QString onCamera = joinPath(camera, original.key());
        const bool kept = QFile::exists(onCamera) && readFile(onCamera) == original.value();
        EXPECT_TRUE(kept || arrived.contains(original.value())) << "lost: " << original.key().toStdString();
    }
}

QByteArray smallJpeg(QColor colour, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return bytes;
}

}  // namespace zandrel::test
