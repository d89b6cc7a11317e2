#include "support/TestWindow.h"

#include "platform/linux/ExivPictureLoader.h"
#include "platform/linux/HiveRegistry.h"
#include "platform/linux/LinuxFileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace zandrel::test {

TestWindow::TestWindow() : TestWindow(std::make_shared<LinuxFileSystem>()) {}

TestWindow::TestWindow(std::shared_ptr<FileSystem> fs) : fileSystem(std::move(fs))
{
    Platform platform{fileSystem, std::make_shared<HiveRegistryService>(hivePath()), launcher, messageBox,
                      std::make_shared<ExivPictureLoader>(), clock};
    window = std::make_unique<Zandrel>(std::move(platform));
}

QString TestWindow::makeFolder(const QString& relative) const
{
    const QString full = path(relative);
    QDir().mkpath(full);
    return full;
}

QString TestWindow::makeFile(const QString& relative, const QByteArray& bytes) const
{
    const QString full = path(relative);
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile file(full);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write test file %s", qPrintable(full));
    return full;
}

}  // namespace zandrel::test
