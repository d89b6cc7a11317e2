#include "copyrun/CopyRun.h"

#include "app/Zandrel.h"
#include "copyrun/CameraTally.h"
#include "copyrun/Percentage.h"
#include "copyrun/TargetName.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace zandrel {

CopyRun::CopyRun(Zandrel& window, const bool& stopRequested, CameraTally& tally)
    : window_(window), fileSystem_(*window.platform().fileSystem), stopRequested_(stopRequested), tally_(tally)
{
}

void CopyRun::execute()
{
    begin();
    const QString camera = window_.Cpath.Text();
    if (!fileSystem_.FolderExists(camera))
        return finish();
    const bool targetReady = createTargetFolder();
    QStringList names;
    try {
        names = fileSystem_.GetFolder(camera)->Files();
    } catch (const PlatformError&) {
        return stop(camera);  // the camera cannot be read: no file name to tell
    }
    if (!targetReady && !names.isEmpty())
        return stop(names.first());
    for (const QString& name : names) {
        try {
            takeUp(name);
        } catch (const PlatformError&) {
            // Whatever went wrong, the camera file is still where it was, and
            // whatever reached the target under a photo's name is complete.
            return stop(name);
        }
        if (stopRequested_)
            return;
    }
    finish();
}

void CopyRun::begin()
{
    window_.Refresh1_Click();
    window_.DisableControls();
    total_ = window_.sAantal.Caption().toLongLong();
    window_.ProgressBar.setMax(float(total_));
    window_.ProgressBar.setValue(0);
    window_.procent.setCaption(QStringLiteral("0"));
    counter_ = 0;
    window_.procent.Refresh();
}

// Only the last level is made, so the photo folder itself must exist. With an
// empty subfolder name the tested path ends in a separator and exists already.
bool CopyRun::createTargetFolder()
{
    const QString folder = targetFolder();
    if (fileSystem_.FolderExists(folder))
        return true;
    try {
        fileSystem_.CreateFolder(folder);
        return true;
    } catch (const PlatformError&) {
        return false;
    }
}

void CopyRun::takeUp(const QString& name)
{
    ++counter_;
    const QString source = joinPath(window_.Cpath.Text(), name);
    // Read once, so that the check the copy gets matches what happens to the camera file.
    const bool emptying = window_.sDel.Value() == 1;
    const QString target = copyUnderFreeName(source, name, emptying ? CopyCheck::VerifiedOnDisk : CopyCheck::Plain);
    QCoreApplication::processEvents();
    if (!fileSystem_.FileExists(target))
        throw PlatformError(QStringLiteral("De kopie '%1' is niet aangekomen.").arg(target));
    showPreview(target);
    window_.Message.setCaption(readableName(name));
    if (emptying)
        deleteCameraFile(source);
    window_.RecountCamera();
    showProgress();
}

QString CopyRun::copyUnderFreeName(const QString& source, const QString& name, CopyCheck check)
{
    int first = 0;
    for (;;) {
        const auto free = freeTargetName(fileSystem_, targetFolder(), name, first);
        if (!free)
            throw PlatformError(QStringLiteral("Geen vrije naam voor '%1' in '%2'.").arg(name, targetFolder()));
        try {
            fileSystem_.CopyFile(source, free->path, check);
            return free->path;
        } catch (const TargetTaken&) {
            first = free->number + 1;  // another writer got there first
        }
    }
}

// The copy is shown, not the camera file. A picture that cannot be decoded
// comes back empty and simply clears the preview.
void CopyRun::showPreview(const QString& target)
{
    if (window_.sPreview.Value() != 1)
        return;
    QImage picture;
    if (target.right(3).toLower() == QLatin1String("jpg"))
        picture = window_.platform().pictures->LoadPicture(target, window_.Image1.widget()->size());
    // Clearing an empty box would repaint it for nothing, once for every file of
    // a camera full of movies or raw files.
    if (picture.isNull() && window_.Image1.Picture().isNull())
        return;
    window_.Image1.setPicture(picture);
    window_.Image1.Refresh();
}

void CopyRun::deleteCameraFile(const QString& source)
{
    const qint64 bytes = QFileInfo(source).size();
    fileSystem_.DeleteFile(source);
    tally_.fileDeleted(bytes);
}

void CopyRun::showProgress()
{
    window_.ProgressBar.setValue(float(counter_));
    window_.procent.setCaption(percentageCaption(counter_, total_));
}

void CopyRun::finish()
{
    window_.Image1.setPicture(QImage());
    window_.Image1.Refresh();
    window_.repaint();
    window_.Refresh1_Click();
    window_.Message.setCaption(QStringLiteral("Klaar met kopiëren"));
    window_.Stoplicht.setBackColor(Green);
    window_.EnableControls();
    if (window_.sOpen.Value() == 1)
        window_.OpenFolder(absoluteFolder(targetFolder()));
}

// The lamp, the preview and the progress keep what they showed; `start` stays
// locked until a readiness check finds the window ready again.
void CopyRun::stop(const QString& name)
{
    window_.Message.setCaption(QStringLiteral("ERROR kopiëren van ") + readableName(name));
    window_.EnableControls();
}

QString CopyRun::targetFolder() const { return joinPath(window_.Fpath.Text(), window_.sFolder.Text()); }

}  // namespace zandrel
