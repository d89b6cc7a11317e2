#pragma once

#include "platform/FileSystem.h"
#include "platform/Platform.h"

#include <memory>

namespace zandrel::test {

// The system's real file system behind a decorator: subclasses override only
// the calls they watch or fault and hand the rest on.
class ForwardingFileSystem : public FileSystem {
public:
    explicit ForwardingFileSystem(std::shared_ptr<FileSystem> real = Platform::System().fileSystem)
        : real_(std::move(real))
    {
    }

    bool FolderExists(const QString& path) override { return real_->FolderExists(path); }
    bool FileExists(const QString& path) override { return real_->FileExists(path); }
    std::unique_ptr<Folder> GetFolder(const QString& path) override { return real_->GetFolder(path); }
    QString GetDriveName(const QString& path) override { return real_->GetDriveName(path); }
    Drive GetDrive(const QString& driveName) override { return real_->GetDrive(driveName); }
    void CreateFolder(const QString& path) override { real_->CreateFolder(path); }
    QByteArray FolderStamp(const QString& path) override { return real_->FolderStamp(path); }
    std::unique_ptr<StagedCopy> StageCopy(const QString& source, const QString& targetFolder, CopyCheck check,
                                          const CopyControl& control) override
    {
        return real_->StageCopy(source, targetFolder, check, control);
    }
    std::unique_ptr<FolderHold> HoldFolder(const QString& path) override { return real_->HoldFolder(path); }
    void ClearLeftovers(const QString& folder) override { real_->ClearLeftovers(folder); }

protected:
    FileSystem& real() { return *real_; }

private:
    std::shared_ptr<FileSystem> real_;
};

}  // namespace zandrel::test
