#pragma once

#include "platform/FileSystem.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace zandrel {

// The work of a run that waits for the card or the disk, done on threads of its
// own and ahead of the window: while one copy is flushed and read back, the
// card already streams the next files. Copies wait unpublished until the window
// takes them up in order; whatever it never takes leaves nothing behind. Once
// the window has published a copy, the pipeline also flushes its name.
class CopyPipeline {
public:
    // How far the card may be read ahead of the window, in bytes and in files.
    static constexpr qint64 kReadAheadBytes = qint64(256) << 20;
    static constexpr int kReadAheadFiles = 64;
    // Copies flushed (and read back, when verified) at the same time: small files' flushes overlap.
    static constexpr int kVerifiers = 4;

    // `stop` is the run's: once raised, every thread stops between two chunks.
    // `wake` is called from the working threads whenever a copy got further.
    CopyPipeline(FileSystem& fileSystem, QStringList sources, QString targetFolder, CopyCheck check,
                 const std::atomic<bool>& stop, std::function<void()> wake);
    // Ends the threads, which stop at once when the run was stopped and
    // otherwise finish the file in hand; copies not taken are removed.
    ~CopyPipeline();
    CopyPipeline(const CopyPipeline&) = delete;
    CopyPipeline& operator=(const CopyPipeline&) = delete;

    CopyCheck check() const { return check_; }
    // The copy of source `index` is finished, or has failed.
    bool ready(qsizetype index) const;
    // How much of source `index` has been read, from 0 to 1.
    float shareDone(qsizetype index) const;
    // The finished copy; throws PlatformError with the reason when it failed.
    std::unique_ptr<StagedCopy> take(qsizetype index);
    // Flushes the published copy's name on the pipeline's flushing thread,
    // which finishes it even when the run is stopped meanwhile: the copy is
    // whole and published, and one flush is soon over. The copy must outlive
    // the result's wait.
    std::future<void> flushName(StagedCopy& copy);

private:
    struct Item {
        std::unique_ptr<StagedCopy> copy;
        QString failure;
        bool failed = false;
        bool ready = false;
        std::atomic<qint64> done{0};
        std::atomic<qint64> total{0};
    };

    void stopThreads();
    void read();
    void verify();
    void flush();
    bool roomAhead() const;
    bool over() const;  // with the mutex held
    void stage(qsizetype index);
    // Why step failed; nothing when it succeeded.
    template <typename Step>
    std::optional<QString> failureOf(qsizetype index, Step step) const;
    void finish(qsizetype index, const QString* failure);
    void reportProgress(Item& item, qint64 done, qint64 total);

    FileSystem& fileSystem_;
    const QStringList sources_;
    const QString targetFolder_;
    const CopyCheck check_;
    const std::atomic<bool>& stop_;
    const std::function<void()> wake_;

    mutable std::mutex mutex_;
    std::condition_variable room_;       // for the reader: a copy was taken
    std::condition_variable work_;       // for the verifiers: a copy was staged, or reading ended
    std::condition_variable flushWork_;  // for the flusher: a name to flush
    std::deque<std::packaged_task<void()>> toFlush_;
    std::vector<Item> items_;
    std::deque<qsizetype> toVerify_;
    bool readingDone_ = false;
    bool closing_ = false;   // the window takes no more copies from this pipeline
    int ahead_ = 0;          // copies staged and not yet taken
    qint64 aheadBytes_ = 0;  // their size

    std::vector<std::thread> threads_;
};

}  // namespace zandrel
