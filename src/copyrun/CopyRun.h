#pragma once

#include "platform/FileSystem.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <future>
#include <memory>

namespace zandrel {

class Zandrel;
class CameraTally;
class CopyPipeline;

// One press of `start`: every camera file copied under a free name, with preview,
// progress and, when asked, the camera emptied behind it. Lives for that run only.
class CopyRun {
public:
    // `stop` ends the run: the window raises it when it is closed, the run when
    // it stops on a failure. Every thread of the run stops when it sees it.
    CopyRun(Zandrel& window, std::atomic<bool>& stop, CameraTally& tally);
    ~CopyRun();
    void execute();

private:
    void begin();
    QString openTargetFolder();
    void copyAll(const QStringList& names);
    void takeUp(const QStringList& names, qsizetype index);
    std::unique_ptr<StagedCopy> awaitCopy(const QStringList& names, qsizetype index, CopyCheck check);
    void awaitFlush(std::future<void>& flushed);
    void startPipeline(const QStringList& names, qsizetype first, CopyCheck check);
    QString publishUnderFreeName(StagedCopy& copy, const QString& name);
    void showPreview(const QString& target);
    void deleteCameraFile(StagedCopy& copy);
    void showProgress();
    void finish();
    void stop(const QString& name, const QString& reason);
    QString targetFolder() const;

    Zandrel& window_;
    FileSystem& fileSystem_;
    std::atomic<bool>& stop_;
    CameraTally& tally_;
    qint64 total_ = 0;
    qint64 counter_ = 0;
    std::unique_ptr<FolderHold> targetHold_;  // outlives the copies made into it
    std::unique_ptr<CopyPipeline> pipeline_;
    qsizetype pipelineFirst_ = 0;  // the index of names at which the pipeline started
};

}  // namespace zandrel
