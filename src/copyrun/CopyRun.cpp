#include "copyrun/CopyRun.h"

#include "app/ReadableName.h"
#include "app/Zandrel.h"
#include "copyrun/CameraTally.h"
#include "copyrun/CopyPipeline.h"
#include "copyrun/InputGate.h"
#include "copyrun/Percentage.h"
#include "copyrun/TargetName.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <future>

namespace zandrel {

namespace {

// While the window waits for a copy it repaints, answers the desktop and
// assistive technology and takes a close at once, but runs no handler: the
// gate holds clicks and keys for the file's one pass of pending events, and
// timers wait for it too. User input is not left out here: the window system
// would park it, the close among it, where that pass might not find it.
constexpr QEventLoop::ProcessEventsFlags kWhileWaiting = QEventLoop::X11ExcludeTimers | QEventLoop::WaitForMoreEvents;

// Waits until done(), calling meanwhile() after every pass of events.
template <typename Done, typename Meanwhile>
void waitUntil(Done done, Meanwhile meanwhile)
{
    if (done())
        return;
    const InputGate gate;
    while (!done()) {
        QCoreApplication::processEvents(kWhileWaiting);
        meanwhile();
    }
}

// Called from the copy's threads: ends the window's wait for more events.
void wakeWindow()
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
}

}  // namespace

CopyRun::CopyRun(Zandrel& window, std::atomic<bool>& stop, CameraTally& tally)
    : window_(window), fileSystem_(*window.platform().fileSystem), stop_(stop), tally_(tally)
{
}

// Stops the work ahead at once; copies not yet published are removed.
CopyRun::~CopyRun() = default;

void CopyRun::execute()
{
    begin();
    const QString camera = window_.Cpath.Text();
    if (!fileSystem_.FolderExists(camera))
        return finish();
    const QString targetFailure = openTargetFolder();
    QStringList names;
    try {
        names = fileSystem_.GetFolder(camera)->Files();
    } catch (const PlatformError& error) {
        return stop(camera, error.text());  // the camera cannot be read: no file name to tell
    }
    if (!targetFailure.isEmpty() && !names.isEmpty())
        return stop(names.first(), targetFailure);
    copyAll(names);
}

void CopyRun::copyAll(const QStringList& names)
{
    for (qsizetype index = 0; index < names.size(); ++index) {
        try {
            takeUp(names, index);
        } catch (const PlatformError& error) {
            // Whatever went wrong, the camera file is still where it was, and
            // whatever reached the target under a photo's name is complete.
            return stop(names[index], error.text());
        }
        if (stop_)
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
// The folder is then opened once for the whole run, so that every copy goes
// into the folder that was judged fit, whatever its path names meanwhile.
// Returns why the folder cannot be made or used, or nothing when it is there.
QString CopyRun::openTargetFolder()
{
    const QString folder = targetFolder();
    try {
        if (!fileSystem_.FolderExists(folder))
            fileSystem_.CreateFolder(folder);
        targetHold_ = fileSystem_.HoldFolder(folder);
        return QString();
    } catch (const PlatformError& error) {
        return error.text();
    }
}

void CopyRun::takeUp(const QStringList& names, qsizetype index)
{
    ++counter_;
    const QString& name = names[index];
    // Read once, so that the check the copy gets matches what happens to the camera file.
    const bool emptying = window_.sDel.Value() == 1;
    const std::unique_ptr<StagedCopy> copy =
        awaitCopy(names, index, emptying ? CopyCheck::VerifiedOnDisk : CopyCheck::Plain);
    if (!copy)
        return;  // the window is being closed: this camera file stays
    const QString target = publishUnderFreeName(*copy, name);
    // The name is flushed while the window shows the copy; the camera file
    // waits for it, and so does the copy's end, however this file ends.
    std::future<void> flushed = emptying ? pipeline_->flushName(*copy) : std::future<void>();
    const auto flushOver = qScopeGuard([&] {
        if (flushed.valid())
            flushed.wait();
    });
    QCoreApplication::processEvents();
    if (!fileSystem_.FileExists(target))
        throw PlatformError(QStringLiteral("De kopie '%1' is niet aangekomen.").arg(target));
    showPreview(target);
    window_.Message.setCaption(readableName(name));
    if (emptying) {
        awaitFlush(flushed);
        deleteCameraFile(*copy);
    }
    window_.RecountCamera();
    showProgress();
}

// The copy of names[index], finished and checked off the window's thread;
// nothing when the window was closed meanwhile.
std::unique_ptr<StagedCopy> CopyRun::awaitCopy(const QStringList& names, qsizetype index, CopyCheck check)
{
    if (!pipeline_ || pipeline_->check() != check)
        startPipeline(names, index, check);
    const qsizetype at = index - pipelineFirst_;
    // The bar moves within a large file; the percentage waits for its end.
    waitUntil([&] { return pipeline_->ready(at) || stop_; },
              [&] { window_.ProgressBar.setValue(float(counter_ - 1) + pipeline_->shareDone(at)); });
    if (stop_)
        return nullptr;
    return pipeline_->take(at);
}

// The folder's flush can wait for the disk to write back other files; the
// window waits for it as it waits for a copy.
void CopyRun::awaitFlush(std::future<void>& flushed)
{
    waitUntil([&] { return flushed.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, [] {});
    flushed.get();  // throws what the flush threw
}

void CopyRun::startPipeline(const QStringList& names, qsizetype first, CopyCheck check)
{
    pipeline_.reset();  // what the last one read ahead was for the other check
    QStringList sources;
    for (qsizetype index = first; index < names.size(); ++index)
        sources << joinPath(window_.Cpath.Text(), names[index]);
    pipelineFirst_ = first;
    pipeline_ = std::make_unique<CopyPipeline>(fileSystem_, sources, targetFolder(), check, stop_, wakeWindow);
}

QString CopyRun::publishUnderFreeName(StagedCopy& copy, const QString& name)
{
    int first = 0;
    for (;;) {
        const auto free = freeTargetName(fileSystem_, targetFolder(), name, first);
        if (!free)
            throw PlatformError(QStringLiteral("Geen vrije naam voor '%1' in '%2'.").arg(name, targetFolder()));
        try {
            copy.publish(free->path);
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

void CopyRun::deleteCameraFile(StagedCopy& copy)
{
    const QString camera = window_.Cpath.Text();
    // Changed by someone else since the run last looked: the next recount is a real one.
    if (fileSystem_.FolderStamp(camera) != tally_.stamp())
        tally_.forget();
    copy.deleteSource();
    tally_.fileDeleted(copy.size());
    tally_.setStamp(fileSystem_.FolderStamp(camera));
}

void CopyRun::showProgress()
{
    window_.ProgressBar.setValue(float(counter_));
    window_.procent.setCaption(percentageCaption(counter_, total_));
}

void CopyRun::finish()
{
    pipeline_.reset();
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
// locked until a readiness check finds the window ready again. The line names
// the file; why it failed is there for whoever looks closer, and in the journal.
void CopyRun::stop(const QString& name, const QString& reason)
{
    stop_ = true;  // what the threads read ahead is no longer wanted
    pipeline_.reset();
    window_.Message.setCaption(QStringLiteral("ERROR kopiëren van ") + readableName(name));
    window_.Message.setReason(reason);
    qWarning("%s", qUtf8Printable(reason));
    window_.EnableControls();
}

QString CopyRun::targetFolder() const { return joinPath(window_.Fpath.Text(), window_.sFolder.Text()); }

}  // namespace zandrel
