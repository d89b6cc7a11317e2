#include "support/TestWindow.h"

#include "platform/portable/HiveRegistry.h"
#include "support/RealSystem.h"
#include "settings/SettingsKeys.h"

#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <gtest/gtest.h>

namespace zandrel::test {

TestWindow::TestWindow() : TestWindow(Platform::System().fileSystem) {}

TestWindow::TestWindow(std::shared_ptr<FileSystem> fs) : fileSystem(std::move(fs))
{
    Platform platform{fileSystem,
                      std::make_shared<HiveRegistryService>(hivePath()),
                      launcher,
                      messageBox,
                      Platform::System().pictures,
                      clock};
    window = std::make_unique<Zandrel>(std::move(platform));
}

QString TestWindow::makeFolder(const QString& relative) const
{
    const QString full = path(relative);
    QDir().mkpath(full);
    return full;
}

QString TestWindow::makeFile(const QString& relative, const QByteArray& bytes) const
{
    writeFile(path(relative), bytes);
    return path(relative);
}

std::unique_ptr<Zandrel> windowOn(TestWindow& t, std::shared_ptr<RegistryService> registry)
{
    return std::make_unique<Zandrel>(
        Platform{t.fileSystem, std::move(registry), t.launcher, t.messageBox, Platform::System().pictures, t.clock});
}

void storeFolders(TestWindow& t, const QString& camera, const QString& photos, std::optional<bool> openAfterwards)
{
    const auto registry = t.window->platform().registry->Connect();
    registry->CreateKey(HKEY_LOCAL_MACHINE, settings::Key);
    registry->SetStringValue(HKEY_LOCAL_MACHINE, settings::Key, settings::SourceValue, camera);
    registry->SetStringValue(HKEY_LOCAL_MACHINE, settings::Key, settings::DestinationValue, photos);
    if (openAfterwards)
        registry->SetStringValue(HKEY_LOCAL_MACHINE, settings::Key, settings::OpenAfterwardsValue,
                                 *openAfterwards ? QStringLiteral("1") : QStringLiteral("0"));
}

void userTypes(TextBox& box, const QString& text)
{
    auto* edit = static_cast<QLineEdit*>(box.widget());
    ASSERT_TRUE(edit->isEnabled());
    edit->selectAll();
    edit->insert(text);
}

void showSomePreview(Zandrel& window)
{
    QImage photo(40, 30, QImage::Format_RGB32);
    photo.fill(Qt::red);
    window.Image1.setPicture(photo);
}

}  // namespace zandrel::test
