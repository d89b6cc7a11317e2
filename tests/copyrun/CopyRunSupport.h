#pragma once

#include "support/ForwardingFileSystem.h"
#include "support/RealSystem.h"
#include "support/TestWindow.h"

#include <QByteArray>
#include <QEvent>
#include <QLabel>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace zandrel::test {

// The real file system with hooks around each copy, for faults that cannot be
// made for real (a copy that silently does not arrive, a rival writer), and a
// log of the steps each copy went through, in the order they happened.
class HookedFileSystem : public ForwardingFileSystem {
public:
    std::unique_ptr<StagedCopy> StageCopy(const QString& source, const QString& targetFolder, CopyCheck check,
                                          const CopyControl& control) override;

    // On the copy's own threads.
    std::function<void(const QString& source)> whileStaging;
    std::function<void(const QString& source, qint64 bytesRead)> whileReading;
    std::function<void(const QString& source)> whileVerifying;
    // On the window's thread, right before the copy is published.
    std::function<void(const QString& source, const QString& target)> beforeCopy;
    std::function<bool(const QString& source)> loses;

    void log(const QString& step, const QString& path);
    // "stage a.dat", "verify a.dat", "publish a.dat", "delete a.dat", ...
    QStringList steps() const;
    std::vector<CopyCheck> checks() const;
    int liveCopies() const { return live_; }

private:
    friend class HookedCopy;
    mutable std::mutex mutex_;
    QStringList steps_;
    std::vector<CopyCheck> checks_;
    std::atomic<int> live_{0};
};

// What a label showed each time it was painted, without repeats in a row. The
// run lets the window paint once per file, so this is what a user saw.
class ShownTexts : public QObject {
public:
    explicit ShownTexts(const Control& label) { label.widget()->installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            const QString text = static_cast<QLabel*>(watched)->text();
            if (texts.isEmpty() || texts.last() != text)
                texts << text;
        }
        return false;
    }
    // What was shown from the last time `first` appeared on.
    QStringList from(const QString& first) const { return texts.mid(texts.lastIndexOf(first)); }
    QStringList texts;
};

// A camera folder and a photo folder in a fresh temporary folder, stored in the
// real hive, and the window on them. The window is shown so that it paints.
class CopyRunFixture {
public:
    explicit CopyRunFixture(std::shared_ptr<FileSystem> fileSystem = Platform::System().fileSystem);

    Zandrel& window() { return *t.window; }
    void setFolders(const QString& cameraFolder, const QString& photoFolder);
    void setOpenAfterwards(bool open);
    void setTicks(bool emptyCamera, bool preview)
    {
        window().sDel.setValue(emptyCamera ? 1 : 0);
        window().sPreview.setValue(preview ? 1 : 0);
    }
    void setSubfolder(const QString& name) { window().sFolder.setText(name); }
    QString target() const { return joinPath(photos, t.window->sFolder.Text()); }

    // A camera file with its bytes remembered, to check later that nothing was lost.
    QString cameraFile(const QString& name, const QByteArray& bytes);
    QString cameraFile(const QString& name, qsizetype size);
    void run() { t.window->start_Click(); }

    QStringList cameraNames() const;
    QStringList targetNames() const;  // hidden files too: no leftovers of a copy
    QByteArray targetBytes(const QString& name) const;

    // Every camera file is still on the camera or complete at the target, and
    // every file at the target is complete; names that start with `leftovers`
    // (a dead run's temporary files) are passed over.
    void expectNothingLost(const QString& targetFolder, const QString& leftovers = QString()) const;
    void expectNothingLost() const { expectNothingLost(target()); }

    TestWindow t;
    QString camera;
    QString photos;
    QMap<QString, QByteArray> originals;
};

// A small real JPEG of one colour.
QByteArray smallJpeg(QColor colour, QSize size = QSize(64, 48));

}  // namespace zandrel::test
