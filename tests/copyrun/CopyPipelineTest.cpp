#include "copyrun/CopyPipeline.h"

#include "support/ForwardingFileSystem.h"

#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <stdexcept>

namespace zandrel::test {
namespace {

// Copies that are only bookkeeping, so that the pipeline's order, budget and
// stops can be seen without a disk: a source "64-3" is 64 megabytes, and any
// step may be made to fail.
class FakeCopies : public ForwardingFileSystem {
public:
    explicit FakeCopies(std::function<void(const QString& source, const char* step)> injected = {})
        : fault(std::move(injected))
    {
    }
    std::unique_ptr<StagedCopy> StageCopy(const QString& source, const QString&, CopyCheck,
                                          const CopyControl&) override;
    const std::function<void(const QString& source, const char* step)> fault;
    std::atomic<int> staged{0};
    std::atomic<int> live{0};
};

class FakeCopy : public StagedCopy {
public:
    FakeCopy(FakeCopies& copies, QString source) : copies_(copies), source_(std::move(source)) { ++copies_.live; }
    ~FakeCopy() override { --copies_.live; }
    qint64 size() const override { return qint64(source_.section(QLatin1Char('-'), 0, 0).toInt()) << 20; }
    void verify(const CopyControl&) override { step("verify"); }
    void publish(const QString&) override {}
    void flushName() override { step("flush"); }
    void deleteSource() override {}

private:
    void step(const char* name)
    {
        if (copies_.fault)
            copies_.fault(source_, name);
    }
    FakeCopies& copies_;
    QString source_;
};

std::unique_ptr<StagedCopy> FakeCopies::StageCopy(const QString& source, const QString&, CopyCheck, const CopyControl&)
{
    if (fault)
        fault(source, "stage");
    ++staged;
    return std::make_unique<FakeCopy>(*this, source);
}

struct PipelineFixture {
    // The fault is in place before the pipeline's threads start.
    explicit PipelineFixture(QStringList sources, std::function<void(const QString&, const char*)> fault = {})
        : copies(std::move(fault)),
          pipeline(copies, std::move(sources), QStringLiteral("target"), CopyCheck::VerifiedOnDisk, stop, [] {})
    {
    }
    // The reader has come to rest with `count` copies staged, and reads no further.
    void expectStagedAtRest(int count)
    {
        for (int i = 0; i < 500 && copies.staged < count; ++i)
            QThread::msleep(10);
        QThread::msleep(100);
        EXPECT_EQ(copies.staged, count);
    }
    void awaitReady(qsizetype index)
    {
        for (int i = 0; i < 500 && !pipeline.ready(index); ++i)
            QThread::msleep(10);
        ASSERT_TRUE(pipeline.ready(index));
    }

    FakeCopies copies;  // declared before the pipeline, which drops its copies on them
    std::atomic<bool> stop{false};
    CopyPipeline pipeline;
};

QStringList repeated(int times, const QString& size)
{
    QStringList sources;
    for (int n = 0; n < times; ++n)
        sources << size + QLatin1Char('-') + QString::number(n);
    return sources;
}

TEST(CopyPipeline, ReadsAheadUpToItsBudgetInBytesOrFilesButAlwaysOneFile)
{
    const int perBudget = int(CopyPipeline::kReadAheadBytes >> 20) / 64;
    PipelineFixture large(repeated(perBudget + 3, QStringLiteral("64")));
    large.expectStagedAtRest(perBudget);
    large.awaitReady(0);
    large.pipeline.take(0);
    large.expectStagedAtRest(perBudget + 1);

    PipelineFixture small(repeated(CopyPipeline::kReadAheadFiles + 5, QStringLiteral("0")));
    small.expectStagedAtRest(CopyPipeline::kReadAheadFiles);

    PipelineFixture huge({QStringLiteral("4096-0"), QStringLiteral("1-1")});
    huge.expectStagedAtRest(1);
    huge.awaitReady(0);
    EXPECT_EQ(huge.pipeline.take(0)->size(), qint64(4096) << 20);
    huge.expectStagedAtRest(2);
}

// A failed step is that file's failure, whatever it threw; nothing after a
// file that could not be read is read, and what was never taken is dropped.
TEST(CopyPipeline, AFailedFileIsReportedInOrderAndNothingIsLeftOver)
{
    for (const char* failing : {"stage", "verify"}) {
        SCOPED_TRACE(failing);
        PipelineFixture f(repeated(6, QStringLiteral("1")), [failing](const QString& source, const char* step) {
            if (QLatin1String(step) == QLatin1String(failing) && source == QLatin1String("1-2"))
                throw std::runtime_error("kapot");
        });
        for (qsizetype index : {0, 1}) {
            f.awaitReady(index);
            EXPECT_NE(f.pipeline.take(index), nullptr);
        }
        f.awaitReady(2);
        try {
            f.pipeline.take(2);
            ADD_FAILURE() << "a failed copy was handed over";
        } catch (const PlatformError& error) {
            EXPECT_EQ(error.text(), "Kan '1-2' niet kopiëren naar 'target': kapot");
        }
        if (QLatin1String(failing) == QLatin1String("stage"))
            f.expectStagedAtRest(2);
        f.stop = true;
    }
    // Each fixture's pipeline has ended and dropped its copies by now.
}

TEST(CopyPipeline, AStopEndsTheReadingButNotAFlushAlreadyAskedFor)
{
    std::atomic<bool> flushing{false};
    std::atomic<bool> flushed{false};
    PipelineFixture f(repeated(100, QStringLiteral("1")), [&](const QString&, const char* step) {
        if (QLatin1String(step) != QLatin1String("flush"))
            return;
        flushing = true;
        QThread::msleep(200);
        flushed = true;
    });
    f.awaitReady(0);
    const std::unique_ptr<StagedCopy> copy = f.pipeline.take(0);
    std::future<void> flush = f.pipeline.flushName(*copy);
    while (!flushing)
        QThread::msleep(1);
    f.stop = true;
    flush.get();
    EXPECT_TRUE(flushed);
    const int stagedAtStop = f.copies.staged;
    QThread::msleep(100);
    EXPECT_LE(f.copies.staged - stagedAtStop, 1);  // at most the file in hand
    EXPECT_LT(f.copies.staged, 100);
}

TEST(CopyPipeline, EndedEarlyItDropsEveryCopyNotTaken)
{
    FakeCopies copies;
    {
        std::atomic<bool> stop{false};
        CopyPipeline pipeline(copies, repeated(10, QStringLiteral("1")), QStringLiteral("target"), CopyCheck::Plain,
                              stop, [] {});
        while (copies.staged < 10)
            QThread::msleep(1);
    }
    EXPECT_EQ(copies.live, 0);
}

}  // namespace
}  // namespace zandrel::test
