// Loaded into a FUSE file system's daemon (LD_PRELOAD) to make its block device
// stream like a memory card: reads of a block device are paced to a set speed.
// The card reads ahead only a small window while nobody asks (the bucket's
// depth); time the reader leaves it idle beyond that is lost, as on a real card.
//
//   ZANDREL_CARD_SPEED   bytes per second (default 90 MiB/s)
//   ZANDREL_CARD_BURST   bytes the card may stream ahead while idle (default 1 MiB)
//   ZANDREL_CARD_SEEKS   1: what the card streamed ahead is lost when a read
//                        does not go on where the last one ended (a seek)
//   ZANDREL_CARD_LOG     a file to append, for every read, when the card
//                        streamed it: two doubles, CLOCK_MONOTONIC seconds

#include <dlfcn.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <algorithm>
#include <cstdlib>

namespace {

using PreadFn = ssize_t (*)(int, void*, size_t, off_t);
using ReadFn = ssize_t (*)(int, void*, size_t);

double configured(const char* name, double fallback)
{
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0')
        return fallback;
    const double value = std::strtod(text, nullptr);
    return value > 0 ? value : fallback;
}

double now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

void sleepFor(double seconds)
{
    timespec t{time_t(seconds), long((seconds - double(time_t(seconds))) * 1e9)};
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &t, &t) == EINTR) {}
}

// One card, one stream: readers queue behind each other as on the device.
struct Card {
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    double speed = configured("ZANDREL_CARD_SPEED", 90.0 * 1024 * 1024);
    double burst = configured("ZANDREL_CARD_BURST", 1024.0 * 1024);
    bool seeksAfresh = configured("ZANDREL_CARD_SEEKS", 0) > 0;
    double ready = burst;  // bytes the card has streamed ahead
    double since = now();
    off_t streamEnd = -1;  // where the card streams on from
    double busyUntil = 0;  // end of the last read the card streamed
    int log = openLog();

    static int openLog()
    {
        const char* path = std::getenv("ZANDREL_CARD_LOG");
        return path && *path ? ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644) : -1;
    }

    // offset: where the read began, or -1 when unknown.
    void stream(size_t bytes, off_t offset)
    {
        pthread_mutex_lock(&lock);
        const double t = now();
        ready += (t - since) * speed;
        if (ready > burst)
            ready = burst;
        if (seeksAfresh && offset != streamEnd && ready > 0)
            ready = 0;
        since = t;
        streamEnd = offset < 0 ? -1 : offset + off_t(bytes);
        ready -= double(bytes);
        // The debt is paid by the clock: a sleep that overshoots is credited to the next read.
        const double wait = ready < 0 ? -ready / speed : 0;
        record(t + wait, double(bytes) / speed);
        if (wait > 0)
            sleepFor(wait);
        pthread_mutex_unlock(&lock);
    }

    // The card was busy for the read's own streaming time, up to when it was served.
    void record(double end, double streaming)
    {
        if (log < 0)
            return;
        const double span[2] = {std::max(end - streaming, busyUntil), end};
        busyUntil = end;
        if (::write(log, span, sizeof span) != ssize_t(sizeof span)) {
            ::close(log);
            log = -1;
        }
    }
};

Card& card()
{
    static Card instance;
    return instance;
}

bool isBlockDevice(int fd)
{
    struct stat st {};
    return fstat(fd, &st) == 0 && S_ISBLK(st.st_mode);
}

template <typename Fn>
Fn next(const char* name)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

void paced(int fd, ssize_t got, off_t offset)
{
    if (got > 0 && isBlockDevice(fd))
        card().stream(size_t(got), offset);
}

}  // namespace

extern "C" {

ssize_t pread(int fd, void* buffer, size_t count, off_t offset)
{
    static const auto real = next<PreadFn>("pread");
    const ssize_t got = real(fd, buffer, count, offset);
    paced(fd, got, offset);
    return got;
}

ssize_t pread64(int fd, void* buffer, size_t count, off_t offset)
{
    static const auto real = next<PreadFn>("pread64");
    const ssize_t got = real(fd, buffer, count, offset);
    paced(fd, got, offset);
    return got;
}

ssize_t read(int fd, void* buffer, size_t count)
{
    static const auto real = next<ReadFn>("read");
    const ssize_t got = real(fd, buffer, count);
    if (got > 0 && isBlockDevice(fd)) {
        const off_t end = ::lseek(fd, 0, SEEK_CUR);
        card().stream(size_t(got), end < 0 ? -1 : end - got);
    }
    return got;
}

}  // extern "C"
