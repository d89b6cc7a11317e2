#pragma once

#include "platform/FileSystem.h"

#include <QByteArray>
#include <map>
#include <memory>
#include <mutex>

namespace zandrel {

namespace safecopy {
class Fd;
}

class LinuxFileSystem : public FileSystem {
public:
    bool FolderExists(const QString& path) override;
    bool FileExists(const QString& path) override;
    std::unique_ptr<Folder> GetFolder(const QString& path) override;
    QString GetDriveName(const QString& path) override;
    Drive GetDrive(const QString& driveName) override;
    void CreateFolder(const QString& path) override;
    QByteArray FolderStamp(const QString& path) override;
    std::unique_ptr<StagedCopy> StageCopy(const QString& source, const QString& targetFolder, CopyCheck check,
                                          const CopyControl& control) override;
    std::unique_ptr<FolderHold> HoldFolder(const QString& path) override;
    void ClearLeftovers(const QString& folder) override;

private:
    // The folder that copies into path go into: the one a live hold opened, else opened now.
    std::shared_ptr<const safecopy::Fd> targetFolder(const QString& path);

    std::mutex heldMutex_;                                          // copies are staged on several threads
    std::map<QByteArray, std::weak_ptr<const safecopy::Fd>> held_;  // by the folder's path
};

}  // namespace zandrel
