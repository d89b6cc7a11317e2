#pragma once

// The safe copy of one camera file on Windows. A camera file may exist
// nowhere else, so the copy is written under a temporary name, flushed and,
// when the camera file is to go, read back past the cache and compared; only
// then is it renamed to a photo's name by a rename that never replaces.

#include "platform/FileSystem.h"

#include <memory>
#include <string>

namespace zandrel::wincopy {

std::unique_ptr<StagedCopy> stageCopy(const QString& source, const QString& targetFolder, CopyCheck check,
                                      const CopyControl& control);

// Removes the temporary files that runs which are no longer alive left in the
// folder (given as a long path). A live run holds its file open without
// sharing its deletion, so its file stays.
void sweepStaleTempFiles(const std::wstring& folder);

// A name of the form the temporary files take, in any letter case. No copy is
// ever published under one, so a file of that form is never a photo.
bool isTempName(const QString& name);

}  // namespace zandrel::wincopy
