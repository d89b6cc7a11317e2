#include "platform/linux/SafeCopy.h"

#include "platform/linux/LinkRule.h"
#include "platform/linux/LinuxFileSystem.h"
#include "platform/linux/NativePath.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace zandrel {

namespace safecopy {

void fail(int error) { throw StepFailed{errorText(error)}; }

void fail(const QString& reason) { throw StepFailed{reason}; }

Fd& Fd::operator=(Fd&& other) noexcept
{
    if (this != &other) {
        reset();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void Fd::reset()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

Fd openSource(const QByteArray& path, struct stat& info)
{
    // O_NONBLOCK keeps a fifo in the camera folder from hanging the run; it
    // changes nothing for a regular file.
    Fd fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0)
        fail(errno);
    if (!S_ISREG(info.st_mode))
        fail(QStringLiteral("de bron is geen gewoon bestand"));
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

Fd openFolder(const QByteArray& path)
{
    if (!linksAreTrusted(path))
        fail(QStringLiteral("de map is een koppeling van een andere gebruiker"));
    // A real descriptor, not O_PATH: the folder is flushed through it.
    Fd fd(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0)
        fail(errno);
    return fd;
}

}  // namespace safecopy

namespace {

using namespace safecopy;

struct TargetPath {
    QByteArray folder;
    QByteArray name;
};

TargetPath splitTarget(const QString& target)
{
    const qsizetype slash = target.lastIndexOf(kPathSeparator);
    const QString folder = slash < 0 ? QStringLiteral(".") : slash == 0 ? QStringLiteral("/") : target.left(slash);
    const QString name = target.mid(slash + 1);
    if (name.isEmpty())
        fail(QStringLiteral("het doel heeft geen bestandsnaam"));
    return {nativePath(folder), nativePath(name)};
}

QString copyText(const QString& source, const QString& target, const QString& reason)
{
    return QStringLiteral("Kan '%1' niet kopiëren naar '%2': %3").arg(source, target, reason);
}

void copyPlain(int from, int folder, const QByteArray& name, const struct stat& info)
{
    TempFile temp(folder);
    copyFast(from, temp.fd());
    keepTimes(temp.fd(), info);
    publish(folder, temp, name);
}

void copyVerified(int from, int folder, const QByteArray& name, const struct stat& info)
{
    TempFile temp(folder);
    const Hash read = copyHashing(from, temp.fd());
    keepTimes(temp.fd(), info);
    verifyOnDisk(temp.fd(), info.st_size, read);
    publish(folder, temp, name);
    syncFolder(folder, temp.fd(), name);
}

}  // namespace

void LinuxFileSystem::CopyFile(const QString& source, const QString& target, CopyCheck check)
{
    try {
        if (!isPathText(source) || !isPathText(target))
            fail(EINVAL);
        copySafely(source, target, check);
    } catch (const NameTaken&) {
        throw TargetTaken(copyText(source, target, QStringLiteral("die naam is intussen in gebruik genomen")));
    } catch (const StepFailed& failure) {
        throw PlatformError(copyText(source, target, failure.reason));
    }
}

void LinuxFileSystem::copySafely(const QString& source, const QString& target, CopyCheck check)
{
    const TargetPath where = splitTarget(target);
    struct stat info {};
    const Fd from = openSource(nativePath(source), info);
    const Fd folder = openFolder(where.folder);
    // One look per folder is enough: what a killed run left stays harmless.
    if (sweptFolders_.insert(where.folder).second)
        sweepStaleTempFiles(folder.get());
    if (check == CopyCheck::VerifiedOnDisk)
        copyVerified(from.get(), folder.get(), where.name, info);
    else
        copyPlain(from.get(), folder.get(), where.name, info);
}

}  // namespace zandrel
