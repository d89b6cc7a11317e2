#include "support/RealSystem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStorageInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
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

std::unique_ptr<QProcess> startTestChild(const QString& filter, const std::map<QString, QString>& variables,
                                         const QStringList& wrapper)
{
    auto child = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : variables)
        environment.insert(name, value);
    child->setProcessEnvironment(environment);
    child->setProcessChannelMode(QProcess::MergedChannels);
    const QStringList command = wrapper + QStringList{QCoreApplication::applicationFilePath(),
                                                      QStringLiteral("--gtest_also_run_disabled_tests"),
                                                      QStringLiteral("--gtest_filter=") + filter};
    child->start(command.first(), command.mid(1));
    return child;
}

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
            .exitCode == 0;
    return works;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write test file %s", qPrintable(path));
}

safecopy::Fd holdAsWriter(const QString& path)
{
    safecopy::Fd fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC));
    struct flock lock {};
    lock.l_type = F_WRLCK;
    EXPECT_EQ(::fcntl(fd.get(), F_OFD_SETLK, &lock), 0) << std::strerror(errno);
    return fd;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray randomBytes(qsizetype size)
{
    static quint32 seed = 1;
    std::vector<quint32> words(size_t(size) / sizeof(quint32) + 1);
    QRandomGenerator generator{seed++};
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
