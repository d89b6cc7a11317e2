#pragma once

#include <QString>

namespace zandrel {

// The camera's file count and size as RecountCamera shows them while the camera
// is being emptied.
//
// Counting the folder afresh after every file costs time in proportion to what
// is left, which makes emptying a full camera quadratic (20,000 files would be
// read 20,000 times). So the tally subtracts each deleted file from the last real
// count, and counts for real again only once half of that count has been deleted
// (at least one file). The real counts then read n + n/2 + n/4 + ... entries, about
// two per file over the whole run, whatever its size, and the last files are
// counted after each one. Files that appear or vanish behind the run's back show
// up at the next real count, and the readiness check at the end of the run counts
// everything afresh.
class CameraTally {
public:
    // Forgets the figures: the next recount is a real one.
    void forget() { valid_ = false; }
    bool dueForRealCount(const QString& folder) const;
    void realCount(const QString& folder, qint64 count, qint64 bytes);
    void fileDeleted(qint64 bytes);

    qint64 count() const { return count_; }
    qint64 bytes() const { return bytes_; }

private:
    static constexpr qint64 kSpacingDivisor = 2;

    QString folder_;
    qint64 count_ = 0;
    qint64 bytes_ = 0;
    qint64 countAtRealCount_ = 0;
    qint64 deletedSinceRealCount_ = 0;
    bool valid_ = false;
};

}  // namespace zandrel
