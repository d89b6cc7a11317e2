// Whole copy runs in child processes, with faults made for real: two runs into
// one folder at once, a run killed in the middle of a large file, an exFAT photo
// disk through FUSE, and single system calls failed by strace. The child is this
// test program itself, running its disabled child test on folders named in its
// environment.
#include "copyrun/CopyRunSupport.h"
#include "support/linux/LinuxSystem.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace zandrel::test {
namespace {

constexpr char kCameraVariable[] = "ZANDREL_CHILD_CAMERA";
constexpr char kPhotosVariable[] = "ZANDREL_CHILD_PHOTOS";
constexpr char kSubfolderVariable[] = "ZANDREL_CHILD_SUBFOLDER";
constexpr char kEmptyingVariable[] = "ZANDREL_CHILD_EMPTYING";
constexpr char kWaitVariable[] = "ZANDREL_CHILD_WAIT";  // say READY, then wait for a line on stdin
const QString kSubfolder = QStringLiteral("2026 December");
const QString kDone = QStringLiteral("Klaar met kopiëren");
const QString kMessageLine = QStringLiteral("MESSAGE: ");
const QString kTempPrefix = QStringLiteral(".zandrel-tmp-");

QString variable(const char* name) { return qEnvironmentVariable(name); }

// The child: one copy run as a user starts it, on the real file system and a
// real hive file, its result told through the caption of Message.
TEST(CopyRunChild, DISABLED_RunsOneCopyRun)
{
    if (!qEnvironmentVariableIsSet(kCameraVariable))
        GTEST_SKIP() << "started by the process tests";
    TestWindow t;
    storeFolders(t, variable(kCameraVariable), variable(kPhotosVariable), false);
    t.window->Form_Load();
    t.window->show();
    t.window->sFolder.setText(variable(kSubfolderVariable));
    t.window->sPreview.setValue(0);
    t.window->sDel.setValue(variable(kEmptyingVariable).toInt());
    if (qEnvironmentVariableIsSet(kWaitVariable)) {
        std::puts("READY");
        std::fflush(stdout);
        std::string go;
        std::getline(std::cin, go);
    }
    t.window->start_Click();
    std::printf("%s%s\n", qPrintable(kMessageLine), t.window->Message.Caption().toUtf8().constData());
    std::fflush(stdout);
}

struct ChildOptions {
    QString camera;
    QString photos;
    bool emptying = false;
    bool waitForGo = false;
    QStringList strace;  // strace's options; empty: not traced
};

// One child run. Its temporary folders (the hive) go below `scratch`, so that
// a killed child leaves nothing behind once the test's folder goes.
class ChildRun {
public:
    ChildRun(const ChildOptions& options, const QString& scratch)
    {
        std::map<QString, QString> variables{
            {kCameraVariable, options.camera},
            {kPhotosVariable, options.photos},
            {kSubfolderVariable, kSubfolder},
            {kEmptyingVariable, options.emptying ? QStringLiteral("1") : QStringLiteral("0")},
            {QStringLiteral("TMPDIR"), scratch}};
        if (options.waitForGo)
            variables.emplace(kWaitVariable, QStringLiteral("1"));
        QDir().mkpath(scratch);
        const QStringList wrapper = options.strace.isEmpty() ? QStringList()
                                                             : QStringList{QStringLiteral("strace")} + options.strace;
        process_ = startTestChild(QStringLiteral("CopyRunChild.DISABLED_RunsOneCopyRun"), variables, wrapper);
        started_ = process_->waitForStarted(-1);
        pid_ = process_->processId();
    }
    ~ChildRun()
    {
        if (process_->state() != QProcess::NotRunning) {
            process_->kill();
            process_->waitForFinished(-1);
        }
    }

    bool started() const { return started_; }
    // Looks afresh: QProcess learns of the end only when asked.
    bool running() { return process_->state() != QProcess::NotRunning && !process_->waitForFinished(0); }
    qint64 pid() const { return pid_; }  // also once it has ended
    void waitUntilReady()
    {
        while (!output_.contains("READY\n") && process_->waitForReadyRead(-1))
            output_ += process_->readAll();
    }
    void go()
    {
        process_->write("\n");
        process_->waitForBytesWritten(-1);
    }
    void kill() { process_->kill(); }
    // False when the child had to be killed because it never ended.
    bool finish()
    {
        const bool ended = process_->state() == QProcess::NotRunning || process_->waitForFinished(kPatience);
        if (!ended) {
            kill();
            process_->waitForFinished(-1);
        }
        output_ += process_->readAll();
        return ended;
    }
    bool crashed() const { return process_->exitStatus() == QProcess::CrashExit; }
    QString output() const { return QString::fromUtf8(output_); }
    // What Message showed at the end of the run; empty when it never ended.
    QString message() const
    {
        for (const QString& line : output().split(QLatin1Char('\n')))
            if (line.startsWith(kMessageLine))
                return line.mid(kMessageLine.size());
        return QString();
    }

    // A hung child would hang the suite; no run here comes near this.
    static constexpr int kPatience = 300000;

private:
    std::unique_ptr<QProcess> process_;
    QByteArray output_;
    bool started_ = false;
    qint64 pid_ = 0;
};

struct OpenCopy {
    qint64 size = -1;    // -1: the process has no copy open in the folder
    bool named = false;  // already under a photo's name
};

// The copy that the process has open in the folder: an unnamed file shows as
// "#inode (deleted)", a named temporary file by its prefix.
OpenCopy copyOpenIn(qint64 pid, const QString& folder)
{
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QString& fd : QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QString link = fds + QLatin1Char('/') + fd;
        char target[4096];
        const ssize_t length = ::readlink(QFile::encodeName(link).constData(), target, sizeof target);
        const QString path = length > 0 ? QFile::decodeName(QByteArray(target, int(length))) : QString();
        if (!path.startsWith(folder + QLatin1Char('/')))
            continue;
        const QString name = path.mid(folder.size() + 1);
        return {QFileInfo(link).size(), !name.endsWith(QLatin1String(" (deleted)")) && !name.startsWith(kTempPrefix)};
    }
    return {};
}

// The state letter of one of the process's threads: 'T' stopped, 'Z' ended; 0 once it is gone.
char threadState(qint64 pid, const QString& thread)
{
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/task/%2/stat").arg(pid).arg(thread));
    const qsizetype afterName = stat.lastIndexOf(") ");
    return afterName > 0 && stat.size() > afterName + 2 ? stat.at(afterName + 2) : 0;
}

// Stops the process and returns once the stop has taken hold of every thread:
// the copy's threads may still be in the middle of a write when the first one stops.
void stopProcess(qint64 pid)
{
    ::kill(pid_t(pid), SIGSTOP);
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& thread : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        for (char state = threadState(pid, thread); state != 'T' && state != 'Z' && state != 0;
             state = threadState(pid, thread))
            QThread::usleep(100);
}

// Stops the run while it holds a written copy not yet under the name its search
// found free, so that another run can take that name meanwhile. Returns the
// held copy's size, or -1 when the run ended first.
qint64 holdBeforeACopyIsNamed(ChildRun& run, const QString& folder)
{
    while (run.running()) {
        const OpenCopy copy = copyOpenIn(run.pid(), folder);
        if (copy.size > 0 && !copy.named) {
            stopProcess(run.pid());
            const OpenCopy held = copyOpenIn(run.pid(), folder);
            if (held.size > 0 && !held.named)
                return held.size;
            ::kill(pid_t(run.pid()), SIGCONT);  // it was named meanwhile: catch the next one
        }
        QThread::usleep(100);
    }
    return -1;
}

// Kills the child once it is writing a copy of more than `bytes` into the
// folder. False when the run ended before it got that far.
bool killWhileCopying(ChildRun& child, const QString& folder, qint64 bytes)
{
    while (child.running()) {
        if (copyOpenIn(child.pid(), folder).size > bytes) {
            child.kill();
            child.finish();
            return true;
        }
        QThread::usleep(200);
    }
    return false;
}

// A large camera file that is cheap to make: one random megabyte, each copy
// of it numbered, so that a copy out of place cannot compare equal.
QByteArray largeFile(int megabytes)
{
    const QByteArray block = randomBytes(1 << 20);
    QByteArray bytes;
    bytes.reserve(qsizetype(megabytes) << 20);
    for (int i = 0; i < megabytes; ++i) {
        QByteArray numbered = block;
        std::memcpy(numbered.data(), &i, sizeof i);
        bytes += numbered;
    }
    return bytes;
}

// A later run in the same window and folders empties the camera, whatever the
// dead run left behind; with eachFileOnce, no camera file was published twice.
void expectALaterRunToComplete(CopyRunFixture& f, bool eachFileOnce = true)
{
    f.setTicks(true, false);
    f.run();
    EXPECT_EQ(f.window().Message.Caption(), kDone);
    EXPECT_TRUE(f.cameraNames().isEmpty()) << qPrintable(f.cameraNames().join(QLatin1Char(' ')));
    for (const QString& name : entries(f.target()))
        EXPECT_FALSE(name.startsWith(QLatin1Char('.'))) << "left behind: " << qPrintable(name);
    // Each camera file once, nothing else: no empty or foreign file under a photo's name.
    if (eachFileOnce) {
        EXPECT_EQ(f.targetNames().size(), f.originals.size()) << qPrintable(f.targetNames().join(QLatin1Char(' ')));
    }
    f.expectNothingLost();
}

constexpr int kSmallSize = 8000;

// IMG_0001.JPG, or with a number IMG_0001-1.JPG.
QString numberedName(int n, int number)
{
    const QString stem = QStringLiteral("IMG_%1").arg(n, 4, 10, QLatin1Char('0'));
    return stem + (number ? QStringLiteral("-%1").arg(number) : QString()) + QStringLiteral(".JPG");
}

TEST(CopyRunProcesses, TwoRunsIntoOneFolderAtOnceKeepEveryFile)
{
    QTemporaryDir dir;
    const QString photos = dir.filePath(QStringLiteral("photos"));
    const QString target = joinPath(photos, kSubfolder);
    const QStringList cameras{dir.filePath(QStringLiteral("camera A")), dir.filePath(QStringLiteral("camera B"))};
    QList<QByteArray> shot;
    QList<QByteArray> shotOnA;
    QList<QByteArray> shotOnB;
    QStringList expectedNames;
    for (const QString& camera : cameras)
        QDir().mkpath(camera);
    QDir().mkpath(target);
    for (int n = 1; n <= 200; ++n) {
        expectedNames << numberedName(n, 0) << numberedName(n, 1);
        for (const QString& camera : cameras) {
            // Each size tells the file's number.
            shot << randomBytes(kSmallSize + n);
            writeFile(joinPath(camera, numberedName(n, 0)), shot.last());
            (camera == cameras[0] ? shotOnA : shotOnB) << shot.last();
        }
    }
    // Both empty their cameras: a copy overwritten would be a photo lost.
    std::vector<std::unique_ptr<ChildRun>> runs;
    for (const QString& camera : cameras)
        runs.push_back(std::make_unique<ChildRun>(ChildOptions{camera, photos, true, true, {}}, camera + " scratch"));
    for (const auto& run : runs) {
        ASSERT_TRUE(run->started());
        run->waitUntilReady();
    }
    // Left alone, the two drift apart and rarely meet on a name. So the first
    // is held between its search and its publish, the second is let go and
    // takes that name, and from there on both run at once.
    runs[0]->go();
    const qint64 heldSize = holdBeforeACopyIsNamed(*runs[0], target);
    ASSERT_GT(heldSize, 0) << "the first run ended before it was held";
    const int held = int(heldSize - kSmallSize);
    ASSERT_TRUE(held >= 1 && held <= 200) << heldSize;
    runs[1]->go();
    while (!QFileInfo::exists(joinPath(target, numberedName(held, 0))) && runs[1]->running())
        QThread::usleep(200);
    ::kill(pid_t(runs[0]->pid()), SIGCONT);
    for (const auto& run : runs)
        ASSERT_TRUE(run->finish()) << qPrintable(run->output());
    for (const auto& run : runs)
        EXPECT_EQ(run->message(), kDone) << qPrintable(run->output());

    QStringList arrivedNames = entries(target);
    arrivedNames.sort();
    expectedNames.sort();
    EXPECT_EQ(arrivedNames.join(QLatin1Char(' ')), expectedNames.join(QLatin1Char(' ')));
    QList<QByteArray> arrived;
    for (const QString& name : arrivedNames)
        arrived << readFile(joinPath(target, name));
    std::sort(arrived.begin(), arrived.end());
    std::sort(shot.begin(), shot.end());
    EXPECT_TRUE(arrived == shot) << "a copy was lost, overwritten or is partial";
    // The held file's name went to the second run; the first took the next number.
    EXPECT_EQ(readFile(joinPath(target, numberedName(held, 0))), shotOnB[held - 1]);
    EXPECT_EQ(readFile(joinPath(target, numberedName(held, 1))), shotOnA[held - 1]);
    for (const QString& camera : cameras)
        EXPECT_TRUE(entries(camera).isEmpty()) << qPrintable(camera);
}

// Small files before and after a large one; the run empties the camera.
void shootAroundALargeFile(CopyRunFixture& f, int megabytes)
{
    for (const char* name : {"A_0001.JPG", "A_0002.JPG", "A_0003.JPG"})
        f.cameraFile(name, 100000);
    f.cameraFile("B_0004.MOV", largeFile(megabytes));
    for (const char* name : {"C_0005.JPG", "C_0006.JPG"})
        f.cameraFile(name, 100000);
}

ChildOptions emptyingRun(const CopyRunFixture& f) { return {f.camera, f.photos, true, false, {}}; }

TEST(CopyRunProcesses, KilledInTheMiddleOfALargeFileLosesNothing)
{
    CopyRunFixture f;
    shootAroundALargeFile(f, 300);
    QDir().mkpath(f.target());
    {
        ChildRun child(emptyingRun(f), f.t.path(QStringLiteral("scratch")));
        ASSERT_TRUE(child.started());
        ASSERT_TRUE(killWhileCopying(child, f.target(), 1 << 20))
            << "the run ended first: " << qPrintable(child.output());
        EXPECT_TRUE(child.crashed());
    }
    EXPECT_TRUE(f.cameraNames().contains("B_0004.MOV"));
    EXPECT_FALSE(f.targetNames().contains("B_0004.MOV"));
    f.expectNothingLost();  // the unnamed copy went with the process
    expectALaterRunToComplete(f);
}

// Killed again and again at random moments, while copies are read ahead,
// flushed, published and their camera files deleted. A copy published just
// before a kill may be copied once more by the next run, but nothing is lost.
TEST(CopyRunProcesses, KilledAtRandomMomentsOfARunThatReadsAheadLosesNothing)
{
    CopyRunFixture f;
    for (int n = 1; n <= 40; ++n)
        f.cameraFile(numberedName(n, 0), 200000 + n);
    f.cameraFile("MVI_0041.MOV", largeFile(24));
    QDir().mkpath(f.target());
    QRandomGenerator random(20261208);
    for (int kill = 0; kill < 12 && !f.cameraNames().isEmpty(); ++kill) {
        SCOPED_TRACE(kill);
        ChildRun child(emptyingRun(f), f.t.path(QStringLiteral("scratch%1").arg(kill)));
        ASSERT_TRUE(child.started());
        QThread::msleep(random.bounded(100, 700));
        child.kill();
        child.finish();
        f.expectNothingLost(f.target(), kTempPrefix);
    }
    expectALaterRunToComplete(f, false);
}

// The photo disk as exFAT through FUSE, where a copy is a hidden named file and
// the free name is claimed before the copy is renamed onto it.
class ExfatRunTest : public OnExfat<::testing::Test, 160> {
protected:
    void SetUp() override
    {
        OnExfat::SetUp();
        if (IsSkipped())
            return;
        f.photos = disk.path();
        f.setFolders(f.camera, disk.path());
        ASSERT_TRUE(QDir().mkpath(f.target()));
    }
    CopyRunFixture f;
};

TEST_F(ExfatRunTest, NameClashesGetNumbersAndTheCameraIsEmptied)
{
    // exFAT does not tell capitals from small letters, which the camera's card may.
    f.cameraFile("IMG_0001.JPG", smallJpeg(Qt::red));
    f.cameraFile("IMG_0002.JPG", smallJpeg(Qt::green));
    f.cameraFile("img_0002.jpg", smallJpeg(Qt::blue));
    f.cameraFile("MVI_0003.MOV", 3 << 20);
    f.originals.insert("already there", randomBytes(5000));
    writeFile(joinPath(f.target(), "IMG_0001.JPG"), f.originals["already there"]);
    f.window().sDel.setValue(1);
    f.run();
    EXPECT_EQ(f.window().Message.Caption(), kDone);
    EXPECT_TRUE(f.cameraNames().isEmpty());
    EXPECT_EQ(entries(f.target()).join(QLatin1Char(' ')),
              "IMG_0001-1.JPG IMG_0001.JPG IMG_0002.JPG MVI_0003.MOV img_0002-1.jpg");
    EXPECT_EQ(f.targetBytes("IMG_0001.JPG"), f.originals["already there"]);
    EXPECT_EQ(f.targetBytes("IMG_0001-1.JPG"), f.originals["IMG_0001.JPG"]);
    EXPECT_EQ(f.targetBytes("img_0002-1.jpg"), f.originals["img_0002.jpg"]);
    f.expectNothingLost();
}

// The camera as a card that a FUSE daemon drives: read there in short steps,
// and every camera file deleted through a private name of its own.
TEST_F(ExfatRunTest, EmptiesACardThatFuseDrives)
{
    f.camera = disk.path() + QStringLiteral("/DCIM");
    f.photos = f.t.path(QStringLiteral("photos"));
    f.setFolders(f.camera, f.photos);
    ASSERT_TRUE(QDir().mkpath(f.camera) && QDir().mkpath(f.target()));
    f.cameraFile("IMG_0001.JPG", smallJpeg(Qt::red));
    f.cameraFile("MVI_0002.MOV", (3 << 20) + 12345);  // not a whole number of steps
    f.cameraFile("LEEG.THM", QByteArray());
    f.window().sDel.setValue(1);
    f.run();
    EXPECT_EQ(f.window().Message.Caption(), kDone);
    EXPECT_TRUE(f.cameraNames().isEmpty()) << qPrintable(f.cameraNames().join(QLatin1Char(' ')));
    EXPECT_EQ(f.targetNames().join(QLatin1Char(' ')), "IMG_0001.JPG LEEG.THM MVI_0002.MOV");
    f.expectNothingLost();
}

TEST_F(ExfatRunTest, KilledInTheMiddleOfALargeFileLeavesATemporaryFileThatTheNextRunClears)
{
    shootAroundALargeFile(f, 48);
    {
        ChildRun child(emptyingRun(f), f.t.path(QStringLiteral("scratch")));
        ASSERT_TRUE(child.started());
        ASSERT_TRUE(killWhileCopying(child, f.target(), 1 << 20))
            << "the run ended first: " << qPrintable(child.output());
        // The large file's, and those of the small files read ahead of it by then.
        const QStringList left = entries(f.target()).filter(kTempPrefix);
        ASSERT_FALSE(left.isEmpty()) << qPrintable(entries(f.target()).join(QLatin1Char(' ')));
        for (const QString& temp : left)
            EXPECT_TRUE(temp.startsWith(kTempPrefix + QString::number(child.pid()) + QLatin1Char('-')))
                << qPrintable(temp);
    }
    EXPECT_TRUE(f.cameraNames().contains("B_0004.MOV"));
    EXPECT_FALSE(f.targetNames().contains("B_0004.MOV"));
    f.expectNothingLost(f.target(), kTempPrefix);
    expectALaterRunToComplete(f);
}

struct ClaimKill {
    const char* name;
    const char* tracedName;  // in the target folder; empty: the folder itself
    const char* injection;
};

void PrintTo(const ClaimKill& kill, std::ostream* out) { *out << kill.name; }

// Killed while the second file's name is claimed: what it leaves is cleared
// by the next run, however far the claim had got.
const ClaimKill kClaimKills[] = {
    // The claim holds its text; the finished copy is not yet renamed onto it.
    {"BeforeTheRenameOntoTheClaim", "", "inject=renameat:error=EIO:signal=SIGKILL:when=4"},
    // The claim was created, but is still empty.
    {"BeforeTheClaimHoldsItsText", "A_0002.JPG", "inject=write:signal=SIGKILL:when=1"},
};

class ExfatClaimKillTest : public ExfatRunTest, public ::testing::WithParamInterface<ClaimKill> {};

INSTANTIATE_TEST_SUITE_P(Moments, ExfatClaimKillTest, ::testing::ValuesIn(kClaimKills),
                         [](const auto& instance) { return std::string(instance.param.name); });

TEST_P(ExfatClaimKillTest, LeavesNoFileUnderAPhotosNameForGood)
{
    if (!straceWorks())
        GTEST_SKIP() << "strace cannot trace here";
    for (const char* name : {"A_0001.JPG", "A_0002.JPG", "A_0003.JPG"})
        f.cameraFile(name, 100000);
    const QString traced = *GetParam().tracedName ? joinPath(f.target(), QLatin1String(GetParam().tracedName))
                                                  : f.target();
    ChildOptions options = emptyingRun(f);
    // exFAT on libfuse 3 renames without replacing; refused that, as on libfuse 2,
    // the run claims the name.
    options.strace = QStringList{QStringLiteral("-f"),
                                 QStringLiteral("-o"),
                                 f.t.path(QStringLiteral("trace")),
                                 QStringLiteral("-P"),
                                 traced,
                                 QStringLiteral("-P"),
                                 f.target(),
                                 QStringLiteral("-e"),
                                 QStringLiteral("inject=renameat2:error=EINVAL"),
                                 QStringLiteral("-e"),
                                 QLatin1String(GetParam().injection)};
    {
        ChildRun child(options, f.t.path(QStringLiteral("scratch")));
        ASSERT_TRUE(child.started());
        child.finish();
        ASSERT_TRUE(readFile(f.t.path(QStringLiteral("trace"))).contains("+++ killed by SIGKILL +++"));
    }
    EXPECT_EQ(f.cameraNames().join(QLatin1Char(' ')), "A_0002.JPG A_0003.JPG");
    EXPECT_TRUE(f.targetNames().contains("A_0002.JPG")) << "nothing was claimed";
    expectALaterRunToComplete(f);
}

// A temporary file that says which name it is about to claim, and since when.
QByteArray claimingTemp(CopyRunFixture& f, const char* unique, const char* target, qint64 since)
{
    const QByteArray temp = safecopy::claimingName(QByteArray(".zandrel-tmp-42-") + unique, target, since);
    writeFile(joinPath(f.target(), QString::fromLatin1(temp)), randomBytes(1000));
    return temp;
}

// Also by the second run of one window, which takes the name a dead run had
// claimed: another run may have died in the folder since the first.
TEST(CopyRunLeftovers, OnlyADeadRunsClaimIsCleared)
{
    CopyRunFixture f;
    f.setTicks(true, false);
    f.cameraFile("IMG_0001.JPG", 1000);
    QDir().mkpath(f.target());
    f.run();
    ASSERT_EQ(f.targetNames().join(QLatin1Char(' ')), "IMG_0001.JPG");
    f.cameraFile("IMG_0008.JPG", 2000);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const QByteArray dead = claimingTemp(f, "deadRun000000001", "IMG_0008.JPG", now);
    writeFile(joinPath(f.target(), "IMG_0008.JPG"), safecopy::claimText(dead));
    writeFile(joinPath(f.target(), "notes.txt"), safecopy::claimText(dead) + "and more");
    // An empty photo put under the name long after that run died.
    claimingTemp(f, "deadRun000000002", "IMG_0007.JPG", now - 3600);
    writeFile(joinPath(f.target(), "IMG_0007.JPG"), QByteArray());
    const QByteArray live = claimingTemp(f, "liveRun000000003", "IMG_0009.JPG", now);
    writeFile(joinPath(f.target(), "IMG_0009.JPG"), safecopy::claimText(live));
    const safecopy::Fd writer = holdAsWriter(joinPath(f.target(), QString::fromLatin1(live)));
    f.run();
    EXPECT_EQ(f.window().Message.Caption(), kDone);
    EXPECT_EQ(f.targetNames().join(QLatin1Char(' ')),
              QString::fromLatin1(live) + " IMG_0001.JPG IMG_0007.JPG IMG_0008.JPG IMG_0009.JPG notes.txt");
    EXPECT_EQ(f.targetBytes("IMG_0008.JPG"), f.originals["IMG_0008.JPG"]);
}

struct InjectedFault {
    const char* name;
    // strace's -P path below the run's folders: the calls on it alone count.
    const char* tracedPath;
    const char* injection;
};

void PrintTo(const InjectedFault& fault, std::ostream* out) { *out << fault.name; }

const InjectedFault kInjectedFaults[] = {
    // The third file's copy reaches its name, but its folder cannot be flushed.
    {"FsyncOfTheTargetFolder", "photos/2026 December", "inject=fsync:error=EIO:when=3"},
    // The second read of the third file, in the middle of its copy.
    {"ReadOfACameraFile", "camera/IMG_0003.JPG", "inject=read:error=EIO:when=2"},
};

class InjectedFaultTest : public ::testing::TestWithParam<InjectedFault> {};

INSTANTIATE_TEST_SUITE_P(Calls, InjectedFaultTest, ::testing::ValuesIn(kInjectedFaults),
                         [](const auto& instance) { return std::string(instance.param.name); });

TEST_P(InjectedFaultTest, StopsAtThatFileAndLosesNothing)
{
    if (!straceWorks())
        GTEST_SKIP() << "strace cannot trace here";
    CopyRunFixture f;
    for (const char* name : {"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG", "IMG_0004.JPG", "IMG_0005.JPG"})
        f.cameraFile(name, 3 << 20);
    QDir().mkpath(f.target());
    const QString trace = f.t.path(QStringLiteral("trace"));
    ChildOptions options = emptyingRun(f);
    options.strace = QStringList{QStringLiteral("-f"),
                                 QStringLiteral("-o"),
                                 trace,
                                 QStringLiteral("-P"),
                                 f.t.path(QLatin1String(GetParam().tracedPath)),
                                 QStringLiteral("-e"),
                                 QLatin1String(GetParam().injection)};
    ChildRun child(options, f.t.path(QStringLiteral("scratch")));
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(child.finish()) << qPrintable(child.output());

    EXPECT_TRUE(readFile(trace).contains("(INJECTED)")) << readFile(trace).constData();
    EXPECT_EQ(child.message(), "ERROR kopiëren van IMG_0003.JPG") << qPrintable(child.output());
    EXPECT_EQ(f.cameraNames().join(QLatin1Char(' ')), "IMG_0003.JPG IMG_0004.JPG IMG_0005.JPG");
    EXPECT_EQ(f.targetNames().join(QLatin1Char(' ')), "IMG_0001.JPG IMG_0002.JPG");
    f.expectNothingLost();
}

}  // namespace
}  // namespace zandrel::test
