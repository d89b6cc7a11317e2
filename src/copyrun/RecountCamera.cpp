#include "app/Zandrel.h"
#include "copyrun/CameraTally.h"
#include "app/ShownMegabytes.h"

namespace zandrel {

void Zandrel::RecountCamera()
{
    if (sDel.Value() != 1)
        return;
    CameraTally once;  // outside a run every recount is a real one
    CameraTally& tally = tally_ ? *tally_ : once;
    FileSystem& fileSystem = *platform_.fileSystem;
    const QString camera = Cpath.Text();
    if (!fileSystem.FolderExists(camera)) {
        tally.forget();
        return;
    }
    if (tally.dueForRealCount(camera)) {
        // Looked at first, so that a change while counting shows at the next recount.
        const QByteArray stamp = fileSystem.FolderStamp(camera);
        const auto folder = fileSystem.GetFolder(camera);
        const qint64 count = folder->Count();
        tally.realCount(camera, count, folder->Size());
        tally.setStamp(stamp);
    }
    sAantal.setCaption(QString::number(tally.count()));
    sMB.setCaption(QString::number(shownMegabytes(tally.bytes())));
}

}  // namespace zandrel
