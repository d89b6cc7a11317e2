#include "PlatformTesting.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStorageInfo>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <vector>

namespace zandrel::test {

Finished runToEnd(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(-1))
        return {-1, false, process.errorString()};
    process.waitForFinished(-1);
    return {process.exitCode(), process.exitStatus() == QProcess::CrashExit,
            QString::fromLocal8Bit(process.readAll())};
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write test file %s", qPrintable(path));
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray randomBytes(qsizetype size)
{
    std::vector<quint32> words(size_t(size) / sizeof(quint32) + 1);
    QRandomGenerator generator{quint32(size)};
    generator.fillRange(words.data(), qsizetype(words.size()));
    return QByteArray(reinterpret_cast<const char*>(words.data()), size);
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

namespace {

bool isMountPoint(const QString& path) { return QStorageInfo(path).rootPath() == path; }

void unmount(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    if (::umount2(native.constData(), 0) != 0 && errno == EBUSY)
        ::umount2(native.constData(), MNT_DETACH);
}

}  // namespace

TmpfsMount::TmpfsMount(qint64 bytes)
{
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0777";
    if (::mount("tmpfs", QFile::encodeName(dir_.path()).constData(), "tmpfs", 0, options.constData()) == 0)
        mounted_ = true;
    else
        problem = QStringLiteral("mount tmpfs: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
}

TmpfsMount::~TmpfsMount()
{
    if (mounted_)
        unmount(path());
}

ExfatMount::ExfatMount()
{
    mounted_ = setUp();
    if (!mounted_ && !device_.isEmpty())
        runToEnd(QStringLiteral("losetup"), {QStringLiteral("-d"), device_});
}

bool ExfatMount::setUp()
{
    const QString image = work_.filePath(QStringLiteral("disk.img"));
    QFile file(image);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(64 << 20))
        return (problem = QStringLiteral("cannot make the image")), false;
    file.close();
    Finished step = runToEnd(QStringLiteral("mkfs.exfat"), {QStringLiteral("-L"), QStringLiteral("FOTOS"), image});
    if (step.exitCode != 0)
        return (problem = QStringLiteral("mkfs.exfat: ") + step.output), false;
    step = runToEnd(QStringLiteral("losetup"), {QStringLiteral("-f"), QStringLiteral("--show"), image});
    if (step.exitCode != 0)
        return (problem = QStringLiteral("losetup: ") + step.output), false;
    device_ = step.output.trimmed();
    QDir().mkpath(path());
    step = runToEnd(QStringLiteral("mount.exfat-fuse"), {device_, path()});
    if (step.exitCode != 0 || !isMountPoint(path()))
        return (problem = QStringLiteral("mount.exfat-fuse: ") + step.output), false;
    return true;
}

ExfatMount::~ExfatMount()
{
    if (!mounted_)
        return;
    unmount(path());
    runToEnd(QStringLiteral("losetup"), {QStringLiteral("-d"), device_});
}

}  // namespace zandrel::test
