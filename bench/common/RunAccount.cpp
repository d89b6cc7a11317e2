#include "RunAccount.h"

#include <time.h>

#include <memory>

namespace zandrel::bench {

double monotonicNow()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

namespace {

// Records the call it lives through, however it ends.
class Timed {
public:
    Timed(RunAccount& account, const char* what) : account_(account), what_(what), begin_(monotonicNow()) {}
    ~Timed() { account_.record(what_, begin_, monotonicNow()); }
    Timed(const Timed&) = delete;
    Timed& operator=(const Timed&) = delete;

private:
    RunAccount& account_;
    const char* what_;
    double begin_;
};

class TimedFolder : public Folder {
public:
    TimedFolder(std::unique_ptr<Folder> inner, RunAccount& account) : inner_(std::move(inner)), account_(account) {}
    QStringList Files() override
    {
        const Timed t(account_, "Files");
        return inner_->Files();
    }
    qint64 Count() override
    {
        const Timed t(account_, "Count");
        return inner_->Count();
    }
    qint64 Size() override
    {
        const Timed t(account_, "Size");
        return inner_->Size();
    }

private:
    std::unique_ptr<Folder> inner_;
    RunAccount& account_;
};

class TimedCopy : public StagedCopy {
public:
    TimedCopy(std::unique_ptr<StagedCopy> inner, RunAccount& account) : inner_(std::move(inner)), account_(account) {}
    qint64 size() const override { return inner_->size(); }
    void verify(const CopyControl& control) override
    {
        const Timed t(account_, "verify");
        inner_->verify(control);
    }
    void publish(const QString& target) override
    {
        const Timed t(account_, "publish");
        inner_->publish(target);
    }
    void flushName() override
    {
        const Timed t(account_, "flushName");
        inner_->flushName();
    }
    void deleteSource() override
    {
        const Timed t(account_, "deleteSource");
        inner_->deleteSource();
    }

private:
    std::unique_ptr<StagedCopy> inner_;
    RunAccount& account_;
};

class TimedFileSystem : public FileSystem {
public:
    TimedFileSystem(std::shared_ptr<FileSystem> inner, RunAccount& account)
        : inner_(std::move(inner)), account_(account)
    {
    }
    bool FolderExists(const QString& path) override
    {
        const Timed t(account_, "FolderExists");
        return inner_->FolderExists(path);
    }
    bool FileExists(const QString& path) override
    {
        const Timed t(account_, "FileExists");
        return inner_->FileExists(path);
    }
    std::unique_ptr<Folder> GetFolder(const QString& path) override
    {
        const Timed t(account_, "GetFolder");
        return std::make_unique<TimedFolder>(inner_->GetFolder(path), account_);
    }
    QString GetDriveName(const QString& path) override
    {
        const Timed t(account_, "GetDrive");
        return inner_->GetDriveName(path);
    }
    Drive GetDrive(const QString& driveName) override
    {
        const Timed t(account_, "GetDrive");
        return inner_->GetDrive(driveName);
    }
    void CreateFolder(const QString& path) override
    {
        const Timed t(account_, "CreateFolder");
        inner_->CreateFolder(path);
    }
    QByteArray FolderStamp(const QString& path) override
    {
        const Timed t(account_, "FolderStamp");
        return inner_->FolderStamp(path);
    }
    std::unique_ptr<StagedCopy> StageCopy(const QString& source, const QString& targetFolder, CopyCheck check,
                                          const CopyControl& control) override
    {
        const Timed t(account_, "StageCopy");
        return std::make_unique<TimedCopy>(inner_->StageCopy(source, targetFolder, check, control), account_);
    }
    std::unique_ptr<FolderHold> HoldFolder(const QString& path) override
    {
        const Timed t(account_, "HoldFolder");
        return inner_->HoldFolder(path);
    }
    void ClearLeftovers(const QString& folder) override
    {
        const Timed t(account_, "ClearLeftovers");
        inner_->ClearLeftovers(folder);
    }

private:
    std::shared_ptr<FileSystem> inner_;
    RunAccount& account_;
};

class TimedPictures : public PictureLoader {
public:
    TimedPictures(std::shared_ptr<PictureLoader> inner, RunAccount& account)
        : inner_(std::move(inner)), account_(account)
    {
    }
    QImage LoadPicture(const QString& path, QSize boxSize) override
    {
        const Timed t(account_, "LoadPicture");
        return inner_->LoadPicture(path, boxSize);
    }

private:
    std::shared_ptr<PictureLoader> inner_;
    RunAccount& account_;
};

}  // namespace

void RunAccount::watch(Platform& platform)
{
    window_ = std::this_thread::get_id();
    platform.fileSystem = std::make_shared<TimedFileSystem>(platform.fileSystem, *this);
    platform.pictures = std::make_shared<TimedPictures>(platform.pictures, *this);
}

void RunAccount::record(const char* what, double begin, double end)
{
    const std::lock_guard guard(mutex_);
    calls_.push_back({std::this_thread::get_id(), what, begin, end});
}

std::vector<RunAccount::Call> RunAccount::calls() const
{
    const std::lock_guard guard(mutex_);
    return calls_;
}

}  // namespace zandrel::bench
