#pragma once

#include "platform/PlatformError.h"

#include <QString>
#include <atomic>
#include <functional>

namespace zandrel {

// The name was free when it was chosen but another writer took it before the
// copy could be published under it; the caller picks the next free name.
class TargetTaken : public PlatformError {
public:
    using PlatformError::PlatformError;
};

enum class CopyCheck {
    Plain,          // the source stays: a fast copy, flushed before it takes a photo's name
    VerifiedOnDisk  // the source will be deleted: flush, read back and compare first
};

// What the work on a file's contents listens to while it runs off the window's
// thread: a stop asked for, and where it has got to.
struct CopyControl {
    const std::atomic<bool>* cancelled = nullptr;             // looked at between chunks
    std::function<void(qint64 done, qint64 total)> progress;  // bytes; called from the working thread
    bool stopped() const { return cancelled && cancelled->load(std::memory_order_relaxed); }
};

// A camera file copied into a target folder under no name yet. Dropped before it
// is published, it leaves nothing behind, and the camera file is untouched.
// Staging, verifying and flushing may run on any thread; the rest on the caller's.
class StagedCopy {
public:
    virtual ~StagedCopy() = default;
    // The camera file's size, from the one look the copy took at it.
    virtual qint64 size() const = 0;
    // Flushed to the disk, so that a photo's name never shows a short copy
    // after a power cut; a verified copy is then read back and compared.
    virtual void verify(const CopyControl& control) = 0;
    // Makes the copy appear under target, never replacing a file; throws
    // TargetTaken when the name was taken meanwhile. Fails when the camera file
    // is no longer the one that was copied.
    virtual void publish(const QString& target) = 0;
    // For a verified copy: the name it was published under flushed to disk.
    // May wait for the disk. When it fails the copy is taken back out again.
    virtual void flushName() = 0;
    // Deletes the camera file, only when its copy was verified, published and
    // its name flushed, when it is still the one that was copied and it is
    // not write-protected.
    virtual void deleteSource() = 0;
};

}  // namespace zandrel
