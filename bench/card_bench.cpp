// The copy run from a memory card, against reading that card once: the card is an
// exFAT image through FUSE whose reads are paced to a card's speed, so time the
// reader leaves the card idle is lost as on a real card. Every contender gets the
// same start: the camera restored, caches dropped, the same idle time. Rounds
// alternate the contenders; the median of each round's ratio is printed with its
// range. Needs root (loop device, mount, drop_caches). Options: --help.

#include "common/BenchSupport.h"
#include "common/CameraData.h"
#include "common/RunAccount.h"
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
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
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
    bool strict = false;  // no burst, a seek loses what the card streamed ahead
    int rounds = 5;
    double idle = 2;
    QStringList only;
    std::vector<size_t> contenders;  // indices into contenders(), in their order
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
            unmounted = shell("umount '" + mounted.mountPoint + "'") == 0
                || shell("umount -l '" + mounted.mountPoint + "'") == 0;
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

// card_pace.so appends there, for every read of the card, when the card streamed it.
QString cardLogPath(const QString& work) { return work + QStringLiteral("/card-reads.log"); }

QString makeCard(const QString& work, qint64 bytes, const Options& o)
{
    const QString image = work + QStringLiteral("/card.img");
    const QString mountPoint = work + QStringLiteral("/card");
    QFile file(image);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(bytes))
        die(QStringLiteral("cannot make the card image"));
    file.close();
    if (quietly(QStringLiteral("mkfs.exfat"),
                {QStringLiteral("-L"), QStringLiteral("CARD"), QStringLiteral("-c"), QStringLiteral("128K"), image})
        != 0)
        die(QStringLiteral("mkfs.exfat failed"));
    QDir().mkpath(mountPoint);
    {
        const std::lock_guard guard(mounted.lock);
        mounted.loop = output(QStringLiteral("losetup"),
                              {QStringLiteral("--direct-io=on"), QStringLiteral("-f"), QStringLiteral("--show"), image})
                           .toStdString();
    }
    QProcess mount;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(ZANDREL_CARD_PACE));
    environment.insert(QStringLiteral("ZANDREL_CARD_SPEED"), QString::number(qint64(o.speedMib * 1024 * 1024)));
    environment.insert(QStringLiteral("ZANDREL_CARD_BURST"), QString::number(qint64(o.burstKb) * 1024));
    environment.insert(QStringLiteral("ZANDREL_CARD_SEEKS"), o.strict ? QStringLiteral("1") : QStringLiteral("0"));
    environment.insert(QStringLiteral("ZANDREL_CARD_LOG"), cardLogPath(work));
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
    QString cardLog;
};

struct Contender {
    const char* name;
    bool empties;
    const char* copies;  // where the copies land, below the target; none for nullptr
    // Returns the seconds that count: the window's from the press of start on,
    // not its making and showing.
    std::function<double(const DataSet&, RunAccount&)> work;
};

// One contender's turn: its time, and what the card and the run did meanwhile.
struct Turn {
    double taken = 0;
    double begin = 0, end = 0;                    // CLOCK_MONOTONIC
    std::vector<std::pair<double, double>> card;  // when the card streamed
    RunAccount account;                           // the run's calls, for the window only
};

qint64 fileSize(const QString& path) { return QFileInfo(path).size(); }

std::vector<std::pair<double, double>> cardSpans(const QString& log, qint64 from)
{
    QFile file(log);
    std::vector<std::pair<double, double>> spans;
    if (!file.open(QIODevice::ReadOnly) || !file.seek(from))
        return spans;
    const QByteArray bytes = file.readAll();
    for (qsizetype at = 0; at + qsizetype(2 * sizeof(double)) <= bytes.size(); at += 2 * sizeof(double)) {
        double span[2];
        std::memcpy(span, bytes.constData() + at, sizeof span);
        spans.emplace_back(span[0], span[1]);
    }
    return spans;
}

void restoreCamera(const DataSet& set)
{
    run(QStringLiteral("rsync"),
        {QStringLiteral("-a"), QStringLiteral("--delete"), set.pristine + QLatin1Char('/'),
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

// The tools' own programs back in memory after the caches were dropped, as
// the window's is once it is open: only the reading of the card counts.
void warmTools()
{
    run(QStringLiteral("sh"),
        {QStringLiteral("-c"),
         QStringLiteral("{ find /dev/null -maxdepth 0 -print0 | sort -z | xargs -0 -P4 -n 64 cat -- && "
                        "cp --version && rsync --version; } > /dev/null"),
         QStringLiteral("sh")});
}

void turn(const Contender& contender, const DataSet& set, const Options& o, Turn& result)
{
    restoreCamera(set);
    dropCaches();
    warmTools();
    listCamera(set);
    idle(o.idle);
    const qint64 logged = fileSize(set.cardLog);
    result.begin = monotonicNow();
    result.taken = contender.work(set, result.account) + seconds([] { ::sync(); });
    result.end = monotonicNow();
    if (result.account.pressed() > 0)
        result.begin = result.account.pressed();
    result.card = cardSpans(set.cardLog, logged);
    if (contender.empties) {
        if (!filesIn(set.camera).isEmpty())
            die(QString::fromLatin1(contender.name) + QStringLiteral(" left files on the camera"));
    } else {
        expectFiles(set.camera, set, contender.name, "the camera");
    }
    if (contender.copies != nullptr)
        expectFiles(joinPath(set.target, QString::fromLatin1(contender.copies)), set, contender.name, "the target");
}

std::vector<Contender> contenders()
{
    const auto script = [](const QString& command, const DataSet& set) {
        return seconds([&] {
            run(QStringLiteral("sh"), {QStringLiteral("-c"), command, QStringLiteral("sh"), set.camera, set.target});
        });
    };
    return {
        // Four readers at once keep the card streaming between small files, as one
        // `cat` cannot through FUSE: this is the card's own limit.
        {"reading the card once (4 x cat)", false, nullptr,
         [=](const DataSet& set, RunAccount&) {
             return script(QStringLiteral("find \"$1\" -type f -print0 | xargs -0 -P4 -n 64 cat -- > /dev/null"), set);
         }},
        // One reader, file after file in name order, as a copy that reads one file at a time.
        {"reading the card once (1 x cat)", false, nullptr,
         [=](const DataSet& set, RunAccount&) {
             return script(QStringLiteral("find \"$1\" -type f -print0 | sort -z | xargs -0 cat -- > /dev/null"), set);
         }},
        {"cp -a + sync", false, "",
         [=](const DataSet& set, RunAccount&) { return script(QStringLiteral("cp -a -- \"$1\"/. \"$2\"/"), set); }},
        {"rsync -a --remove-source-files --fsync", true, "",
         [=](const DataSet& set, RunAccount&) {
             return script(QStringLiteral("rsync -a --remove-source-files --fsync -- \"$1\"/ \"$2\"/"), set);
         }},
        {"Zandrel, camera kept", false, "run",
         [](const DataSet& set, RunAccount& account) {
             return windowRun(set.camera, set.target, false, true, &account);
         }},
        {"Zandrel, camera emptied", true, "run",
         [](const DataSet& set, RunAccount& account) {
             return windowRun(set.camera, set.target, true, true, &account);
         }},
    };
}

// ---- Where a turn's time went -----------------------------------------------

constexpr double kBucket = 0.5;  // seconds of the card's timeline per figure

// The card's busy share of the turn: in all, per bucket, and the idle time
// before its first read, between reads and after its last.
void printCard(const Turn& t)
{
    double busy = 0, between = 0, first = t.end, last = t.begin, previous = -1;
    int gaps = 0;
    std::vector<double> buckets(size_t((t.end - t.begin) / kBucket) + 1, 0.0);
    for (const auto& [from, to] : t.card) {
        const double a = std::max(from, t.begin), b = std::min(to, t.end);
        if (b <= a)
            continue;
        busy += b - a;
        first = std::min(first, a);
        last = std::max(last, b);
        if (previous >= 0 && a - previous > 0) {
            between += a - previous;
            gaps += a - previous >= 0.001;
        }
        previous = b;
        for (size_t k = size_t((a - t.begin) / kBucket); k < buckets.size() && t.begin + double(k) * kBucket < b; ++k)
            buckets[k] += std::min(b, t.begin + double(k + 1) * kBucket) - std::max(a, t.begin + double(k) * kBucket);
    }
    const double taken = t.end - t.begin;
    std::printf("      card busy %.2f s (%.0f %%); idle %.2f s before its first read, %.2f s between reads "
                "(%d gaps of 1 ms or more), %.2f s after its last\n",
                busy, 100 * busy / taken, std::max(0.0, first - t.begin), between, gaps, std::max(0.0, t.end - last));
    std::printf("      card busy %% per %.1f s:", kBucket);
    for (size_t k = 0; k < buckets.size(); ++k) {
        const double length = std::min(kBucket, taken - double(k) * kBucket);
        if (length > 0.05)
            std::printf(" %.0f", 100 * buckets[k] / length);
    }
    std::printf("\n");
}

// The run's calls per thread: the window's own, the reader's, the other threads'
// summed by kind; what a thread did outside its calls is its waiting (and, for
// the window, its events, painting and progress).
void printThreads(const Turn& t)
{
    struct Group {
        int threads = 0;
        double first = 1e300, busy = 0;
        std::map<std::string, std::pair<double, int>> calls;
    };
    std::map<std::thread::id, std::vector<RunAccount::Call>> byThread;
    for (const RunAccount::Call& call : t.account.calls())
        byThread[call.thread].push_back(call);
    std::map<std::string, Group> groups;
    for (const auto& [thread, calls] : byThread) {
        std::string kind;
        for (const RunAccount::Call& call : calls)
            if (kind.find(call.what) == std::string::npos)
                kind += (kind.empty() ? "" : "+") + std::string(call.what);
        const bool window = thread == t.account.windowThread();
        Group& group = groups[window                                            ? std::string("window")
                                  : kind.find("StageCopy") != std::string::npos ? "reader"
                                                                                : kind];
        ++group.threads;
        for (const RunAccount::Call& call : calls) {
            group.first = std::min(group.first, call.begin - t.begin);
            group.busy += call.end - call.begin;
            auto& [total, count] = group.calls[call.what];
            total += call.end - call.begin;
            ++count;
        }
    }
    // From the press to the first copy begun: the readiness check and the listing.
    const auto reader = groups.find("reader");
    if (reader != groups.end()) {
        const double first = reader->second.first;
        std::map<std::string, std::pair<double, int>> early;
        double timed = 0;
        for (const RunAccount::Call& call : t.account.calls())
            if (call.thread == t.account.windowThread() && call.end - t.begin <= first) {
                early[call.what].first += call.end - call.begin;
                ++early[call.what].second;
                timed += call.end - call.begin;
            }
        std::printf("      before the first copy (+%.3f s):", first);
        for (const auto& [what, call] : early)
            std::printf(" %s %.3f s/%d,", what.c_str(), call.first, call.second);
        std::printf(" the rest %.3f s\n", first - timed);
    }
    for (const auto& [name, group] : groups) {
        std::printf("      %s%s (from +%.2f s):", name.c_str(),
                    group.threads > 1 ? qPrintable(QStringLiteral(" x%1").arg(group.threads)) : "", group.first);
        std::vector<std::pair<std::string, std::pair<double, int>>> sorted(group.calls.begin(), group.calls.end());
        std::sort(sorted.begin(), sorted.end(),
                  [](const auto& a, const auto& b) { return a.second.first > b.second.first; });
        for (const auto& [what, call] : sorted)
            if (call.first >= 0.005)
                std::printf(" %s %.2f s/%d,", what.c_str(), call.first, call.second);
        std::printf(" outside these %.2f s\n", group.threads * (t.end - t.begin) - group.busy);
    }
}

// ---- Rounds and figures ----------------------------------------------------

// The machine's load averages: other work on it slows the card's daemon too.
QString load()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readLine()).section(QLatin1Char(' '), 0, 2)
                                          : QStringLiteral("?");
}

void bench(const DataSet& set, const Options& o)
{
    const std::vector<Contender> all = contenders();
    const size_t n = o.contenders.size();
    std::printf("\n%s: %lld files, %.1f MB; %d rounds, contenders in turn\n", qPrintable(set.title),
                qint64(set.names.size()), set.bytes / 1e6, o.rounds);
    std::vector<std::vector<double>> times(all.size());
    for (int round = 0; round < o.rounds; ++round) {
        std::printf("  round %d:\n", round + 1);
        for (size_t k = 0; k < n; ++k) {
            const size_t c = o.contenders[(k + size_t(round)) % n];
            Turn t;
            turn(all[c], set, o, t);
            times[c].push_back(t.taken);
            std::printf("    [%zu] %.2f s  %s  (load %s)\n", c + 1, t.taken, all[c].name, qPrintable(load()));
            printCard(t);
            printThreads(t);
            std::fflush(stdout);
        }
    }
    std::printf("  %-44s %9s %9s   %s\n", "", "median s", "MiB/s",
                "ratio to reading once, 4 x cat | 1 x cat: median (min-max)");
    for (size_t c : o.contenders) {
        const Spread taken = spread(times[c]);
        std::printf("  [%zu] %-40s %9.2f %9.1f", c + 1, all[c].name, taken.median,
                    set.bytes / 1048576.0 / taken.median);
        for (size_t reference : {size_t(0), size_t(1)}) {
            if (times[reference].empty())
                continue;
            const Spread ratio = ratioSpread(times[c], times[reference]);
            std::printf("   %.3f x (%.3f-%.3f)", ratio.median, ratio.low, ratio.high);
        }
        std::printf("\n");
    }
    std::fflush(stdout);
}

DataSet dataSet(const QString& title, const QString& pristine, const QString& card, const QString& work,
                const QString& name)
{
    DataSet set{title, pristine, joinPath(card, name), work + QStringLiteral("/target-") + name, filesIn(pristine),
                {},    0,        cardLogPath(work)};
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
    const bool mixed = o.only.contains(QStringLiteral("mixed"));
    const QString pristine = work + QStringLiteral("/pristine");
    const CameraPhoto photo = photos || mixed ? cameraPhoto(QSize(o.photoWidth, o.photoHeight), o.noise)
                                              : CameraPhoto{};
    if (photos)
        makeCameraJpegs(pristine + QStringLiteral("/photos"), o.photos, photo);
    if (small)
        makeSmallFiles(pristine + QStringLiteral("/small"), o.small, o.smallKb * 1024);
    if (mixed) {
        makeCameraJpegs(pristine + QStringLiteral("/mixed"), o.photos, photo);
        makeSmallFiles(pristine + QStringLiteral("/mixed"), o.small, o.smallKb * 1024);
    }
    // Room for the data, exFAT's clusters around small files, and its own tables.
    const qint64 smallFiles = qint64(o.small) * (int(small) + int(mixed));
    const qint64 mib = (folderBytes(pristine) * 11 / 10 + smallFiles * 128 * 1024) / (1 << 20) + 64;
    const QString card = makeCard(work, mib << 20, o);
    std::printf("card: exFAT image through FUSE, reads paced to %.0f MiB/s (streams ahead %d KiB while idle%s);\n"
                "before every turn: camera restored, sync, caches dropped, %.1f s idle; every time ends with a sync\n",
                o.speedMib, o.burstKb, o.strict ? ", nothing after a seek" : "", o.idle);
    qint64 photoBytes = 0;
    for (const QFileInfo& file : QDir(pristine + (photos ? QStringLiteral("/photos") : QStringLiteral("/mixed")))
                                     .entryInfoList({QStringLiteral("DSC*")}, QDir::Files))
        photoBytes += file.size();
    const double mb = photoBytes / 1e6 / std::max(1, o.photos);
    const QString photoText = QStringLiteral("%1 camera JPEGs of %2 MB (%3x%4, EXIF thumbnail)")
                                  .arg(o.photos)
                                  .arg(mb, 0, 'f', 1)
                                  .arg(o.photoWidth)
                                  .arg(o.photoHeight);
    const QString smallText = QStringLiteral("%1 files of %2 KB").arg(o.small).arg(o.smallKb);
    if (photos)
        bench(dataSet(QStringLiteral("(1) ") + photoText, pristine + QStringLiteral("/photos"), card, work,
                      QStringLiteral("photos")),
              o);
    if (small)
        bench(dataSet(QStringLiteral("(2) ") + smallText, pristine + QStringLiteral("/small"), card, work,
                      QStringLiteral("small")),
              o);
    if (mixed)
        bench(dataSet(QStringLiteral("(3) in one folder: %1 and %2").arg(photoText, smallText),
                      pristine + QStringLiteral("/mixed"), card, work, QStringLiteral("mixed")),
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
        parser.addOption(
            {QString::fromLatin1(name), QString::fromLatin1(help), QStringLiteral("n"), QString::number(value)});
    };
    option("photos", "camera JPEGs of the first data set", o.photos);
    option("width", "photo width in pixels", o.photoWidth);
    option("height", "photo height in pixels", o.photoHeight);
    option("noise", "noise amplitude of the photos (sets their size)", o.noise);
    option("small", "files of the second data set", o.small);
    option("small-kb", "size of each file of the second data set", o.smallKb);
    option("speed", "the card's read speed in MiB/s", o.speedMib);
    option("burst-kb", "what the card streams ahead while nobody reads, in KiB", o.burstKb);
    parser.addOption({QStringLiteral("strict"),
                      QStringLiteral("a card with no burst: streams ahead 128 KiB at most, nothing after a seek")});
    parser.addOption({QStringLiteral("contenders"), QStringLiteral("contenders to run, by number (default: all)"),
                      QStringLiteral("list"), QStringLiteral("1,2,3,4,5,6")});
    option("rounds", "rounds of every contender", o.rounds);
    option("idle", "seconds of idle before every turn", o.idle);
    parser.addOption({QStringLiteral("dir"), QStringLiteral("folder for the data (default: /tmp)"),
                      QStringLiteral("path"), QDir::tempPath()});
    parser.addOption({QStringLiteral("only"), QStringLiteral("data sets to run: photos,small,mixed"),
                      QStringLiteral("sets"), QStringLiteral("photos,small")});
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
    o.strict = parser.isSet(QStringLiteral("strict"));
    o.burstKb = o.strict ? 128 : int(number("burst-kb"));
    o.rounds = std::max(1, int(number("rounds")));
    o.idle = number("idle");
    o.only = parser.value(QStringLiteral("only")).split(QLatin1Char(','));
    for (const QString& listed : parser.value(QStringLiteral("contenders")).split(QLatin1Char(','))) {
        const int c = listed.toInt();
        if (c < 1 || c > int(contenders().size())) {
            std::fprintf(stderr, "card_bench: no contender %s\n", qPrintable(listed));
            std::exit(2);
        }
        o.contenders.push_back(size_t(c - 1));
    }
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
    QFile::setPermissions(work.path() + QStringLiteral("/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
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
