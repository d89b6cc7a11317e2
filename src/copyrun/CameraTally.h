#pragma once

#include <QByteArray>
#include <QString>

namespace zandrel {

// The camera's file count and size as RecountCamera shows them while the camera
// is being emptied.
//
// Counting the folder afresh after every file costs time in proportion to what
// is left, which makes emptying a full camera quadratic (20,000 files would be
// read 20,000 times). So the tally subtracts each deleted file from the last real
// count, as long as the folder changed by the run's own deletions alone: its
// stamp is looked at right before and right after each of them. Any other change
// makes the next recount a real one. Where the file system's stamp is too coarse
// to tell, a real count also follows once half of the last one has been deleted
// (at least one file): n + n/2 + n/4 + ... entries, about two per file.
class CameraTally {
public:
    // Forgets the figures: the next recount is a real one.
    void forget() { valid_ = false; }
    bool dueForRealCount(const QString& folder) const;
    void realCount(const QString& folder, qint64 count, qint64 bytes);
    void fileDeleted(qint64 bytes);
    // The camera folder's stamp, as the run's own change left it.
    const QByteArray& stamp() const { return stamp_; }
    void setStamp(const QByteArray& stamp) { stamp_ = stamp; }

    qint64 count() const { return count_; }
    qint64 bytes() const { return bytes_; }

private:
    static constexpr qint64 kSpacingDivisor = 2;

    QString folder_;
    QByteArray stamp_;
    qint64 count_ = 0;
    qint64 bytes_ = 0;
    qint64 countAtRealCount_ = 0;
    qint64 deletedSinceRealCount_ = 0;
    bool valid_ = false;
};

}  // namespace zandrel
