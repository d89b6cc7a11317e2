// The copy run against the tools a user would otherwise reach for, on data this
// program generates: camera-size JPEGs with an embedded thumbnail, and many
// small files. Every figure and ratio is printed; sizes come from the options
// so that a quick run is possible (--help).

#include "common/BenchSupport.h"
#include "common/CameraData.h"
#include "common/WindowRun.h"
#include "platform/FileSystem.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <unistd.h>
#include <vector>
#include <xxhash.h>

using namespace zandrel;
using namespace zandrel::bench;

namespace {

const QSize kPreviewBox(225, 169);

void sync() { ::sync(); }

// Flushed and out of the page cache, so that every contender reads from the disk.
void evict(const QString& folder)
{
    sync();
    for (const QString& name : filesIn(folder)) {
        const int fd = ::open(QFile::encodeName(joinPath(folder, name)).constData(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }
}

// ---- The bare loop: the system calls of a checked move, and nothing else --

struct Fd {
    explicit Fd(int value) : fd(value)
    {
        if (fd < 0)
            die(QStringLiteral("open: ") + QString::fromLocal8Bit(std::strerror(errno)));
    }
    ~Fd() { ::close(fd); }
    int fd;
};

XXH64_hash_t copyHashing(int from, int to, std::vector<char>& buffer)
{
    XXH3_state_t* state = XXH3_createState();
    XXH3_64bits_reset(state);
    ssize_t got;
    while ((got = ::read(from, buffer.data(), buffer.size())) > 0) {
        XXH3_64bits_update(state, buffer.data(), size_t(got));
        if (::write(to, buffer.data(), size_t(got)) != got)
            die(QStringLiteral("write failed"));
    }
    const XXH64_hash_t hash = XXH3_64bits_digest(state);
    XXH3_freeState(state);
    return hash;
}

XXH64_hash_t hashFromStart(int fd, std::vector<char>& buffer)
{
    XXH3_state_t* state = XXH3_createState();
    XXH3_64bits_reset(state);
    ssize_t got;
    off_t offset = 0;
    while ((got = ::pread(fd, buffer.data(), buffer.size(), offset)) > 0) {
        XXH3_64bits_update(state, buffer.data(), size_t(got));
        offset += got;
    }
    const XXH64_hash_t hash = XXH3_64bits_digest(state);
    XXH3_freeState(state);
    return hash;
}

void moveChecked(const QByteArray& source, int folder, const QByteArray& name, std::vector<char>& buffer)
{
    const Fd from(::open(source.constData(), O_RDONLY | O_CLOEXEC));
    const Fd to(::openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
    const XXH64_hash_t read = copyHashing(from.fd, to.fd, buffer);
    if (::fsync(to.fd) != 0)
        die(QStringLiteral("fsync failed"));
    ::posix_fadvise(to.fd, 0, 0, POSIX_FADV_DONTNEED);
    if (hashFromStart(to.fd, buffer) != read)
        die(QStringLiteral("read back differs"));
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(to.fd);
    if (::linkat(AT_FDCWD, self.constData(), folder, name.constData(), AT_SYMLINK_FOLLOW) != 0)
        die(QStringLiteral("linkat failed"));
    if (::fsync(folder) != 0)
        die(QStringLiteral("fsync of the folder failed"));
    if (::unlink(source.constData()) != 0)
        die(QStringLiteral("unlink failed"));
}

double bareLoop(const QString& camera, const QString& target)
{
    QDir().mkpath(target);
    return seconds([&] {
        std::vector<char> buffer(size_t(1) << 20);
        const Fd folder(::open(QFile::encodeName(target).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        for (const QString& name : filesIn(camera))
            moveChecked(QFile::encodeName(joinPath(camera, name)), folder.fd, QFile::encodeName(name), buffer);
    });
}

// ---- The benchmarks -------------------------------------------------------

struct Options {
    QString base;
    int photos = 200;
    int photoWidth = 6000;
    int photoHeight = 4000;
    int noise = 30;
    int small = 5000;
    int smallKb = 100;
    int linear = 10000;
    int linearKb = 16;
    int previews = 20;
    int repeat = 5;
    double idle = 2;
    QStringList only;
};

void copyBack(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    run(QStringLiteral("cp"), {QStringLiteral("-a"), from + QStringLiteral("/."), to});
}

// Two contenders in turn: who goes first alternates from round to round.
void inTurn(int round, const std::function<void()>& first, const std::function<void()>& second)
{
    (round % 2 ? first : second)();
    (round % 2 ? second : first)();
}

// Per round: the contenders in turn, each after the same rest, and their ratio.
void printRounds(const char* first, const std::vector<double>& a, const char* second, const std::vector<double>& b,
                 const char* ratioName, double goal, const char* unit = "s")
{
    const Spread x = spread(a), y = spread(b), r = ratioSpread(a, b);
    std::printf("  %-52s %10.3f %-2s (%.3f-%.3f)\n", first, x.median, unit, x.low, x.high);
    std::printf("  %-52s %10.3f %-2s (%.3f-%.3f)\n", second, y.median, unit, y.low, y.high);
    std::printf("  %-52s %10.3f x  (%.3f-%.3f)", ratioName, r.median, r.low, r.high);
    if (goal > 0)
        std::printf("   goal <= %.2f: %s", goal, r.median <= goal ? "met" : "MISSED");
    std::printf("\n");
    std::fflush(stdout);
}

void benchLargePhotos(const Options& o, const QString& work, const CameraPhoto& photo)
{
    const QString camera = work + QStringLiteral("/large/camera");
    const QString photos = work + QStringLiteral("/large/photos");
    makeCameraJpegs(camera, o.photos, photo);
    const qint64 bytes = QFileInfo(joinPath(camera, filesIn(camera).first())).size();
    std::printf("(a) %d camera JPEGs of %.1f MB (%dx%d, EXIF thumbnail), preview on, camera kept; page-cached camera;\n"
                "    median of %d rounds (min-max), contenders in turn, %.1f s rest before each\n",
                o.photos, bytes / 1e6, o.photoWidth, o.photoHeight, o.repeat, o.idle);
    std::vector<double> window, cp;
    const auto windowTurn = [&] {
        idle(o.idle);
        window.push_back(seconds([&] {
            windowRun(camera, photos, false, true);
            sync();
        }));
        QDir(photos).removeRecursively();
    };
    const auto cpTurn = [&] {
        QDir().mkpath(photos);
        idle(o.idle);
        cp.push_back(seconds([&] {
            run(QStringLiteral("cp"), {QStringLiteral("-a"), camera + QStringLiteral("/."), photos});
            sync();
        }));
        QDir(photos).removeRecursively();
    };
    for (int i = 1; i <= o.repeat; ++i) {
        inTurn(i, windowTurn, cpTurn);
        std::printf("  round %d: window + sync %.3f s, cp + sync %.3f s\n", i, window.back(), cp.back());
        std::fflush(stdout);
    }
    printRounds("window run + sync", window, "cp -a + sync", cp, "window / cp", 1.10);
    QDir(work + QStringLiteral("/large")).removeRecursively();
}

// Runs a contender on the camera and puts the camera back as it was.
double emptyAndRestore(const QString& camera, const QString& photos, double rest,
                       const std::function<double(const QString&)>& contender)
{
    evict(camera);
    idle(rest);
    const QString target = photos + QStringLiteral("/out");
    const double taken = contender(target);
    copyBack(target + QStringLiteral("/run"), camera);
    QDir(photos).removeRecursively();
    return taken;
}

void benchEmptying(const Options& o, const QString& work)
{
    std::printf("(b) %d files of %d KB, camera emptied, every copy checked from disk;\n"
                "    median of %d rounds (min-max), contenders in turn, %.1f s rest before each\n",
                o.small, o.smallKb, o.repeat, o.idle);
    const QString camera = work + QStringLiteral("/small/camera");
    const QString photos = work + QStringLiteral("/small/photos");
    makeSmallFiles(camera, o.small, o.smallKb * 1024);
    std::vector<double> window, bare, rsync;
    const std::function<void()> turns[] = {
        [&] {
            window.push_back(emptyAndRestore(
                camera, photos, o.idle, [&](const QString& target) { return windowRun(camera, target, true, true); }));
        },
        [&] {
            bare.push_back(emptyAndRestore(camera, photos, o.idle, [&](const QString& target) {
                return bareLoop(camera, target + QStringLiteral("/run"));
            }));
        },
        [&] {
            rsync.push_back(emptyAndRestore(camera, photos, o.idle, [&](const QString& target) {
                QDir().mkpath(target + QStringLiteral("/run"));
                return seconds([&] {
                    run(QStringLiteral("rsync"),
                        {QStringLiteral("-a"), QStringLiteral("--remove-source-files"), QStringLiteral("--fsync"),
                         camera + QStringLiteral("/"), target + QStringLiteral("/run/")});
                });
            }));
        },
    };
    for (int i = 0; i < o.repeat; ++i) {
        for (int k = 0; k < 3; ++k)
            turns[(k + i) % 3]();
        std::printf("  round %d: window %.3f s, bare loop %.3f s, rsync %.3f s\n", i + 1, window.back(), bare.back(),
                    rsync.back());
        std::fflush(stdout);
    }
    printRounds("window run", window, "bare loop (copy, fsync file+folder, drop, read back, delete)", bare,
                "window / bare loop", 1.25);
    printRounds("window run", window, "rsync -a --remove-source-files --fsync (checks nothing on disk)", rsync,
                "window / rsync", 0);
    QDir(work + QStringLiteral("/small")).removeRecursively();
}

double emptyingRun(const QString& work, int files, int kb, double rest)
{
    const QString camera = work + QStringLiteral("/linear/camera");
    const QString photos = work + QStringLiteral("/linear/photos");
    makeSmallFiles(camera, files, kb * 1024);
    evict(camera);
    idle(rest);
    const double taken = windowRun(camera, photos, true, true);
    QDir(work + QStringLiteral("/linear")).removeRecursively();
    return taken;
}

void benchLinear(const Options& o, const QString& work)
{
    std::printf("(c) growth: %d against %d files of %d KB, camera emptied;\n"
                "    median of %d rounds (min-max), in turn, %.1f s rest before each\n",
                o.linear, 2 * o.linear, o.linearKb, o.repeat, o.idle);
    std::vector<double> once, twice;
    for (int i = 1; i <= o.repeat; ++i) {
        const bool smallFirst = i % 2;
        const double first = emptyingRun(work, smallFirst ? o.linear : 2 * o.linear, o.linearKb, o.idle);
        const double second = emptyingRun(work, smallFirst ? 2 * o.linear : o.linear, o.linearKb, o.idle);
        once.push_back(smallFirst ? first : second);
        twice.push_back(smallFirst ? second : first);
        std::printf("  round %d: %d files %.3f s, %d files %.3f s\n", i, o.linear, once.back(), 2 * o.linear,
                    twice.back());
        std::fflush(stdout);
    }
    printRounds(qPrintable(QStringLiteral("window run, %1 files").arg(2 * o.linear)), twice,
                qPrintable(QStringLiteral("window run, %1 files").arg(o.linear)), once, "double the files / once", 2.2);
}

double perPhotoMs(const QStringList& paths, const std::function<QImage(const QString&)>& load)
{
    int shown = 0;
    const double taken = seconds([&] {
        for (const QString& path : paths)
            shown += !load(path).isNull();
    });
    if (shown != paths.size())
        die(QStringLiteral("a preview could not be made"));
    return taken * 1000 / paths.size();
}

void benchPreview(const Options& o, const QString& work, const CameraPhoto& photo)
{
    const QString folder = work + QStringLiteral("/preview");
    makeCameraJpegs(folder, o.previews, photo);
    QStringList paths;
    for (const QString& name : filesIn(folder))
        paths << joinPath(folder, name);
    std::printf("(d) preview of one %dx%d photo (file in the page cache, as a fresh copy is), ms per photo;\n"
                "    median of %d rounds (min-max), in turn\n",
                o.photoWidth, o.photoHeight, o.repeat);
    const std::shared_ptr<PictureLoader> loader = Platform::System().pictures;
    std::vector<double> embedded, decoded;
    const auto embeddedTurn = [&] {
        embedded.push_back(
            perPhotoMs(paths, [&](const QString& path) { return loader->LoadPicture(path, kPreviewBox); }));
    };
    const auto decodedTurn = [&] {
        decoded.push_back(perPhotoMs(paths, [](const QString& path) {
            QImageReader reader(path);
            reader.setScaledSize(kPreviewBox);
            return reader.read();
        }));
    };
    for (int i = 1; i <= o.repeat; ++i) {
        inTurn(i, embeddedTurn, decodedTurn);
    }
    printRounds("image decoded at the box size", decoded, "embedded EXIF thumbnail (Exiv2)", embedded,
                "decoded / embedded", 0, "ms");
    QDir(folder).removeRecursively();
}

Options parse(const QCoreApplication& app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times the copy run against cp, rsync and a bare loop."));
    parser.addHelpOption();
    const auto option = [&](const char* name, const char* help, int value) {
        parser.addOption(
            {QString::fromLatin1(name), QString::fromLatin1(help), QStringLiteral("n"), QString::number(value)});
    };
    Options o;
    option("photos", "camera JPEGs for (a)", o.photos);
    option("width", "photo width in pixels", o.photoWidth);
    option("height", "photo height in pixels", o.photoHeight);
    option("noise", "noise amplitude of the photos (sets their size)", o.noise);
    option("small", "files for (b)", o.small);
    option("small-kb", "size of each file of (b)", o.smallKb);
    option("linear", "files of the smaller run of (c)", o.linear);
    option("linear-kb", "size of each file of (c)", o.linearKb);
    option("previews", "photos for (d)", o.previews);
    option("repeat", "rounds of (a), (b) and (c); the median of per-round ratios counts", o.repeat);
    parser.addOption({QStringLiteral("idle"), QStringLiteral("seconds of rest before each contender's turn"),
                      QStringLiteral("s"), QString::number(o.idle)});
    parser.addOption({QStringLiteral("dir"), QStringLiteral("folder for the data (default: /tmp)"),
                      QStringLiteral("path"), QDir::tempPath()});
    parser.addOption({QStringLiteral("only"), QStringLiteral("run only these parts, e.g. a,d"), QStringLiteral("parts"),
                      QStringLiteral("a,b,c,d")});
    parser.process(app);
    auto number = [&](const char* name) { return parser.value(QString::fromLatin1(name)).toInt(); };
    o = {parser.value(QStringLiteral("dir")),
         number("photos"),
         number("width"),
         number("height"),
         number("noise"),
         number("small"),
         number("small-kb"),
         number("linear"),
         number("linear-kb"),
         number("previews"),
         number("repeat"),
         parser.value(QStringLiteral("idle")).toDouble(),
         parser.value(QStringLiteral("only")).split(QLatin1Char(','))};
    o.repeat = std::max(1, o.repeat);
    return o;
}

void runBenchmarks(const Options& o, const QString& work);

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const Options o = parse(app);
    QTemporaryDir work(o.base + QStringLiteral("/zandrel-bench-XXXXXX"));
    if (!work.isValid()) {
        std::fprintf(stderr, "copyrun_bench: cannot make a folder in %s\n", qPrintable(o.base));
        return 1;
    }
    // The window keeps its settings in the hive: a private one, never the user's.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(work.path() + QStringLiteral("/config")));

    try {
        runBenchmarks(o, work.path());
    } catch (const BenchFailed& failure) {
        std::fprintf(stderr, "copyrun_bench: %s\n", qPrintable(failure.what));
        return 1;
    }
    return 0;
}

namespace {

void runBenchmarks(const Options& o, const QString& work)
{
    const bool needPhotos = o.only.contains(QStringLiteral("a")) || o.only.contains(QStringLiteral("d"));
    CameraPhoto photo;
    if (needPhotos) {
        const double made = seconds([&] { photo = cameraPhoto(QSize(o.photoWidth, o.photoHeight), o.noise); });
        std::printf("generated a %.1f MB camera JPEG with a %.1f KB thumbnail in %.1f s\n", photo.jpeg.size() / 1e6,
                    photo.thumbnail.size() / 1e3, made);
    }
    if (o.only.contains(QStringLiteral("a")))
        benchLargePhotos(o, work, photo);
    if (o.only.contains(QStringLiteral("b")))
        benchEmptying(o, work);
    if (o.only.contains(QStringLiteral("c")))
        benchLinear(o, work);
    if (o.only.contains(QStringLiteral("d")))
        benchPreview(o, work, photo);
}

}  // namespace
