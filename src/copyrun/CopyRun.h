#pragma once

#include "platform/FileSystem.h"

#include <QString>
#include <QStringList>

namespace zandrel {

class Zandrel;
class CameraTally;

// One press of `start`: every camera file copied under a free name, with preview,
// progress and, when asked, the camera emptied behind it. Lives for that run only.
class CopyRun {
public:
    // `stopRequested` is raised when the window is closed during the run.
    CopyRun(Zandrel& window, const bool& stopRequested, CameraTally& tally);
    void execute();

private:
    void begin();
    bool createTargetFolder();
    void takeUp(const QString& name);
    QString copyUnderFreeName(const QString& source, const QString& name, CopyCheck check);
    void showPreview(const QString& target);
    void deleteCameraFile(const QString& source);
    void showProgress();
    void finish();
    void stop(const QString& name);
    QString targetFolder() const;

    Zandrel& window_;
    FileSystem& fileSystem_;
    const bool& stopRequested_;
    CameraTally& tally_;
    qint64 total_ = 0;
    qint64 counter_ = 0;
};

}  // namespace zandrel
