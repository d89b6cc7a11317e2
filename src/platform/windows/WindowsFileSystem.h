#pragma once

#include "platform/FileSystem.h"

namespace zandrel {

class WindowsFileSystem : public FileSystem {
public:
    bool FolderExists(const QString& path) override;
    bool FileExists(const QString& path) override;
    std::unique_ptr<Folder> GetFolder(const QString& path) override;
    // "E:" for a path on a drive letter, "\\server\share" for one on a share.
    QString GetDriveName(const QString& path) override;
    Drive GetDrive(const QString& driveName) override;
    void CreateFolder(const QString& path) override;
    std::unique_ptr<StagedCopy> StageCopy(const QString& source, const QString& targetFolder, CopyCheck check,
                                          const CopyControl& control) override;
    void ClearLeftovers(const QString& folder) override;
};

}  // namespace zandrel
