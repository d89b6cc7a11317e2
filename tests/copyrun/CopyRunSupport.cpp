#include "copyrun/CopyRunSupport.h"

#include "settings/SettingsKeys.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <gtest/gtest.h>

namespace zandrel::test {

class HookedCopy : public StagedCopy {
public:
    HookedCopy(HookedFileSystem& fs, QString source, std::unique_ptr<StagedCopy> real)
        : fs_(fs), source_(std::move(source)), real_(std::move(real))
    {
        ++fs_.live_;
    }
    ~HookedCopy() override { --fs_.live_; }
    qint64 size() const override { return real_->size(); }
    void verify(const CopyControl& control) override
    {
        if (fs_.whileVerifying)
            fs_.whileVerifying(source_);
        real_->verify(control);
        fs_.log(QStringLiteral("verify"), source_);
    }
    void publish(const QString& target) override
    {
        if (fs_.beforeCopy)
            fs_.beforeCopy(source_, target);
        if (fs_.loses && fs_.loses(source_))
            return;
        real_->publish(target);
        fs_.log(QStringLiteral("publish"), source_);
    }
    void flushName() override
    {
        real_->flushName();
        fs_.log(QStringLiteral("flush"), source_);
    }
    void deleteSource() override
    {
        real_->deleteSource();
        fs_.log(QStringLiteral("delete"), source_);
    }

private:
    HookedFileSystem& fs_;
    QString source_;
    std::unique_ptr<StagedCopy> real_;
};

std::unique_ptr<StagedCopy> HookedFileSystem::StageCopy(const QString& source, const QString& targetFolder,
                                                        CopyCheck check, const CopyControl& control)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        checks_.push_back(check);
    }
    log(QStringLiteral("stage"), source);
    if (whileStaging)
        whileStaging(source);
    CopyControl hooked = control;
    hooked.progress = [this, source, &control](qint64 done, qint64 total) {
        if (whileReading)
            whileReading(source, done);
        if (control.progress)
            control.progress(done, total);
    };
    auto staged = real().StageCopy(source, targetFolder, check, hooked);
    return std::make_unique<HookedCopy>(*this, source, std::move(staged));
}

void HookedFileSystem::log(const QString& step, const QString& path)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    steps_ << step + QLatin1Char(' ') + QFileInfo(path).fileName();
}

QStringList HookedFileSystem::steps() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return steps_;
}

std::vector<CopyCheck> HookedFileSystem::checks() const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return checks_;
}

CopyRunFixture::CopyRunFixture(std::shared_ptr<FileSystem> fileSystem) : t(std::move(fileSystem))
{
    camera = t.makeFolder(QStringLiteral("camera"));
    photos = t.makeFolder(QStringLiteral("photos"));
    storeFolders(t, camera, photos, false);
    setSubfolder(QStringLiteral("2026 December"));
    t.window->show();
}

void CopyRunFixture::setFolders(const QString& cameraFolder, const QString& photoFolder)
{
    storeFolders(t, cameraFolder, photoFolder);
}

void CopyRunFixture::setOpenAfterwards(bool open)
{
    t.window->platform().registry->Connect()->SetStringValue(HKEY_LOCAL_MACHINE, settings::Key,
                                                             settings::OpenAfterwardsValue,
                                                             open ? QStringLiteral("1") : QStringLiteral("0"));
}

QString CopyRunFixture::cameraFile(const QString& name, const QByteArray& bytes)
{
    originals.insert(name, bytes);
    const QString path = joinPath(camera, name);
    writeFile(path, bytes);
    return path;
}

QString CopyRunFixture::cameraFile(const QString& name, qsizetype size) { return cameraFile(name, randomBytes(size)); }

QStringList CopyRunFixture::cameraNames() const { return entries(camera, QDir::Files); }

QStringList CopyRunFixture::targetNames() const { return entries(target(), QDir::Files); }

QByteArray CopyRunFixture::targetBytes(const QString& name) const { return readFile(joinPath(target(), name)); }

void CopyRunFixture::expectNothingLost(const QString& targetFolder, const QString& leftovers) const
{
    QList<QByteArray> arrived;
    for (const QString& name : entries(targetFolder, QDir::Files)) {
        if (!leftovers.isEmpty() && name.startsWith(leftovers))
            continue;
        arrived << readFile(joinPath(targetFolder, name));
        EXPECT_TRUE(std::find(originals.begin(), originals.end(), arrived.last()) != originals.end())
            << "partial or foreign file at the target: " << name.toStdString();
    }
    for (auto original = originals.begin(); original != originals.end(); ++original) {
        const QString onCamera = joinPath(camera, original.key());
        const bool kept = QFile::exists(onCamera) && readFile(onCamera) == original.value();
        EXPECT_TRUE(kept || arrived.contains(original.value())) << "lost: " << original.key().toStdString();
    }
}

QByteArray smallJpeg(QColor colour, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return bytes;
}

}  // namespace zandrel::test
