#include "support/linux/LinuxSystem.h"

#include <QDir>
#include <QFile>
#include <QStorageInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace zandrel::test {

QStringList asOtherUser()
{
    if (::geteuid() != 0)
        return {};
    return {QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
            QStringLiteral("--clear-groups")};
}

bool straceWorks()
{
    static const bool works =
        runToEnd(QStringLiteral("strace"), {QStringLiteral("-o"), QStringLiteral("/dev/null"), QStringLiteral("true")})
            .exitCode
        == 0;
    return works;
}

safecopy::Fd holdAsWriter(const QString& path)
{
    safecopy::Fd fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC));
    struct flock lock {};
    lock.l_type = F_WRLCK;
    EXPECT_EQ(::fcntl(fd.get(), F_OFD_SETLK, &lock), 0) << std::strerror(errno);
    return fd;
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

TmpfsMount::TmpfsMount(qint64 bytes) : folder_(dir_.path())
{
    mount("size=" + QByteArray::number(bytes) + ",mode=0777");
}

TmpfsMount::TmpfsMount(const QString& folder, qint64 bytes) : folder_(folder)
{
    QDir().mkpath(folder);
    mount("size=" + QByteArray::number(bytes));
}

void TmpfsMount::mount(const QByteArray& options)
{
    if (::mount("tmpfs", QFile::encodeName(folder_).constData(), "tmpfs", 0, options.constData()) == 0)
        mounted_ = true;
    else
        problem = QStringLiteral("mount tmpfs: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
}

TmpfsMount::~TmpfsMount()
{
    if (mounted_)
        unmount(path());
}

ExfatMount::ExfatMount(int megabytes)
{
    if (::geteuid() != 0) {
        problem = QStringLiteral("needs root for a loop device");
        return;
    }
    mounted_ = setUp(megabytes);
    if (!mounted_ && !device_.isEmpty())
        runToEnd(QStringLiteral("losetup"), {QStringLiteral("-d"), device_});
}

bool ExfatMount::setUp(int megabytes)
{
    const QString image = work_.filePath(QStringLiteral("disk.img"));
    QFile file(image);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(qint64(megabytes) << 20))
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
