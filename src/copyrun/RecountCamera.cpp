#include "app/Zandrel.h"
#include "readiness/ShownMegabytes.h"

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
        // Looked at first, so that a change while counting shows at the next recount.
        const QByteArray stamp = fileSystem.FolderStamp(camera);
        const auto folder = fileSystem.GetFolder(camera);
        const qint64 count = folder->Count();
        tally_.realCount(camera, count, folder->Size());
        tally_.setStamp(stamp);
    }
    sAantal.setCaption(QString::number(tally_.count()));
    sMB.setCaption(QString::number(shownMegabytes(tally_.bytes())));
}

}  // namespace zandrel
