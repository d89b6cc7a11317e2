#include "copyrun/CopyPipeline.h"

namespace zandrel {

namespace {

// The window is woken this often while it waits for a large file.
constexpr qint64 kProgressStep = qint64(16) << 20;

}  // namespace

CopyPipeline::CopyPipeline(FileSystem& fileSystem, QStringList sources, QString targetFolder, CopyCheck check,
                           const std::atomic<bool>& stop, std::function<void()> wake)
    : fileSystem_(fileSystem), sources_(std::move(sources)), targetFolder_(std::move(targetFolder)), check_(check),
      stop_(stop), wake_(std::move(wake)), items_(size_t(sources_.size()))
{
    try {
        threads_.emplace_back([this] { read(); });
        for (int i = 0; i < kVerifiers; ++i)
            threads_.emplace_back([this] { verify(); });
        threads_.emplace_back([this] { flush(); });
    } catch (...) {
        stopThreads();  // no destructor runs for a half-made pipeline
        throw;
    }
}

CopyPipeline::~CopyPipeline() { stopThreads(); }

void CopyPipeline::stopThreads()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    room_.notify_all();
    work_.notify_all();
    flushWork_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

bool CopyPipeline::ready(qsizetype index) const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return items_[size_t(index)].ready;
}

float CopyPipeline::shareDone(qsizetype index) const
{
    const Item& item = items_[size_t(index)];
    const qint64 total = item.total.load(std::memory_order_relaxed);
    return total > 0 ? float(double(item.done.load(std::memory_order_relaxed)) / double(total)) : 0.0f;
}

std::unique_ptr<StagedCopy> CopyPipeline::take(qsizetype index)
{
    std::unique_lock<std::mutex> lock(mutex_);
    Item& item = items_[size_t(index)];
    if (item.failed)
        throw PlatformError(item.failure);
    std::unique_ptr<StagedCopy> copy = std::move(item.copy);
    --ahead_;
    aheadBytes_ -= copy->size();
    lock.unlock();
    room_.notify_one();
    return copy;
}

bool CopyPipeline::over() const { return closing_ || stop_.load(std::memory_order_relaxed); }

// At least one file is always under way, however large.
bool CopyPipeline::roomAhead() const
{
    return ahead_ == 0 || (ahead_ < kReadAheadFiles && aheadBytes_ < kReadAheadBytes);
}

// Whatever a step throws ends as that file's failure, never the program's.
template <typename Step>
std::optional<QString> CopyPipeline::failureOf(qsizetype index, Step step) const
{
    const auto unexpected = [&](const QString& reason) {
        return copyFailureText(sources_[index], targetFolder_, reason);
    };
    try {
        step();
        return std::nullopt;
    } catch (const PlatformError& error) {
        return error.text();
    } catch (const std::exception& error) {
        return unexpected(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        return unexpected(QStringLiteral("onbekende fout"));
    }
}

void CopyPipeline::read()
{
    for (qsizetype index = 0; index < sources_.size(); ++index) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            room_.wait(lock, [this] { return over() || roomAhead(); });
            if (over())
                break;
        }
        const std::optional<QString> failure = failureOf(index, [&] { stage(index); });
        if (failure) {
            // The window stops at this file, so nothing after it is read.
            finish(index, &*failure);
            break;
        }
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        readingDone_ = true;
    }
    work_.notify_all();
}

void CopyPipeline::stage(qsizetype index)
{
    Item& item = items_[size_t(index)];
    CopyControl control{&stop_, [this, &item](qint64 done, qint64 total) { reportProgress(item, done, total); }};
    std::unique_ptr<StagedCopy> copy = fileSystem_.StageCopy(sources_[index], targetFolder_, check_, control);
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        ++ahead_;
        aheadBytes_ += copy->size();
        item.copy = std::move(copy);
        toVerify_.push_back(index);
    }
    work_.notify_one();
}

void CopyPipeline::verify()
{
    for (;;) {
        qsizetype index = 0;
        StagedCopy* copy = nullptr;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            work_.wait(lock, [this] { return over() || !toVerify_.empty() || readingDone_; });
            if (over() || toVerify_.empty())
                return;
            index = toVerify_.front();
            toVerify_.pop_front();
            copy = items_[size_t(index)].copy.get();  // stays there until the item is ready
        }
        const std::optional<QString> failure = failureOf(index, [&] { copy->verify(CopyControl{&stop_, {}}); });
        finish(index, failure ? &*failure : nullptr);
    }
}

std::future<void> CopyPipeline::flushName(StagedCopy& copy)
{
    std::packaged_task<void()> task([&copy] { copy.flushName(); });
    std::future<void> flushed = task.get_future();
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        toFlush_.push_back(std::move(task));
    }
    flushWork_.notify_one();
    return flushed;
}

// Not ended by a stop: a name asked for is flushed, whatever comes after it.
void CopyPipeline::flush()
{
    for (;;) {
        std::packaged_task<void()> task;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            flushWork_.wait(lock, [this] { return closing_ || !toFlush_.empty(); });
            if (toFlush_.empty())
                return;
            task = std::move(toFlush_.front());
            toFlush_.pop_front();
        }
        task();  // a failure goes to the one who waits for it
        wake_();
    }
}

void CopyPipeline::finish(qsizetype index, const QString* failure)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        Item& item = items_[size_t(index)];
        if (failure) {
            item.failed = true;
            item.failure = *failure;
        }
        item.ready = true;
    }
    wake_();
}

void CopyPipeline::reportProgress(Item& item, qint64 done, qint64 total)
{
    const qint64 before = item.done.exchange(done, std::memory_order_relaxed);
    item.total.store(total, std::memory_order_relaxed);
    if (done / kProgressStep != before / kProgressStep)
        wake_();
}

}  // namespace zandrel
