#pragma once

#include "app/Zandrel.h"
#include "support/Fakes.h"

#include <QTemporaryDir>
#include <memory>
#include <optional>

namespace zandrel::test {

// A window on the real file system and a real hive file in a fresh temporary
// folder, with fakes for the person and the desktop.
struct TestWindow {
    TestWindow();
    explicit TestWindow(std::shared_ptr<FileSystem> fileSystem);

    QString path(const QString& relative) const { return dir.filePath(relative); }
    QString hivePath() const { return dir.filePath(QStringLiteral("config/zandrel/registry.reg")); }
    // A folder below the temporary folder, created with its parents.
    QString makeFolder(const QString& relative) const;
    // A file below the temporary folder with the given bytes.
    QString makeFile(const QString& relative, const QByteArray& bytes) const;

    QTemporaryDir dir;
    std::shared_ptr<FileSystem> fileSystem;
    std::shared_ptr<FakeLauncher> launcher = std::make_shared<FakeLauncher>();
    std::shared_ptr<FakeMessageBox> messageBox = std::make_shared<FakeMessageBox>();
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::unique_ptr<Zandrel> window;
};

// A window with the test's fakes and the given settings store.
std::unique_ptr<Zandrel> windowOn(TestWindow& t, std::shared_ptr<RegistryService> registry);

// Stores the two folders in the window's settings store the way a saved edit
// leaves them, so the window's own settings load puts them into the boxes; and,
// when given, whether the photo folder is opened after a run.
void storeFolders(TestWindow& t, const QString& camera, const QString& photos,
                  std::optional<bool> openAfterwards = std::nullopt);

// Puts a plain picture in the preview, as a copied photo leaves it.
void showSomePreview(Zandrel& window);

// Replaces the box's text as a user's typing does; the box must be unlocked.
void userTypes(TextBox& box, const QString& text);

}  // namespace zandrel::test
