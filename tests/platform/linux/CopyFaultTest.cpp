// Faults made for real in a child process that copies one file: single system
// calls failed by strace, another writer taking the name mid-copy, and the
// copying process killed mid-copy.
#include "support/CopyLikeTheRun.h"
#include "support/linux/LinuxSystem.h"

#include "platform/Platform.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>
#include <sys/syscall.h>

namespace zandrel::test {
namespace {

struct Traced {
    Finished run;
    QString trace;
};

class CopyFaultTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!straceWorks())
            GTEST_SKIP() << "strace cannot trace here";
        QDir().mkpath(camera());
        QDir().mkpath(photos());
    }
    QString camera() const { return dir.filePath(QStringLiteral("camera")); }
    virtual QString photos() const { return dir.filePath(QStringLiteral("foto's")); }
    QString target() const { return photos() + QStringLiteral("/IMG_0001.JPG"); }
    QString shoot(const QByteArray& bytes)
    {
        writeFile(source(), bytes);
        return source();
    }
    QString source() const { return camera() + QStringLiteral("/IMG_0001.JPG"); }

    // Runs the child under strace; %S in the options stands for the source,
    // %D for the photo folder. With a taker the child creates the target
    // itself when strace hands it SIGUSR1.
    Traced copyUnderStrace(QStringList options, CopyCheck check, bool taker = false)
    {
        const QString traceFile = dir.filePath(QStringLiteral("trace"));
        for (QString& option : options)
            option.replace(QStringLiteral("%S"), source()).replace(QStringLiteral("%D"), photos());
        QStringList arguments{QStringLiteral("-f"), QStringLiteral("-o"), traceFile};
        arguments << options << QStringLiteral(ZANDREL_COPY_CHILD) << source() << target()
                  << (check == CopyCheck::Plain ? QStringLiteral("plain") : QStringLiteral("verified"));
        if (taker)
            arguments << target();
        Traced traced{runToEnd(QStringLiteral("strace"), arguments), {}};
        traced.trace = QString::fromLocal8Bit(readFile(traceFile));
        return traced;
    }

    // Another writer takes the target's name while the camera file is read.
    void expectNameTakenLeftToItsOwner(CopyCheck check)
    {
        QFile::remove(target());
        shoot(randomBytes(2 << 20));
        const Traced traced = copyUnderStrace({QStringLiteral("-P"), QStringLiteral("%S"), QStringLiteral("-e"),
                                               QStringLiteral("inject=read:signal=SIGUSR1:when=1")},
                                              check, true);
        EXPECT_EQ(traced.run.exitCode, 2) << qPrintable(traced.run.output);
        EXPECT_EQ(readFile(target()), "someone else");
        EXPECT_EQ(entries(photos()), QStringList{QStringLiteral("IMG_0001.JPG")});
    }

    QTemporaryDir dir;
};

struct Fault {
    const char* name;
    CopyCheck check;
    QStringList options;
};

void PrintTo(const Fault& fault, std::ostream* out) { *out << fault.name; }

class FailingCallTest : public CopyFaultTest, public ::testing::WithParamInterface<Fault> {};

const Fault kFaults[] = {
    {"WriteOfTheCopy", CopyCheck::VerifiedOnDisk, {"-e", "inject=write:error=EIO:when=3"}},
    {"NoRoomForTheCopy", CopyCheck::VerifiedOnDisk, {"-e", "inject=write:error=ENOSPC:when=1"}},
    {"KernelCopy", CopyCheck::Plain, {"-e", "inject=copy_file_range:error=EIO:when=1"}},
    // The first fsync of the child is the copy's; with -P %D only the folder's counts.
    {"FsyncOfTheCopy", CopyCheck::VerifiedOnDisk, {"-e", "inject=fsync:error=EIO:when=1"}},
    // A kept camera file's copy too is on the disk before it takes the photo's name.
    {"FsyncOfTheCopyPlain", CopyCheck::Plain, {"-e", "inject=fsync:error=EIO:when=1"}},
    {"FsyncOfTheFolder", CopyCheck::VerifiedOnDisk, {"-P", "%D", "-e", "inject=fsync:error=EIO"}},
    {"ReadOfTheCamera", CopyCheck::VerifiedOnDisk, {"-P", "%S", "-e", "inject=read:error=EIO:when=2"}},
    {"ReadOfTheCameraPlain", CopyCheck::Plain, {"-P", "%S", "-e", "inject=read:error=EIO:when=1"}},
    {"TemporaryFile", CopyCheck::Plain, {"-P", "%D", "-e", "inject=openat:error=EACCES:when=2"}},
    // Unnamed files missing, then the rename over the claim failing: the claim goes again.
    {"RenameOverTheClaim",
     CopyCheck::VerifiedOnDisk,
     {"-P", "%D", "-e", "inject=openat:error=EOPNOTSUPP:when=2", "-e", "inject=renameat2:error=EINVAL", "-e",
      "inject=linkat:error=EPERM", "-e", "inject=renameat:error=EIO"}},
};

INSTANTIATE_TEST_SUITE_P(Calls, FailingCallTest, ::testing::ValuesIn(kFaults),
                         [](const auto& instance) { return std::string(instance.param.name); });

#ifdef __SANITIZE_ADDRESS__
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

TEST_P(FailingCallTest, FailsTheCopyAndLosesNothing)
{
    // The sanitizer runtime makes write calls of its own, so a write failure counted
    // over every write of the child would hit the runtime instead of the copy.
    if (kSanitized && GetParam().options.join(QLatin1Char(' ')).contains(QStringLiteral("inject=write")))
        GTEST_SKIP() << "write injection without a path is not exact under the sanitizers";
    const QByteArray bytes = randomBytes(5 << 20);
    shoot(bytes);
    const Traced traced = copyUnderStrace(GetParam().options, GetParam().check);
    EXPECT_TRUE(traced.trace.contains(QStringLiteral("(INJECTED)"))) << qPrintable(traced.trace);
    EXPECT_EQ(traced.run.exitCode, 1) << qPrintable(traced.run.output);
    // Named by the photo folder while the copy has no name yet, after that by its target.
    EXPECT_TRUE(traced.run.output.startsWith(QStringLiteral("Kan '%1' niet kopiëren naar '%2").arg(source(), photos())))
        << qPrintable(traced.run.output);
    EXPECT_TRUE(entries(photos()).isEmpty()) << qPrintable(entries(photos()).join(QLatin1Char(' ')));
    EXPECT_EQ(readFile(source()), bytes);
}

struct Fallback {
    const char* name;
    QStringList options;
    const char* publishedBy;  // the call that made the copy appear
};

void PrintTo(const Fallback& fallback, std::ostream* out) { *out << fallback.name; }

class PublishFallbackTest : public CopyFaultTest, public ::testing::WithParamInterface<Fallback> {};

// The O_TMPFILE open is the second open in the photo folder (the look for
// leftovers, the temporary file); the folder itself is opened beside its parent.
const Fallback kFallbacks[] = {
    {"RenameWithoutReplace", {"-e", "inject=openat:error=EOPNOTSUPP:when=2"}, "renameat2("},
    {"LinkThenUnlink",
     {"-e", "inject=openat:error=EOPNOTSUPP:when=2", "-e", "inject=renameat2:error=EINVAL"},
     "linkat("},
    {"RenameOverAClaim",
     {"-e", "inject=openat:error=EOPNOTSUPP:when=2", "-e", "inject=renameat2:error=EINVAL", "-e",
      "inject=linkat:error=EPERM"},
     "renameat("},
};

INSTANTIATE_TEST_SUITE_P(Publish, PublishFallbackTest, ::testing::ValuesIn(kFallbacks),
                         [](const auto& instance) { return std::string(instance.param.name); });

TEST_P(PublishFallbackTest, PublishesTheWholeCopyAndNothingElse)
{
    const QByteArray bytes = randomBytes(3 << 20);
    shoot(bytes);
    const Traced traced = copyUnderStrace(QStringList{QStringLiteral("-P"), QStringLiteral("%D")} + GetParam().options,
                                          CopyCheck::VerifiedOnDisk);
    EXPECT_EQ(traced.run.exitCode, 0) << qPrintable(traced.run.output);
    const QRegularExpression published(QRegularExpression::escape(QLatin1String(GetParam().publishedBy))
                                       + QStringLiteral(".*IMG_0001.JPG.*\\) = 0\n"));
    EXPECT_TRUE(traced.trace.contains(published)) << qPrintable(traced.trace);
    EXPECT_EQ(entries(photos()), QStringList{QStringLiteral("IMG_0001.JPG")});
    EXPECT_EQ(readFile(target()), bytes);
}

class NameTakenTest : public CopyFaultTest, public ::testing::WithParamInterface<CopyCheck> {};

INSTANTIATE_TEST_SUITE_P(BothChecks, NameTakenTest, ::testing::Values(CopyCheck::Plain, CopyCheck::VerifiedOnDisk),
                         checkName);

TEST_P(NameTakenTest, NameTakenDuringTheCopyIsLeftToItsOwner) { expectNameTakenLeftToItsOwner(GetParam()); }

TEST_F(CopyFaultTest, KilledMidCopyLeavesNothingBehind)
{
    shoot(randomBytes(32 << 20));
    // Counted on the camera file's reads, which the sanitizers' own writes cannot shift.
    const Traced traced = copyUnderStrace({QStringLiteral("-P"), QStringLiteral("%S"), QStringLiteral("-e"),
                                           QStringLiteral("inject=read:signal=SIGKILL:when=10")},
                                          CopyCheck::VerifiedOnDisk);
    ASSERT_TRUE(traced.trace.contains(QStringLiteral("+++ killed by SIGKILL +++"))) << qPrintable(traced.trace);
    EXPECT_TRUE(entries(photos()).isEmpty());
}

// Whether one of the process's threads has entered one of the given system
// calls and waits there (strace holds it at the call's entry).
bool inSystemCall(qint64 pid, const std::vector<long>& calls)
{
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& thread : entries(tasks, QDir::Dirs)) {
        const QByteArray state = readFile(tasks + QLatin1Char('/') + thread + QStringLiteral("/syscall"));
        bool number = false;
        const long call = state.left(state.indexOf(' ')).toLong(&number);
        if (number && std::find(calls.begin(), calls.end(), call) != calls.end())
            return true;
    }
    return false;
}

// The process strace started.
qint64 tracedChild(qint64 stracePid)
{
    const QByteArray children = readFile(QStringLiteral("/proc/%1/task/%1/children").arg(stracePid));
    return children.trimmed().split(' ').first().toLongLong();
}

const std::vector<long> kUnlinkCalls{
    SYS_unlinkat,
#ifdef SYS_unlink
    SYS_unlink,
#endif
};

// The camera file changes at the last moment: while its deletion waits at
// the unlink, another file is renamed over its name, or its name is appended
// to. Only the file that was checked may go; what came under its name stays.
TEST_F(CopyFaultTest, OnlyTheCheckedCameraFileGoesWhateverComesUnderItsNameLast)
{
    enum Change { RenamedOver, AppendedTo };
    for (const Change change : {RenamedOver, AppendedTo}) {
        SCOPED_TRACE(change);
        const QByteArray bytes = randomBytes(1 << 20);
        shoot(bytes);
        QFile::remove(target());
        const QString other = dir.filePath(QStringLiteral("other.jpg"));
        writeFile(other, "someone else's photo");
        const std::unique_ptr<QProcess> strace =
            startProcess(QStringLiteral("strace"),
                         {QStringLiteral("-f"), QStringLiteral("-o"), dir.filePath(QStringLiteral("trace")),
                          QStringLiteral("-P"), camera(), QStringLiteral("-P"), source(), QStringLiteral("-e"),
                          QStringLiteral("inject=unlink,unlinkat:delay_enter=400000"),
                          QStringLiteral(ZANDREL_COPY_CHILD), source(), target(), QStringLiteral("move")});
        ASSERT_TRUE(strace->waitForStarted(-1));
        QElapsedTimer waited;
        waited.start();
        qint64 child = 0;
        while (strace->state() == QProcess::Running && waited.elapsed() < 20000
               && !inSystemCall(child = tracedChild(strace->processId()), kUnlinkCalls))
            QThread::usleep(200);
        ASSERT_TRUE(child > 0 && inSystemCall(child, kUnlinkCalls))
            << "never came to the unlink: " << strace->readAll().constData();
        if (change == RenamedOver) {
            ASSERT_EQ(::rename(QFile::encodeName(other).constData(), QFile::encodeName(source()).constData()), 0);
        } else {
            QFile appended(source());
            ASSERT_TRUE(appended.open(QIODevice::Append) && appended.write("more") == 4);
        }
        ASSERT_TRUE(strace->waitForFinished(-1));
        EXPECT_EQ(strace->exitCode(), 0) << strace->readAll().constData();
        EXPECT_EQ(readFile(target()), bytes);
        EXPECT_EQ(entries(camera()), QStringList{QStringLiteral("IMG_0001.JPG")});
        EXPECT_TRUE(readFile(source()) == "someone else's photo" || readFile(source()).endsWith("more"))
            << "what came under the camera file's name was deleted";
    }
}

// The same faults on exFAT through FUSE, where the copy is a named hidden
// file and the name is claimed before the copy takes it.
class ExfatFaultTest : public OnExfat<CopyFaultTest> {
protected:
    QString photos() const override { return disk.path() + QStringLiteral("/2026 december"); }
};

TEST_F(ExfatFaultTest, NameTakenDuringTheCopyIsLeftToItsOwner)
{
    for (const CopyCheck check : {CopyCheck::Plain, CopyCheck::VerifiedOnDisk})
        expectNameTakenLeftToItsOwner(check);
}

TEST_F(ExfatFaultTest, KilledMidCopyLeavesOnlyATemporaryFileThatTheNextCopyClears)
{
    const QByteArray bytes = randomBytes(24 << 20);
    shoot(bytes);
    // Counted on the camera file's reads, which the sanitizers' own writes cannot shift.
    const Traced traced = copyUnderStrace({QStringLiteral("-P"), QStringLiteral("%S"), QStringLiteral("-e"),
                                           QStringLiteral("inject=read:signal=SIGKILL:when=10")},
                                          CopyCheck::VerifiedOnDisk);
    ASSERT_TRUE(traced.trace.contains(QStringLiteral("+++ killed by SIGKILL +++"))) << qPrintable(traced.trace);
    const QString pid = traced.trace.section(QLatin1Char(' '), 0, 0);
    const QStringList left = entries(photos());
    ASSERT_EQ(left.size(), 1);
    EXPECT_TRUE(left.first().startsWith(QStringLiteral(".zandrel-tmp-%1-").arg(pid))) << qPrintable(left.first());
    EXPECT_GT(QFileInfo(photos() + QLatin1Char('/') + left.first()).size(), 0);

    copyLikeTheRun(*Platform::System().fileSystem, source(), photos(), QStringLiteral("IMG_0001.JPG"),
                   CopyCheck::VerifiedOnDisk);
    EXPECT_EQ(entries(photos()), QStringList{QStringLiteral("IMG_0001.JPG")});
    EXPECT_EQ(readFile(target()), bytes);
}

}  // namespace
}  // namespace zandrel::test
