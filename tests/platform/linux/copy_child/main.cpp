// Copies one file with the real file system, for tests that fault or kill the
// copying process: copy_child SOURCE TARGET plain|verified|move [TAKER]
// The copy goes the way a run takes it; "move" goes on as a run that empties
// the camera and deletes the source once its copy is safe.
// With TAKER, a SIGUSR1 makes this process create that file itself, as another
// writer taking the target's name in the middle of the copy would.
#include "platform/Platform.h"
#include "support/CopyLikeTheRun.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

const char* taker = nullptr;

void takeName(int)
{
    const int fd = ::open(taker, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
    if (fd >= 0) {
        const char text[] = "someone else";
        [[maybe_unused]] const ssize_t written = ::write(fd, text, sizeof text - 1);
        ::close(fd);
    }
}

void listenForTaker(const char* path)
{
    taker = path;
    struct sigaction action {};
    action.sa_handler = takeName;
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGUSR1, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4 || argc > 5)
        return 3;
    if (argc == 5)
        listenForTaker(argv[4]);
    const bool move = std::strcmp(argv[3], "move") == 0;
    const auto check = move || std::strcmp(argv[3], "verified") == 0 ? zandrel::CopyCheck::VerifiedOnDisk
                                                                     : zandrel::CopyCheck::Plain;
    const QString source = QString::fromLocal8Bit(argv[1]);
    const QString target = QString::fromLocal8Bit(argv[2]);
    try {
        const auto copy = zandrel::test::copyLikeTheRun(*zandrel::Platform::System().fileSystem, source,
                                                        target.section(QLatin1Char('/'), 0, -2),
                                                        target.section(QLatin1Char('/'), -1), check);
        if (move)
            copy->deleteSource();
    } catch (const zandrel::TargetTaken& taken) {
        std::fprintf(stderr, "%s\n", taken.what());
        return 2;
    } catch (const zandrel::PlatformError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
