#pragma once

#include "platform/FileSystem.h"

#include <memory>

namespace zandrel::test {

// One camera file copied the way a run copies it: the folder's leftovers
// cleared (as the check before every run does), then staged, verified,
// published under name in targetFolder and that name flushed. The copy is
// handed back, so that a caller may go on to delete the camera file.
inline std::unique_ptr<StagedCopy> copyLikeTheRun(FileSystem& fs, const QString& source, const QString& targetFolder,
                                                  const QString& name, CopyCheck check)
{
    fs.ClearLeftovers(targetFolder);
    std::unique_ptr<StagedCopy> copy = fs.StageCopy(source, targetFolder, check, {});
    copy->verify({});
    copy->publish(joinPath(targetFolder, name));
    copy->flushName();
    return copy;
}

// A camera file moved the way a run that empties the camera moves it.
inline void moveLikeTheRun(FileSystem& fs, const QString& source, const QString& targetFolder, const QString& name)
{
    copyLikeTheRun(fs, source, targetFolder, name, CopyCheck::VerifiedOnDisk)->deleteSource();
}

}  // namespace zandrel::test
