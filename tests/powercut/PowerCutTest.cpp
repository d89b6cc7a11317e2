// Power cuts in the middle of copy runs. The photo folder, the camera, or both
// live on powercut_fs, which keeps only what was flushed when the power is
// cut at a chosen operation (and, in some trials, a random part of the rest).
// Each survivor must hold every camera file whole on the camera or under a
// photo's name, nothing torn under a photo's name, and the next run on it
// must clear what is left over and complete.
//   POWERCUT_SEED=n      the campaign's seed (printed with every failure)
//   POWERCUT_CUTS=n      how many cuts to make (500)
//   POWERCUT_TRIAL=text  one trial again, as a failure printed it
#include "support/RealSystem.h"
#include "support/linux/LinuxSystem.h"
#include "support/TestWindow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <sys/mount.h>

namespace zandrel::test {
namespace {

const QString kSubfolder = QStringLiteral("2026 December");
const QString kDone = QStringLiteral("Klaar met kopiëren");
const QByteArray kClaimText = "zandrel-claim ";
// A photo the target held before the run, under a name the camera has too.
const QString kOlderPhoto = QStringLiteral("IMG_0002.JPG");
// Few and small, so that hundreds of runs take minutes; of a size that one
// takes up to three of FUSE's writes, so that a copy can be cut in the middle.
constexpr int kCameraFiles = 3;
constexpr int kLargestFile = 300000;

// Which folders of the run are on the file system that loses power.
enum class Layout { Photos, Camera, Both };

struct Trial {
    Layout layout = Layout::Photos;
    bool emptying = true;
    bool fat = false;             // no rename flags, no links, no modes
    bool subfolderExists = true;  // else the run makes it
    long cutAt = 0;               // 0: no cut
    quint32 prefixSeed = 0;       // 0: only what was flushed survives
    quint32 filesSeed = 1;
    bool remount = false;  // the next run on the file system again, else on a plain folder

    QString text() const
    {
        return QStringLiteral("layout=%1 emptying=%2 fat=%3 subfolder=%4 cut=%5 prefix=%6 files=%7 remount=%8")
            .arg(int(layout))
            .arg(int(emptying))
            .arg(int(fat))
            .arg(int(subfolderExists))
            .arg(cutAt)
            .arg(prefixSeed)
            .arg(filesSeed)
            .arg(int(remount));
    }
    static Trial parse(const QString& text)
    {
        std::map<QString, qint64> values;
        for (const QString& part : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            values[part.section(QLatin1Char('='), 0, 0)] = part.section(QLatin1Char('='), 1).toLongLong();
        Trial trial;
        trial.layout = Layout(values["layout"]);
        trial.emptying = values["emptying"];
        trial.fat = values["fat"];
        trial.subfolderExists = values["subfolder"];
        trial.cutAt = long(values["cut"]);
        trial.prefixSeed = quint32(values["prefix"]);
        trial.filesSeed = quint32(values["files"]);
        trial.remount = values["remount"];
        return trial;
    }
};

// One mount of powercut_fs, unmounted when dropped.
class PowerCutMount {
public:
    PowerCutMount(const QString& backing, const QString& mountpoint, const QString& image, const Trial& trial, bool cut)
        : mountpoint_(mountpoint)
    {
        QDir().mkpath(mountpoint);
        QStringList arguments{backing, mountpoint, image};
        if (cut && trial.cutAt > 0)
            arguments << QStringLiteral("--cut-at=%1").arg(trial.cutAt);
        if (cut && trial.prefixSeed != 0)
            arguments << QStringLiteral("--prefix-seed=%1").arg(trial.prefixSeed);
        if (trial.fat)
            arguments << QStringLiteral("--fat");
        process_ = startProcess(QStringLiteral(POWERCUT_FS), arguments);
        while (!output_.contains("MOUNTED\n") && process_->waitForReadyRead(10000))
            output_ += process_->readAll();
        mounted_ = output_.contains("MOUNTED\n");
    }
    ~PowerCutMount() { unmount(); }

    bool mounted() const { return mounted_; }
    // Unmounts and waits for the image; what the file system said.
    QString unmount()
    {
        if (mounted_) {
            const QByteArray path = QFile::encodeName(mountpoint_);
            if (::umount2(path.constData(), 0) != 0)
                ::umount2(path.constData(), MNT_DETACH);
            mounted_ = false;
        }
        if (process_->state() != QProcess::NotRunning && !process_->waitForFinished(30000)) {
            process_->kill();
            process_->waitForFinished(-1);
        }
        output_ += process_->readAll();
        return QString::fromUtf8(output_);
    }
    long operations() const
    {
        const qsizetype at = output_.indexOf("OPERATIONS ");
        return at < 0 ? -1 : output_.mid(at + 11, output_.indexOf('\n', at) - at - 11).toLong();
    }
    bool wasCut() const { return output_.contains("CUT at "); }

private:
    QString mountpoint_;
    std::unique_ptr<QProcess> process_;
    QByteArray output_;
    bool mounted_ = false;
};

// The two folders a run is given.
struct Places {
    QString camera;
    QString photos;
    QString target() const { return joinPath(photos, kSubfolder); }
};

// Where the camera and the photos are when the file system's root is `disk`
// and the other folders live below `plain`.
Places placesOn(Layout layout, const QString& disk, const QString& plain)
{
    switch (layout) {
    case Layout::Photos:
        return {joinPath(plain, QStringLiteral("camera")), disk};
    case Layout::Camera:
        return {disk, joinPath(plain, QStringLiteral("photos"))};
    case Layout::Both:
        break;
    }
    return {joinPath(disk, QStringLiteral("camera")), joinPath(disk, QStringLiteral("photos"))};
}

// What a run said; its warnings are kept, for a failure's report only.
QString warnings;

void keepWarning(QtMsgType, const QMessageLogContext&, const QString& text) { warnings += text + QLatin1Char('\n'); }

std::map<QString, QByteArray> filesIn(const QString& folder)
{
    std::map<QString, QByteArray> files;
    for (const QString& name : entries(folder, QDir::Files))
        files[name] = readFile(joinPath(folder, name));
    return files;
}

bool isClaim(const QByteArray& bytes) { return bytes.isEmpty() || bytes.startsWith(kClaimText); }

class PowerCutCampaign {
public:
    // The camera's files, and the photo the target already held.
    std::map<QString, QByteArray> originals;
    QByteArray olderPhoto;  // empty: the target was not there before the run

    // Empty when the trial went as it must; else what went wrong.
    QString run(const Trial& trial, bool* cut)
    {
        QTemporaryDir dir;
        const QString root = dir.path();
        shoot(trial, root);
        warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(keepWarning);
        const QString problem = runOn(trial, root, cut);
        qInstallMessageHandler(previous);
        return problem.isEmpty() ? problem : problem + QStringLiteral("\nwarnings:\n") + warnings;
    }

    long operationsOfLastRun = -1;
    // What the survivors of cuts held, to show which paths the next runs took.
    struct Seen {
        int withTemporaryFiles = 0;
        int withClaims = 0;
        int withCameraFilesMoved = 0;  // deleted from the camera, whole under a photo's name
    } seen;

private:
    // One copy run as a user starts it, with the folders stored in the
    // settings file. One window serves every run: making one takes longer
    // than a run, and every trial has folders of its own, so that nothing a
    // window keeps of a folder carries over.
    QString copyRun(const Places& places, bool emptying)
    {
        storeFolders(t_, places.camera, places.photos, false);
        t_.window->Form_Load();
        t_.window->sFolder.setText(kSubfolder);
        t_.window->sPreview.setValue(0);
        t_.window->sDel.setValue(emptying ? 1 : 0);
        t_.window->Message.setCaption(QString());
        t_.window->start_Click();
        return t_.window->Message.Caption();
    }

    void shoot(const Trial& trial, const QString& root)
    {
        QRandomGenerator random(trial.filesSeed);
        originals.clear();
        for (int n = 1; n <= kCameraFiles; ++n) {
            QByteArray bytes(random.bounded(1000, kLargestFile), Qt::Uninitialized);
            random.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
            originals[QStringLiteral("IMG_%1.JPG").arg(n, 4, 10, QLatin1Char('0'))] = bytes;
        }
        olderPhoto.clear();
        const Places places = placesOn(trial.layout, joinPath(root, QStringLiteral("backing")), root);
        QDir().mkpath(places.camera);
        if (trial.subfolderExists || trial.layout == Layout::Camera) {
            QDir().mkpath(places.target());
            olderPhoto = "an older photo " + QByteArray::number(trial.filesSeed);
            writeFile(joinPath(places.target(), kOlderPhoto), olderPhoto);
        } else {
            QDir().mkpath(places.photos);
        }
        for (const auto& [name, bytes] : originals)
            writeFile(joinPath(places.camera, name), bytes);
        QDir().mkpath(joinPath(root, QStringLiteral("backing")));
    }

    QString runOn(const Trial& trial, const QString& root, bool* cut)
    {
        const QString image = joinPath(root, QStringLiteral("image"));
        PowerCutMount disk(joinPath(root, QStringLiteral("backing")), joinPath(root, QStringLiteral("disk")), image,
                           trial, true);
        if (!disk.mounted())
            return QStringLiteral("powercut_fs did not mount: ") + disk.unmount();
        const QString first =
            copyRun(placesOn(trial.layout, joinPath(root, QStringLiteral("disk")), root), trial.emptying);
        const QString said = disk.unmount();
        if (qEnvironmentVariableIsSet("POWERCUT_VERBOSE"))
            std::printf("%s | %s | %s\n", qPrintable(trial.text()), qPrintable(said.simplified()), qPrintable(first));
        *cut = disk.wasCut();
        operationsOfLastRun = disk.operations();
        QString problem;
        if (!*cut && first != kDone)
            problem = QStringLiteral("the run without a cut ended with: ") + first;
        const Places survivor = placesOn(trial.layout, image, root);
        if (problem.isEmpty())
            problem = checkSurvivor(survivor, *cut && trial.fat);
        if (problem.isEmpty() && *cut)
            count(survivor);
        if (problem.isEmpty())
            problem = nextRun(trial, root, survivor);
        if (problem.isEmpty())
            return problem;
        return QStringLiteral("%1\nfirst run: %2\n%3").arg(problem, first, said);
    }

    void count(const Places& survivor)
    {
        const std::map<QString, QByteArray> target = filesIn(survivor.target());
        const std::map<QString, QByteArray> camera = filesIn(survivor.camera);
        const auto any = [&](auto test) { return std::any_of(target.begin(), target.end(), test); };
        seen.withTemporaryFiles += any([](const auto& file) { return file.first.startsWith(QLatin1Char('.')); });
        seen.withClaims +=
            any([](const auto& file) { return !file.first.startsWith(QLatin1Char('.')) && isClaim(file.second); });
        seen.withCameraFilesMoved += camera.size() < originals.size();
    }

    // The next run on what survived, on the file system again or as a plain folder.
    QString nextRun(const Trial& trial, const QString& root, const Places& survivor)
    {
        Places last = survivor;
        QString said;
        if (trial.remount) {
            const QString image = joinPath(root, QStringLiteral("after"));
            PowerCutMount again(joinPath(root, QStringLiteral("image")), joinPath(root, QStringLiteral("again")), image,
                                trial, false);
            if (!again.mounted())
                return QStringLiteral("powercut_fs did not mount again: ") + again.unmount();
            said = copyRun(placesOn(trial.layout, joinPath(root, QStringLiteral("again")), root), true);
            again.unmount();
            last = placesOn(trial.layout, image, root);
        } else {
            said = copyRun(survivor, true);
        }
        if (said != kDone)
            return QStringLiteral("the next run ended with: ") + said;
        if (!filesIn(last.camera).empty())
            return QStringLiteral("the next run left the camera with files");
        for (const auto& [name, bytes] : filesIn(last.target()))
            if (name.startsWith(QLatin1Char('.')))
                return QStringLiteral("left over after the next run: ") + name;
        return checkSurvivor(last, false);
    }

    // Every camera file whole on the camera or under a photo's name; under a
    // photo's name a whole camera file, the older photo, or (where a claim is
    // made first) a claim that the next run clears.
    QString checkSurvivor(const Places& places, bool claimsAllowed) const
    {
        const std::map<QString, QByteArray> camera = filesIn(places.camera);
        const std::map<QString, QByteArray> target = filesIn(places.target());
        QList<QByteArray> photos;
        for (const auto& [name, bytes] : target) {
            if (name.startsWith(QLatin1Char('.')))
                continue;  // a temporary copy
            const bool whole = std::any_of(originals.begin(), originals.end(),
                                           [&](const auto& original) { return original.second == bytes; });
            if (!whole && !(name == kOlderPhoto && bytes == olderPhoto) && !(claimsAllowed && isClaim(bytes)))
                return QStringLiteral("torn under a photo's name: %1 (%2 bytes)").arg(name).arg(bytes.size());
            photos << bytes;
        }
        if (!olderPhoto.isEmpty() && (!target.count(kOlderPhoto) || target.at(kOlderPhoto) != olderPhoto))
            return QStringLiteral("the older photo is gone or changed");
        for (const auto& [name, bytes] : originals) {
            const auto onCamera = camera.find(name);
            if (onCamera != camera.end() && onCamera->second != bytes)
                return QStringLiteral("camera file changed: ") + name;
            if (onCamera == camera.end() && !photos.contains(bytes))
                return QStringLiteral("lost: ") + name;
        }
        return QString();
    }

    TestWindow t_;
};

quint32 campaignSeed()
{
    return qEnvironmentVariableIsSet("POWERCUT_SEED") ? quint32(qEnvironmentVariableIntValue("POWERCUT_SEED"))
                                                      : QRandomGenerator::system()->generate();
}

class PowerCut : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!QFileInfo::exists(QStringLiteral("/dev/fuse")) || ::geteuid() != 0)
            GTEST_SKIP() << "needs /dev/fuse and root to mount";
        // Every folder of the trials, the settings file's too, on a tmpfs:
        // the settings are flushed at every write, and a real disk's flush
        // takes more time than a run.
        scratch_ = std::make_unique<TmpfsMount>(qint64(512) << 20);
        ASSERT_TRUE(scratch_->mounted()) << qPrintable(scratch_->problem);
        qputenv("TMPDIR", QFile::encodeName(scratch_->path()));
        campaign.emplace();
    }
    void TearDown() override
    {
        campaign.reset();
        tempFolderSet_ ? qputenv("TMPDIR", tempFolder_) : qunsetenv("TMPDIR");
    }

    // False, with the failure added, when the trial lost or tore a photo or
    // the next run did not complete.
    bool passes(const Trial& trial, bool* cut = nullptr)
    {
        bool wasCut = false;
        const QString problem = campaign->run(trial, &wasCut);
        if (cut)
            *cut = wasCut;
        if (problem.isEmpty())
            return true;
        ADD_FAILURE() << "POWERCUT_TRIAL=\"" << qPrintable(trial.text()) << "\"\n" << qPrintable(problem);
        return false;
    }

    std::optional<PowerCutCampaign> campaign;

private:
    const bool tempFolderSet_ = qEnvironmentVariableIsSet("TMPDIR");
    const QByteArray tempFolder_ = qgetenv("TMPDIR");
    std::unique_ptr<TmpfsMount> scratch_;
};

// Random cuts in runs on the photo disk, on the camera and on both, with and
// without emptying, on a file system like ext4 and on one like exFAT, with
// only what was flushed surviving or some of the rest too.
TEST_F(PowerCut, EveryCameraFileSurvivesWholeAndTheNextRunCompletes)
{
    if (qEnvironmentVariableIsSet("POWERCUT_TRIAL")) {
        passes(Trial::parse(qEnvironmentVariable("POWERCUT_TRIAL")));
        return;
    }
    const quint32 seed = campaignSeed();
    const int wanted = qEnvironmentVariableIsSet("POWERCUT_CUTS") ? qEnvironmentVariableIntValue("POWERCUT_CUTS") : 500;
    QRandomGenerator random(seed);
    // Operations of a run without a cut, per kind of trial: the cut is drawn below that.
    std::map<QString, long> operations;
    int cuts = 0, trials = 0, failures = 0;
    const auto started = std::chrono::steady_clock::now();
    while (cuts < wanted && failures < 5) {
        Trial trial;
        trial.layout = Layout(random.bounded(3));
        trial.emptying = random.bounded(4) != 0;
        trial.fat = random.bounded(2) == 1;
        trial.prefixSeed = random.bounded(2) ? random.generate() | 1 : 0;
        trial.filesSeed = random.generate();
        trial.remount = random.bounded(2) == 1;
        trial.subfolderExists = random.bounded(2) == 1;
        const QString kind = QStringLiteral("%1 %2 %3").arg(int(trial.layout)).arg(trial.emptying).arg(trial.fat);
        if (operations[kind] > 0)
            trial.cutAt = 1 + long(random.bounded(quint32(operations[kind])));
        bool cut = false;
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        failures += !passes(trial, &cut);
        ++trials;
        if (!cut)
            operations[kind] = std::max(operations[kind], campaign->operationsOfLastRun);
        cuts += cut;
    }
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("seed %u: %d trials, %d cuts with their survivors checked, %d failures, %.0f s\n", seed, trials, cuts,
                failures, seconds);
    std::printf("survivors with temporary files %d, with claims under a photo's name %d, with camera files moved %d\n",
                campaign->seen.withTemporaryFiles, campaign->seen.withClaims, campaign->seen.withCameraFilesMoved);
}

// A run that makes the dated subfolder on the photo disk and empties the
// camera, cut at each of its operations in turn, only what was flushed
// surviving: the subfolder's own name must be flushed before the first camera
// file goes, or the cut takes the subfolder with every copy in it.
TEST_F(PowerCut, TheSubfolderARunMakesSurvivesEveryCut)
{
    for (const bool fat : {false, true}) {
        Trial trial;
        trial.fat = fat;
        trial.subfolderExists = false;
        ASSERT_TRUE(passes(trial));
        const long operations = campaign->operationsOfLastRun;
        for (trial.cutAt = 1; trial.cutAt <= operations; ++trial.cutAt)
            passes(trial);
    }
}

}  // namespace
}  // namespace zandrel::test
