#include "app/Zandrel.h"

namespace zandrel {

void Zandrel::RecountCamera()
{
    if (sDel.Value() != 1)
        return;
    FileSystem& fileSystem = *platform_.fileSystem;
    const QString camera = Cpath.Text();
    if (!fileSystem.FolderExists(camera)) {
        tally_.forget();
        return;
    }
    if (tally_.dueForRealCount(camera)) {
        const auto folder = fileSystem.GetFolder(camera);
        const qint64 count = folder->Count();
        tally_.realCount(camera, count, folder->Size());
    }
    sAantal.setCaption(QString::number(tally_.count()));
    sMB.setCaption(QString::number(tally_.bytes() / 1000000));
}

}  // namespace zandrel
