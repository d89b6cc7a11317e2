// The copy run from a memory card, against reading that card once: the card is an
// exFAT image through FUSE whose reads are paced to a card's speed, so time the
// reader leaves the card idle is lost as on a real card. Every contender gets the
// same start: the camera restored, caches dropped, the same idle time. Rounds
// alternate the contenders; the median of each round's ratio is printed with its
// range. Needs root (loop device, mount, drop_caches). Options: --help.

#include "common/BenchSupport.h"
#include "common/CameraData.h"
#include "common/WindowRun.h"
#include "platform/FileSystem.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <pthread.h>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace zandrel;
using namespace zandrel::bench;

namespace {

struct Options {
    QString base;
    int photos = 40;
    int photoWidth = 6000;
    int photoHeight = 4000;
    int noise = 30;
    int small = 1000;
    int smallKb = 300;
    double speedMib = 90;
    int burstKb = 1024;
    int rounds = 5;
    double idle = 2;
    QStringList only;
};

// ---- The card: image, loop device, FUSE mount; undone on every way out ------

// What has been set up, so that a signal can undo it as well as a normal end.
struct Mounted {
    std::mutex lock;
    std::string mountPoint;
    std::string loop;
    std::string work;
};
Mounted mounted;

int quietly(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    process.waitForFinished(-1);
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

int shell(const std::string& command) { return std::system(command.c_str()); }

// Unmounts and detaches; safe to call twice and from the signal watcher.
void releaseCard(bool removeWork)
{
    const std::lock_guard guard(mounted.lock);
    bool unmounted = true;
    if (!mounted.mountPoint.empty()) {
        if (shell("umount '" + mounted.mountPoint + "' 2>/dev/null") != 0) {
            ::sleep(1);  // the daemon may still be closing a file
            unmounted = shell("umount '" + mounted.mountPoint + "'") == 0 ||
                        shell("umount -l '" + mounted.mountPoint + "'") == 0;
        }
        if (unmounted)
            mounted.mountPoint.clear();
    }
    if (!mounted.loop.empty()) {
        // A lazily unmounted card detaches itself once the daemon lets go (autoclear).
        shell("losetup -d '" + mounted.loop + "'");
        mounted.loop.clear();
    }
    if (removeWork && unmounted && !mounted.work.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(mounted.work, ignored);
        mounted.work.clear();
    }
    if (!unmounted)
        std::fprintf(stderr, "card_bench: could not unmount the card; left %s\n", mounted.work.c_str());
}

// Ctrl-C or a kill ends the benchmark without leaving a mount or a loop device
// behind. The signals are blocked in every thread (and the tools started, which
// end on their own) and taken by one watcher, so no handler races the cleanup.
void watchSignals()
{
    static sigset_t stopping;
    sigemptyset(&stopping);
    for (int number : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stopping, number);
    pthread_sigmask(SIG_BLOCK, &stopping, nullptr);
    std::thread([] {
        int number = 0;
        sigwait(&stopping, &number);
        std::fprintf(stderr, "card_bench: stopped by signal %d; cleaning up\n", number);
        releaseCard(true);
        ::_exit(128 + number);
    }).detach();
}

QString output(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        die(program + QStringLiteral(" failed"));
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

QString makeCard(const QString& work, qint64 bytes, const Options& o)
{
    const QString image = work + QStringLiteral("/card.img");
    const QString mountPoint = work + QStringLiteral("/card");
    QFile file(image);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(bytes))
        die(QStringLiteral("cannot make the card image"));
    file.close();
    if (quietly(QStringLiteral("mkfs.exfat"),
                {QStringLiteral("-L"), QStringLiteral("CARD"), QStringLiteral("-c"), QStringLiteral("128K"), image}) != 0)
        die(QStringLiteral("mkfs.exfat failed"));
    QDir().mkpath(mountPoint);
    {
        const std::lock_guard guard(mounted.lock);
        mounted.loop = output(QStringLiteral("losetup"),
                              {QStringLiteral("--direct-io=on"), QStringLiteral("-f"), QStringLiteral("--show"), image}).toStdString();
    }
    QProcess mount;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(ZANDREL_CARD_PACE));
    environment.insert(QStringLiteral("ZANDREL_CARD_SPEED"), QString::number(qint64(o.speedMib * 1024 * 1024)));
    environment.insert(QStringLiteral("ZANDREL_CARD_BURST"), QString::number(qint64(o.burstKb) * 1024));
    mount.setProcessEnvironment(environment);
    mount.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    mount.start(QStringLiteral("mount.exfat-fuse"), {QString::fromStdString(mounted.loop), mountPoint});
    mount.waitForFinished(-1);
    if (mount.exitStatus() != QProcess::NormalExit || mount.exitCode() != 0)
        die(QStringLiteral("mount.exfat-fuse failed"));
    const std::lock_guard guard(mounted.lock);
    mounted.mountPoint = mountPoint.toStdString();
    return mountPoint;
}

// ---- One turn ---------------------------------------------------------------

void dropCaches()
{
    ::sync();
    QFile drop(QStringLiteral("/proc/sys/vm/drop_caches"));
    if (!drop.open(QIODevice::WriteOnly) || drop.write("3\n") != 2)
        die(QStringLiteral("cannot drop the caches (root needed)"));
}

struct DataSet {
    QString title;
    QString pristine;  // on the local disk, the camera as it must be before every turn
    QString camera;    // on the card
    QString target;    // on the local disk
    QStringList names;
    std::vector<qint64> sizes;
    qint64 bytes = 0;
};

struct Contender {
    const char* name;
    bool empties;
    const char* copies;  // where the copies land, below the target; none for nullptr
    std::function<void(const DataSet&)> work;
};

void restoreCamera(const DataSet& set)
{
    run(QStringLiteral("rsync"), {QStringLiteral("-a"), QStringLiteral("--delete"), set.pristine + QLatin1Char('/'),
                                  set.camera + QLatin1Char('/')});
    QDir(set.target).removeRecursively();
    QDir().mkpath(set.target);
}

void expectFiles(const QString& folder, const DataSet& set, const char* who, const char* where)
{
    const QStringList names = filesIn(folder);
    bool same = names == set.names;
    for (int i = 0; same && i < names.size(); ++i)
        same = QFileInfo(joinPath(folder, names[i])).size() == set.sizes[size_t(i)];
    if (!same)
        die(QStringLiteral("%1 left %2 files in %3 (%4), not the camera's %5")
                .arg(QString::fromLatin1(who))
                .arg(names.size())
                .arg(QString::fromLatin1(where), folder)
                .arg(set.names.size()));
}

// The window lists and counts the camera when it opens, before start is pressed.
// Every contender gets the same: the folder listed, the file data still on the card.
// (Without this, reading the card once pays the file system's lookups and the window does not.)
void listCamera(const DataSet& set)
{
    for (const QFileInfo& file : QDir(set.camera).entryInfoList(QDir::Files))
        if (file.size() < 0)
            die(QStringLiteral("cannot list the camera"));
}

double turn(const Contender& contender, const DataSet& set, const Options& o)
{
    restoreCamera(set);
    dropCaches();
    listCamera(set);
    idle(o.idle);
    const double taken = seconds([&] {
        contender.work(set);
        ::sync();
    });
    if (contender.empties) {
        if (!filesIn(set.camera).isEmpty())
            die(QString::fromLatin1(contender.name) + QStringLiteral(" left files on the camera"));
    } else {
        expectFiles(set.camera, set, contender.name, "the camera");
    }
    if (contender.copies != nullptr)
        expectFiles(joinPath(set.target, QString::fromLatin1(contender.copies)), set, contender.name, "the target");
    return taken;
}

std::vector<Contender> contenders()
{
    const auto script = [](const QString& command, const DataSet& set) {
        run(QStringLiteral("sh"), {QStringLiteral("-c"), command, QStringLiteral("sh"), set.camera, set.target});
    };
    return {
        // Four readers at once keep the card streaming between small files, as one
        // `cat` cannot through FUSE: this is the card's own limit.
        {"reading the card once (4 x cat)", false, nullptr,
         [=](const DataSet& set) {
             script(QStringLiteral("find \"$1\" -type f -print0 | xargs -0 -P4 -n 64 cat -- > /dev/null"), set);
         }},
        {"cp -a + sync", false, "",
         [=](const DataSet& set) { script(QStringLiteral("cp -a -- \"$1\"/. \"$2\"/"), set); }},
        {"rsync -a --remove-source-files --fsync", true, "",
         [=](const DataSet& set) {
             script(QStringLiteral("rsync -a --remove-source-files --fsync -- \"$1\"/ \"$2\"/"), set);
         }},
        {"Zandrel, camera kept", false, "run",
         [](const DataSet& set) { windowRun(set.camera, set.target, false, true); }},
        {"Zandrel, camera emptied", true, "run",
         [](const DataSet& set) { windowRun(set.camera, set.target, true, true); }},
    };
}

// ---- Rounds and figures ----------------------------------------------------


void bench(const DataSet& set, const Options& o)
{
    const std::vector<Contender> all = contenders();
    std::printf("\n%s: %lld files, %.1f MB; %d rounds, contenders in turn\n", qPrintable(set.title),
                qint64(set.names.size()), set.bytes / 1e6, o.rounds);
    std::vector<std::vector<double>> times(all.size());
    for (int round = 0; round < o.rounds; ++round) {
        std::printf("  round %d:", round + 1);
        for (size_t k = 0; k < all.size(); ++k) {
            const size_t c = (k + size_t(round)) % all.size();
            times[c].push_back(turn(all[c], set, o));
            std::printf("  [%zu] %.2f s", c + 1, times[c].back());
            std::fflush(stdout);
        }
        std::printf("\n");
    }
    std::printf("  %-44s %9s %9s   %s\n", "", "median s", "MiB/s", "ratio to reading once: median (min-max)");
    for (size_t c = 0; c < all.size(); ++c) {
        const Spread taken = spread(times[c]);
        const Spread ratio = ratioSpread(times[c], times[0]);
        std::printf("  [%zu] %-40s %9.2f %9.1f   %.3f x (%.3f-%.3f)\n", c + 1, all[c].name, taken.median,
                    set.bytes / 1048576.0 / taken.median, ratio.median, ratio.low, ratio.high);
    }
    std::fflush(stdout);
}

DataSet dataSet(const QString& title, const QString& pristine, const QString& card, const QString& work,
                const QString& name)
{
    DataSet set{title, pristine, joinPath(card, name), work + QStringLiteral("/target-") + name, filesIn(pristine), {}, 0};
    for (const QString& file : set.names) {
        set.sizes.push_back(QFileInfo(joinPath(pristine, file)).size());
        set.bytes += set.sizes.back();
    }
    return set;
}

qint64 folderBytes(const QString& folder)
{
    qint64 bytes = 0;
    for (QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        bytes += QFileInfo(it.next()).size();
    return bytes;
}

void runBenchmark(const Options& o, const QString& work)
{
    const bool photos = o.only.contains(QStringLiteral("photos"));
    const bool small = o.only.contains(QStringLiteral("small"));
    const QString pristine = work + QStringLiteral("/pristine");
    if (photos)
        makeCameraJpegs(pristine + QStringLiteral("/photos"), o.photos,
                        cameraPhoto(QSize(o.photoWidth, o.photoHeight), o.noise));
    if (small)
        makeSmallFiles(pristine + QStringLiteral("/small"), o.small, o.smallKb * 1024);
    // Room for the data, exFAT's clusters around small files, and its own tables.
    const qint64 mib = (folderBytes(pristine) * 11 / 10 + qint64(o.small) * 128 * 1024) / (1 << 20) + 64;
    const QString card = makeCard(work, mib << 20, o);
    std::printf("card: exFAT image through FUSE, reads paced to %.0f MiB/s (streams ahead %d KiB while idle);\n"
                "before every turn: camera restored, sync, caches dropped, %.1f s idle; every time ends with a sync\n",
                o.speedMib, o.burstKb, o.idle);
    if (photos) {
        const QString folder = pristine + QStringLiteral("/photos");
        const double mb = folderBytes(folder) / 1e6 / std::max(1, o.photos);
        bench(dataSet(QStringLiteral("(1) %1 camera JPEGs of %2 MB (%3x%4, EXIF thumbnail)")
                          .arg(o.photos)
                          .arg(mb, 0, 'f', 1)
                          .arg(o.photoWidth)
                          .arg(o.photoHeight),
                      folder, card, work, QStringLiteral("photos")),
              o);
    }
    if (small)
        bench(dataSet(QStringLiteral("(2) %1 files of %2 KB").arg(o.small).arg(o.smallKb), pristine + QStringLiteral("/small"),
                      card, work, QStringLiteral("small")),
              o);
}

Options parse(const QCoreApplication& app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Times the copy run from a paced exFAT card against reading the card once, cp and rsync. "
                       "Needs root."));
    parser.addHelpOption();
    Options o;
    const auto option = [&](const char* name, const char* help, double value) {
        parser.addOption({QString::fromLatin1(name), QString::fromLatin1(help), QStringLiteral("n"), QString::number(value)});
    };
    option("photos", "camera JPEGs of the first data set", o.photos);
    option("width", "photo width in pixels", o.photoWidth);
    option("height", "photo height in pixels", o.photoHeight);
    option("noise", "noise amplitude of the photos (sets their size)", o.noise);
    option("small", "files of the second data set", o.small);
    option("small-kb", "size of each file of the second data set", o.smallKb);
    option("speed", "the card's read speed in MiB/s", o.speedMib);
    option("burst-kb", "what the card streams ahead while nobody reads, in KiB", o.burstKb);
    option("rounds", "rounds of every contender", o.rounds);
    option("idle", "seconds of idle before every turn", o.idle);
    parser.addOption({QStringLiteral("dir"), QStringLiteral("folder for the data (default: /tmp)"), QStringLiteral("path"),
                      QDir::tempPath()});
    parser.addOption({QStringLiteral("only"), QStringLiteral("data sets to run: photos,small"), QStringLiteral("sets"),
                      QStringLiteral("photos,small")});
    parser.process(app);
    const auto number = [&](const char* name) { return parser.value(QString::fromLatin1(name)).toDouble(); };
    o.base = parser.value(QStringLiteral("dir"));
    o.photos = int(number("photos"));
    o.photoWidth = int(number("width"));
    o.photoHeight = int(number("height"));
    o.noise = int(number("noise"));
    o.small = int(number("small"));
    o.smallKb = int(number("small-kb"));
    o.speedMib = number("speed");
    o.burstKb = int(number("burst-kb"));
    o.rounds = std::max(1, int(number("rounds")));
    o.idle = number("idle");
    o.only = parser.value(QStringLiteral("only")).split(QLatin1Char(','));
    return o;
}

}  // namespace

int main(int argc, char** argv)
{
    watchSignals();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const Options o = parse(app);
    if (::geteuid() != 0) {
        std::fprintf(stderr, "card_bench: needs root (loop device, mount, drop_caches)\n");
        return 2;
    }
    QTemporaryDir work(o.base + QStringLiteral("/zandrel-card-XXXXXX"));
    if (!work.isValid()) {
        std::fprintf(stderr, "card_bench: cannot make a folder in %s\n", qPrintable(o.base));
        return 1;
    }
    work.setAutoRemove(false);  // removed with the card, never while it is still mounted
    {
        const std::lock_guard guard(mounted.lock);
        mounted.work = work.path().toStdString();
    }
    // The window keeps its settings in the hive: a private one, never the user's.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(work.path() + QStringLiteral("/config")));
    QDir().mkpath(work.path() + QStringLiteral("/runtime"));
    QFile::setPermissions(work.path() + QStringLiteral("/runtime"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(work.path() + QStringLiteral("/runtime")));

    int status = 0;
    try {
        runBenchmark(o, work.path());
    } catch (const BenchFailed& failure) {
        std::fprintf(stderr, "card_bench: %s\n", qPrintable(failure.what));
        status = 1;
    }
    releaseCard(true);
    return status;
}
