#include "platform/linux/SafeCopy.h"

#include "platform/linux/LinkRule.h"
#include "platform/linux/LinuxFileSystem.h"
#include "platform/linux/NativePath.h"

#include <QFile>

#include <cerrno>
#include <ctime>
#include <memory>
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
    // changes nothing for a regular file. A link swapped in for a camera file
    // is refused: its target is not the camera's file.
    Fd fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0)
        fail(errno);
    if (!S_ISREG(info.st_mode))
        fail(QStringLiteral("de bron is geen gewoon bestand"));
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

namespace {

bool sameTimes(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool sameContents(const struct stat& a, const struct stat& b)
{
    return sameFile(a, b) && a.st_size == b.st_size && sameTimes(a.st_mtim, b.st_mtim)
        && sameTimes(a.st_ctim, b.st_ctim);
}

}  // namespace

void checkSourceUnchanged(const QByteArray& path, const struct stat& opened, int fd)
{
    struct stat now {};
    if (fd >= 0 && (::fstat(fd, &now) != 0 || !sameContents(now, opened)))
        fail(QStringLiteral("het bestand op de camera veranderde terwijl het gekopieerd werd"));
    if (::lstat(path.constData(), &now) != 0)
        fail(errno);
    if (!sameContents(now, opened))
        fail(QStringLiteral("het bestand op de camera is veranderd sinds het gekopieerd werd"));
}

namespace {

// A folder by its whole path, each link on the way judged by the link rule.
Fd openByPath(const QByteArray& path)
{
    if (!linksAreTrusted(path))
        fail(QStringLiteral("de map is een koppeling van een andere gebruiker"));
    // A real descriptor, not O_PATH: the folder is flushed through it.
    Fd fd(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0)
        fail(errno);
    return fd;
}

// A link as the last level is followed only when its owner may be trusted.
// Where that rule applies nobody else may replace the link, so what is
// followed is the link that was judged.
Fd followTrustedLink(int parent, const struct stat& folder, const QByteArray& name, int error)
{
    struct stat link {};
    if (::fstatat(parent, name.constData(), &link, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(link.st_mode))
        fail(error);
    if (!ownerIsTrusted(folder, link.st_uid))
        fail(QStringLiteral("de map is een koppeling van een andere gebruiker"));
    Fd fd(::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0)
        fail(errno);
    return fd;
}

// The last level, opened beside its parent without following a link, and
// judged by what was opened, so that nothing can be swapped in between.
Fd openWithin(int parent, const QByteArray& name)
{
    struct stat folder {};
    struct stat opened {};
    if (::fstat(parent, &folder) != 0)
        fail(errno);
    Fd fd(::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0 && (errno == ELOOP || errno == ENOTDIR))
        return followTrustedLink(parent, folder, name, errno);
    if (fd.get() < 0 || ::fstat(fd.get(), &opened) != 0)
        fail(errno);
    if (!ownerIsTrusted(folder, opened.st_uid))
        fail(QStringLiteral("de map is van een andere gebruiker"));
    return fd;
}

}  // namespace

Fd openFolder(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray name = path.mid(slash + 1);
    // "photos/" is the photo folder itself; "." and ".." name no entry of their own.
    if (name.isEmpty() || name == "." || name == "..")
        return openByPath(path);
    return openWithin(openByPath(parentFolder(path)).get(), name);
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
    if (!isPathText(name))  // the kernel would take the name up to its NUL
        fail(EINVAL);
    return {nativePath(folder), nativePath(name)};
}

// The copy of one camera file from its staging to the deletion of the camera file.
class LinuxStagedCopy : public StagedCopy {
public:
    LinuxStagedCopy(const QString& source, const QString& folderText, std::shared_ptr<const Fd> folder, CopyCheck check)
        : source_(source), sourcePath_(nativePath(source)), folderText_(folderText), check_(check),
          folder_(std::move(folder))
    {
        ::clock_gettime(CLOCK_REALTIME, &lookedAt_);
        from_ = openSource(sourcePath_, info_);
    }

    void stage(const CopyControl& control)
    {
        temp_ = std::make_unique<TempFile>(folder_->get());
        if (check_ == CopyCheck::VerifiedOnDisk)
            hash_ = copyHashing(from_.get(), temp_->fd(), info_.st_size, control);
        else
            copyFast(from_.get(), temp_->fd(), info_.st_size, control);
        keepTimes(temp_->fd(), info_);
        // Before its flush, so that a power cut never brings a photo back as its writer's alone.
        if (temp_->named())
            temp_->takeUsualMode();
        struct stat copied {};
        if (::fstat(temp_->fd(), &copied) != 0)
            fail(errno);
        // A file cut short or grown while it was read is not the file that was looked at.
        if (copied.st_size != info_.st_size)
            fail(QStringLiteral("het bestand op de camera veranderde terwijl het gekopieerd werd"));
        checkSourceUnchanged(sourcePath_, info_, from_.get());
        closeBetweenFiles();
    }

    qint64 size() const override { return info_.st_size; }

    void verify(const CopyControl& control) override
    {
        failing(QString(), [&] { checkOnDisk(control); });
    }

    void publish(const QString& target) override
    {
        failing(target, [&] { publishAs(splitTarget(target)); });
        target_ = target;
    }

    void flushName() override
    {
        failing(target_, [&] { flushPublished(); });
    }

    void deleteSource() override
    {
        const QString failure = QStringLiteral("Kan '%1' niet verwijderen: %2");
        try {
            // The camera file may exist nowhere else until its copy is safe on disk.
            if (!verified_ || !flushedUnderName_)
                fail(QStringLiteral("de kopie is nog niet gecontroleerd en vastgelegd"));
            checkSourceUnchanged(sourcePath_, info_, from_.get());
            // Like a deletion without force: a write-protected file is left alone.
            if (!(info_.st_mode & S_IWUSR))
                fail(QStringLiteral("het bestand is alleen-lezen."));
            deleteUnchanged(sourcePath_, from_, info_, lookedAt_, hash_);
        } catch (const StepFailed& failed) {
            throw PlatformError(failure.arg(source_, failed.reason));
        }
    }

private:
    // Closing a file it has read makes a FUSE card's file system write the
    // file's access time to the card. A camera file that stays is let go now,
    // between two files as any reader does, rather than later from the
    // window's thread, where that write would break into the card's reading
    // of the next file. One to be deleted stays open for its deletion.
    void closeBetweenFiles()
    {
        if (check_ == CopyCheck::Plain)
            from_.reset();
    }

    // The steps themselves, failing with StepFailed or NameTaken.
    void checkOnDisk(const CopyControl& control)
    {
        if (check_ == CopyCheck::VerifiedOnDisk) {
            verifyOnDisk(temp_->fd(), info_.st_size, hash_, control);
            verified_ = true;
        } else {
            flushToDisk(temp_->fd(), control);
        }
    }

    void publishAs(const TargetPath& where)
    {
        if (where.folder != nativePath(folderText_))
            fail(QStringLiteral("de kopie staat klaar in een andere map"));
        checkSourceUnchanged(sourcePath_, info_);
        linked_ = !temp_->named();
        safecopy::publish(folder_->get(), *temp_, where.name);
        publishedName_ = where.name;
    }

    void flushPublished()
    {
        if (check_ != CopyCheck::VerifiedOnDisk || publishedName_.isEmpty())
            return;
        syncFolder(folder_->get(), temp_->fd(), publishedName_, linked_);
        flushedUnderName_ = true;
    }

    // Runs step; its failure becomes the copy's error text.
    template <typename Step>
    void failing(const QString& target, Step step)
    {
        try {
            step();
        } catch (const NameTaken&) {
            throw TargetTaken(
                copyFailureText(source_, target, QStringLiteral("die naam is intussen in gebruik genomen")));
        } catch (const StepFailed& failure) {
            throw PlatformError(copyFailureText(source_, target.isEmpty() ? folderText_ : target, failure.reason));
        }
    }

    QString source_;
    QByteArray sourcePath_;
    QString folderText_;
    CopyCheck check_;
    std::shared_ptr<const Fd> folder_;
    Fd from_;
    struct stat info_ {};
    struct timespec lookedAt_ {};  // when info_ was taken
    std::unique_ptr<TempFile> temp_;
    Hash hash_ = 0;
    QString target_;                 // where it was published
    QByteArray publishedName_;       // that name in its folder
    bool linked_ = false;            // an unnamed file given that name
    bool verified_ = false;          // read back from the disk and compared
    bool flushedUnderName_ = false;  // published, and its folder flushed
};

}  // namespace

namespace {

class LinuxFolderHold : public FolderHold {
public:
    explicit LinuxFolderHold(std::shared_ptr<const Fd> folder) : folder_(std::move(folder)) {}

private:
    std::shared_ptr<const Fd> folder_;
};

}  // namespace

std::unique_ptr<StagedCopy> LinuxFileSystem::StageCopy(const QString& source, const QString& targetFolder,
                                                       CopyCheck check, const CopyControl& control)
{
    try {
        if (!isPathText(source) || !isPathText(targetFolder))
            fail(EINVAL);
        auto copy = std::make_unique<LinuxStagedCopy>(source, targetFolder, this->targetFolder(targetFolder), check);
        copy->stage(control);
        return copy;
    } catch (const StepFailed& failure) {
        throw PlatformError(copyFailureText(source, targetFolder, failure.reason));
    }
}

std::unique_ptr<FolderHold> LinuxFileSystem::HoldFolder(const QString& path)
{
    try {
        if (!isPathText(path))
            fail(EINVAL);
        auto folder = std::make_shared<const Fd>(openFolder(nativePath(path)));
        const std::lock_guard<std::mutex> lock(heldMutex_);
        std::erase_if(held_, [](const auto& entry) { return entry.second.expired(); });
        std::weak_ptr<const Fd>& slot = held_[nativePath(path)];
        if (const std::shared_ptr<const Fd> earlier = slot.lock())
            return std::make_unique<LinuxFolderHold>(earlier);  // two runs into one folder share it
        slot = folder;
        return std::make_unique<LinuxFolderHold>(folder);
    } catch (const StepFailed& failure) {
        throw PlatformError(QStringLiteral("Kan de map '%1' niet gebruiken: %2").arg(path, failure.reason));
    }
}

void LinuxFileSystem::ClearLeftovers(const QString& folder)
{
    if (!isPathText(folder))
        return;
    try {
        const Fd fd = openFolder(nativePath(folder));
        std::vector<QByteArray> names;
        sweepStaleTempFiles(fd.get(), &names);
        putBackAbandoned(fd.get(), names);
    } catch (const StepFailed&) {
        // Housekeeping: the copy into this folder reports what is wrong with it.
    }
}

std::shared_ptr<const Fd> LinuxFileSystem::targetFolder(const QString& path)
{
    const QByteArray native = nativePath(path);
    {
        const std::lock_guard<std::mutex> lock(heldMutex_);
        const auto held = held_.find(native);
        if (held != held_.end())
            if (std::shared_ptr<const Fd> folder = held->second.lock())
                return folder;
    }
    return std::make_shared<const Fd>(openFolder(native));
}

}  // namespace zandrel
