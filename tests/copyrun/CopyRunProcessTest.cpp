// Whole copy runs in child processes, with faults made for real: two runs into
// one folder at once, a run killed in the middle of a large file, an exFAT photo
// disk through FUSE, and single system calls failed by strace. The child is this
// test program itself, running its disabled child test on folders named in its
// environment.
#include "copyrun/CopyRunSupport.h"
#include "platform/linux/SafeCopy.h"

#include <QCoreApplication>
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
#include <iostream>
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
    const auto registry = t.window->platform().registry->Connect();
    const QString key = QStringLiteral("SOFTWARE\\Zandrel");
    registry->CreateKey(HKEY_LOCAL_MACHINE, key);
    registry->SetStringValue(HKEY_LOCAL_MACHINE, key, QStringLiteral("cpath"), variable(kCameraVariable));
    registry->SetStringValue(HKEY_LOCAL_MACHINE, key, QStringLiteral("fpath"), variable(kPhotosVariable));
    registry->SetStringValue(HKEY_LOCAL_MACHINE, key, QStringLiteral("sOpen"), QStringLiteral("0"));
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
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(kCameraVariable, options.camera);
        environment.insert(kPhotosVariable, options.photos);
        environment.insert(kSubfolderVariable, kSubfolder);
        environment.insert(kEmptyingVariable, options.emptying ? QStringLiteral("1") : QStringLiteral("0"));
        if (options.waitForGo)
            environment.insert(kWaitVariable, QStringLiteral("1"));
        QDir().mkpath(scratch);
        environment.insert(QStringLiteral("TMPDIR"), scratch);
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        QStringList arguments{QStringLiteral("--gtest_also_run_disabled_tests"),
                              QStringLiteral("--gtest_filter=CopyRunChild.DISABLED_RunsOneCopyRun")};
        if (options.strace.isEmpty()) {
            process_.start(QCoreApplication::applicationFilePath(), arguments);
        } else {
            arguments.prepend(QCoreApplication::applicationFilePath());
            process_.start(QStringLiteral("strace"), options.strace + arguments);
        }
        started_ = process_.waitForStarted(-1);
        pid_ = process_.processId();
    }
    ~ChildRun()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(-1);
        }
    }

    bool started() const { return started_; }
    // Looks afresh: QProcess learns of the end only when asked.
    bool running() { return process_.state() != QProcess::NotRunning && !process_.waitForFinished(0); }
    qint64 pid() const { return pid_; }  // also once it has ended
    void waitUntilReady()
    {
        while (!output_.contains("READY\n") && process_.waitForReadyRead(-1))
            output_ += process_.readAll();
    }
    void go()
    {
        process_.write("\n");
        process_.waitForBytesWritten(-1);
    }
    void kill() { process_.kill(); }
    // False when the child had to be killed because it never ended.
    bool finish()
    {
        const bool ended = process_.state() == QProcess::NotRunning || process_.waitForFinished(kPatience);
        if (!ended) {
            kill();
            process_.waitForFinished(-1);
        }
        output_ += process_.readAll();
        return ended;
    }
    bool crashed() const { return process_.exitStatus() == QProcess::CrashExit; }
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
    QProcess process_;
    QByteArray output_;
    bool started_ = false;
    qint64 pid_ = 0;
};

// Every name in the folder, hidden ones included.
QStringList everyEntry(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()) << qPrintable(path);
}

struct OpenCopy {
    qint64 size = -1;     // -1: the process has no copy open in the folder
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

// The process's state letter: 'T' stopped, 'Z' ended; 0 once it is gone.
char processState(qint64 pid)
{
    const QByteArray stat = contents(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype afterName = stat.lastIndexOf(") ");
    return afterName > 0 && stat.size() > afterName + 2 ? stat.at(afterName + 2) : 0;
}

// Stops the process and returns once the stop has taken hold.
void stopProcess(qint64 pid)
{
    ::kill(pid_t(pid), SIGSTOP);
    for (char state = processState(pid); state != 'T' && state != 'Z' && state != 0; state = processState(pid))
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

bool isRoot() { return ::geteuid() == 0; }

bool straceWorks()
{
    static const bool works = QProcess::execute(QStringLiteral("strace"), {QStringLiteral("-o"),
                                                                           QStringLiteral("/dev/null"),
                                                                           QStringLiteral("true")}) == 0;
    return works;
}

// An exFAT image on a loop device, mounted through FUSE as photo disks usually
// are; unmounted and detached again whatever the test does.
class ExfatDisk {
public:
    explicit ExfatDisk(int megabytes)
    {
        if (!isRoot()) {
            problem = QStringLiteral("needs root for a loop device");
            return;
        }
        mounted_ = setUp(megabytes);
        if (!mounted_ && !device_.isEmpty())
            QProcess::execute(QStringLiteral("losetup"), {QStringLiteral("-d"), device_});
    }
    ~ExfatDisk()
    {
        if (!mounted_)
            return;
        if (QProcess::execute(QStringLiteral("umount"), {path()}) != 0)
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), path()});
        QProcess::execute(QStringLiteral("losetup"), {QStringLiteral("-d"), device_});
    }
    ExfatDisk(const ExfatDisk&) = delete;
    ExfatDisk& operator=(const ExfatDisk&) = delete;

    bool mounted() const { return mounted_; }
    QString path() const { return work_.filePath(QStringLiteral("disk")); }
    QString problem;

private:
    static QString run(const QString& program, const QStringList& arguments, int& exitCode)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        if (!process.waitForStarted(-1) || !process.waitForFinished(-1))
            return exitCode = -1, process.errorString();
        exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return QString::fromLocal8Bit(process.readAll());
    }
    bool step(const QString& program, const QStringList& arguments, QString* output = nullptr)
    {
        int exitCode = 0;
        const QString said = run(program, arguments, exitCode);
        if (output)
            *output = said.trimmed();
        if (exitCode != 0)
            problem = program + QStringLiteral(": ") + said;
        return exitCode == 0;
    }
    bool setUp(int megabytes)
    {
        const QString image = work_.filePath(QStringLiteral("disk.img"));
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(qint64(megabytes) << 20))
            return (problem = QStringLiteral("cannot make the image")), false;
        file.close();
        QDir().mkpath(path());
        return step(QStringLiteral("mkfs.exfat"), {QStringLiteral("-L"), QStringLiteral("FOTOS"), image})
               && step(QStringLiteral("losetup"), {QStringLiteral("-f"), QStringLiteral("--show"), image}, &device_)
               && step(QStringLiteral("mount.exfat-fuse"), {device_, path()})
               && (QStorageInfo(path()).rootPath() == path() || ((problem = QStringLiteral("not mounted")), false));
    }

    QTemporaryDir work_;
    QString device_;
    bool mounted_ = false;
};

// Camera files are kept on the camera or arrived complete; the only thing at
// the target that is not a camera file is a dead run's temporary file.
void expectNothingLostBesideTemporaryFiles(const CopyRunFixture& f)
{
    QList<QByteArray> arrived;
    for (const QString& name : everyEntry(f.target())) {
        if (name.startsWith(kTempPrefix))
            continue;
        arrived << contents(joinPath(f.target(), name));
        EXPECT_TRUE(std::find(f.originals.begin(), f.originals.end(), arrived.last()) != f.originals.end())
            << "partial file under a photo's name: " << qPrintable(name);
    }
    for (auto original = f.originals.begin(); original != f.originals.end(); ++original) {
        const bool kept = contents(joinPath(f.camera, original.key())) == original.value();
        EXPECT_TRUE(kept || arrived.contains(original.value())) << "lost: " << qPrintable(original.key());
    }
}

// A later run in the same window and folders empties the camera, whatever the
// dead run left behind.
void expectALaterRunToComplete(CopyRunFixture& f)
{
    f.window().sDel.setValue(1);
    f.window().sPreview.setValue(0);
    f.run();
    EXPECT_EQ(f.window().Message.Caption(), kDone);
    EXPECT_TRUE(f.cameraNames().isEmpty()) << qPrintable(f.cameraNames().join(QLatin1Char(' ')));
    for (const QString& name : everyEntry(f.target()))
        EXPECT_FALSE(name.startsWith(QLatin1Char('.'))) << "left behind: " << qPrintable(name);
    // Each camera file once, nothing else: no empty or foreign file under a photo's name.
    EXPECT_EQ(f.targetNames().size(), f.originals.size()) << qPrintable(f.targetNames().join(QLatin1Char(' ')));
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
            write(joinPath(camera, numberedName(n, 0)), shot.last());
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

    QStringList arrivedNames = everyEntry(target);
    arrivedNames.sort();
    expectedNames.sort();
    EXPECT_EQ(arrivedNames.join(QLatin1Char(' ')), expectedNames.join(QLatin1Char(' ')));
    QList<QByteArray> arrived;
    for (const QString& name : arrivedNames)
        arrived << contents(joinPath(target, name));
    std::sort(arrived.begin(), arrived.end());
    std::sort(shot.begin(), shot.end());
    EXPECT_TRUE(arrived == shot) << "a copy was lost, overwritten or is partial";
    // The held file's name went to the second run; the first took the next number.
    EXPECT_EQ(contents(joinPath(target, numberedName(held, 0))), shotOnB[held - 1]);
    EXPECT_EQ(contents(joinPath(target, numberedName(held, 1))), shotOnA[held - 1]);
    for (const QString& camera : cameras)
        EXPECT_TRUE(everyEntry(camera).isEmpty()) << qPrintable(camera);
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
        ASSERT_TRUE(killWhileCopying(child, f.target(), 1 << 20)) << "the run ended first: " << qPrintable(child.output());
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
        expectNothingLostBesideTemporaryFiles(f);
    }
    f.window().sDel.setValue(1);
    f.window().sPreview.setValue(0);
    f.run();
    EXPECT_EQ(f.window().Message.Caption(), kDone);
    EXPECT_TRUE(f.cameraNames().isEmpty());
    for (const QString& name : everyEntry(f.target()))
        EXPECT_FALSE(name.startsWith(QLatin1Char('.'))) << "left behind: " << qPrintable(name);
    f.expectNothingLost();
}

// The photo disk as exFAT through FUSE, where a copy is a hidden named file and
// the free name is claimed before the copy is renamed onto it.
class ExfatRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!disk.mounted())
            GTEST_SKIP() << qPrintable(disk.problem);
        f.photos = disk.path();
        f.setFolders(f.camera, disk.path());
        ASSERT_TRUE(QDir().mkpath(f.target()));
    }
    ExfatDisk disk{160};
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
    write(joinPath(f.target(), "IMG_0001.JPG"), f.originals["already there"]);
    f.window().sDel.setValue(1);
    f.run();
    EXPECT_EQ(f.window().Message.Caption(), kDone);
    EXPECT_TRUE(f.cameraNames().isEmpty());
    EXPECT_EQ(everyEntry(f.target()).join(QLatin1Char(' ')),
              "IMG_0001-1.JPG IMG_0001.JPG IMG_0002.JPG MVI_0003.MOV img_0002-1.jpg");
    EXPECT_EQ(f.targetBytes("IMG_0001.JPG"), f.originals["already there"]);
    EXPECT_EQ(f.targetBytes("IMG_0001-1.JPG"), f.originals["IMG_0001.JPG"]);
    EXPECT_EQ(f.targetBytes("img_0002-1.jpg"), f.originals["img_0002.jpg"]);
    f.expectNothingLost();
}

TEST_F(ExfatRunTest, KilledInTheMiddleOfALargeFileLeavesATemporaryFileThatTheNextRunClears)
{
    shootAroundALargeFile(f, 48);
    {
        ChildRun child(emptyingRun(f), f.t.path(QStringLiteral("scratch")));
        ASSERT_TRUE(child.started());
        ASSERT_TRUE(killWhileCopying(child, f.target(), 1 << 20)) << "the run ended first: " << qPrintable(child.output());
        const QStringList left = everyEntry(f.target()).filter(kTempPrefix);
        ASSERT_EQ(left.size(), 1) << qPrintable(everyEntry(f.target()).join(QLatin1Char(' ')));
        EXPECT_TRUE(left.first().startsWith(kTempPrefix + QString::number(child.pid()) + QLatin1Char('-')))
            << qPrintable(left.first());
    }
    EXPECT_TRUE(f.cameraNames().contains("B_0004.MOV"));
    EXPECT_FALSE(f.targetNames().contains("B_0004.MOV"));
    expectNothingLostBesideTemporaryFiles(f);
    expectALaterRunToComplete(f);
}

// Killed between claiming the free name and renaming the finished copy onto it.
TEST_F(ExfatRunTest, KilledBeforeTheRenameOntoItsClaimLeavesNoFileUnderAPhotosName)
{
    if (!straceWorks())
        GTEST_SKIP() << "strace cannot trace here";
    for (const char* name : {"A_0001.JPG", "A_0002.JPG", "A_0003.JPG"})
        f.cameraFile(name, 100000);
    ChildOptions options = emptyingRun(f);
    options.strace = QStringList{QStringLiteral("-f"), QStringLiteral("-o"), f.t.path(QStringLiteral("trace")),
                                 QStringLiteral("-P"), f.target(), QStringLiteral("-e"),
                                 QStringLiteral("inject=renameat:error=EIO:signal=SIGKILL:when=2")};
    {
        ChildRun child(options, f.t.path(QStringLiteral("scratch")));
        ASSERT_TRUE(child.started());
        child.finish();
        ASSERT_TRUE(contents(f.t.path(QStringLiteral("trace"))).contains("+++ killed by SIGKILL +++"));
    }
    EXPECT_EQ(f.cameraNames().join(QLatin1Char(' ')), "A_0002.JPG A_0003.JPG");
    expectALaterRunToComplete(f);
}

// The pid of a process that has ended.
qint64 deadPid()
{
    QProcess process;
    process.start(QStringLiteral("true"), QStringList());
    process.waitForStarted(-1);
    const qint64 pid = process.processId();
    process.waitForFinished(-1);
    return pid;
}

TEST(CopyRunLeftovers, OnlyADeadRunsClaimIsCleared)
{
    CopyRunFixture f;
    f.cameraFile("IMG_0001.JPG", 1000);
    QDir().mkpath(f.target());
    const qint64 dead = deadPid();
    write(joinPath(f.target(), kTempPrefix + QString::number(dead) + "-abcdef"), randomBytes(1000));
    write(joinPath(f.target(), "IMG_0008.JPG"), safecopy::claimText(pid_t(dead)));
    write(joinPath(f.target(), "IMG_0009.JPG"), safecopy::claimText(::getpid()));  // a live run's
    write(joinPath(f.target(), "notes.txt"), safecopy::claimText(pid_t(dead)) + "and more");
    f.run();
    EXPECT_EQ(f.window().Message.Caption(), kDone);
    EXPECT_EQ(f.targetNames().join(QLatin1Char(' ')), "IMG_0001.JPG IMG_0009.JPG notes.txt");
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
                         [](const auto& info) { return std::string(info.param.name); });

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
    options.strace = QStringList{QStringLiteral("-f"), QStringLiteral("-o"), trace, QStringLiteral("-P"),
                                 f.t.path(QLatin1String(GetParam().tracedPath)), QStringLiteral("-e"),
                                 QLatin1String(GetParam().injection)};
    ChildRun child(options, f.t.path(QStringLiteral("scratch")));
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(child.finish()) << qPrintable(child.output());

    EXPECT_TRUE(contents(trace).contains("(INJECTED)")) << contents(trace).constData();
    EXPECT_EQ(child.message(), "ERROR kopiëren van IMG_0003.JPG") << qPrintable(child.output());
    EXPECT_EQ(f.cameraNames().join(QLatin1Char(' ')), "IMG_0003.JPG IMG_0004.JPG IMG_0005.JPG");
    EXPECT_EQ(f.targetNames().join(QLatin1Char(' ')), "IMG_0001.JPG IMG_0002.JPG");
    f.expectNothingLost();
}

}  // namespace
}  // namespace zandrel::test
