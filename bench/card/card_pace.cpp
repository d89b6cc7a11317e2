// Loaded into a FUSE file system's daemon (LD_PRELOAD) to make its block device
// stream like a memory card: reads of a block device are paced to a set speed.
// The card reads ahead only a small window while nobody asks (the bucket's
// depth); time the reader leaves it idle beyond that is lost, as on a real card.
//
//   ZANDREL_CARD_SPEED   bytes per second (default 90 MiB/s)
//   ZANDREL_CARD_BURST   bytes the card may stream ahead while idle (default 1 MiB)

#include <dlfcn.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
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
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &t, &t) == EINTR) {
    }
}

// One card, one stream: readers queue behind each other as on the device.
struct Card {
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    double speed = configured("ZANDREL_CARD_SPEED", 90.0 * 1024 * 1024);
    double burst = configured("ZANDREL_CARD_BURST", 1024.0 * 1024);
    double ready = burst;  // bytes the card has streamed ahead
    double since = now();

    void stream(size_t bytes)
    {
        pthread_mutex_lock(&lock);
        const double t = now();
        ready += (t - since) * speed;
        if (ready > burst)
            ready = burst;
        since = t;
        ready -= double(bytes);
        // The debt is paid by the clock: a sleep that overshoots is credited to the next read.
        if (ready < 0)
            sleepFor(-ready / speed);
        pthread_mutex_unlock(&lock);
    }
};

Card& card()
{
    static Card instance;
    return instance;
}

bool isBlockDevice(int fd)
{
    struct stat st{};
    return fstat(fd, &st) == 0 && S_ISBLK(st.st_mode);
}

template <typename Fn>
Fn next(const char* name)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

void paced(int fd, ssize_t got)
{
    if (got > 0 && isBlockDevice(fd))
        card().stream(size_t(got));
}

}  // namespace

extern "C" {

ssize_t pread(int fd, void* buffer, size_t count, off_t offset)
{
    static const auto real = next<PreadFn>("pread");
    const ssize_t got = real(fd, buffer, count, offset);
    paced(fd, got);
    return got;
}

ssize_t pread64(int fd, void* buffer, size_t count, off_t offset)
{
    static const auto real = next<PreadFn>("pread64");
    const ssize_t got = real(fd, buffer, count, offset);
    paced(fd, got);
    return got;
}

ssize_t read(int fd, void* buffer, size_t count)
{
    static const auto real = next<ReadFn>("read");
    const ssize_t got = real(fd, buffer, count);
    paced(fd, got);
    return got;
}

}  // extern "C"
