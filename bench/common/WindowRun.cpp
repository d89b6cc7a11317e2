#include "WindowRun.h"

#include "BenchSupport.h"
#include "RunAccount.h"
#include "app/Zandrel.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>

#include <cstdio>
#include <memory>

namespace zandrel::bench {

namespace {

const QString kDone = QStringLiteral("Klaar met kopiëren");

class PrintedMessageBox : public MessageBox {
public:
    int Show(const QString& prompt, int, const QString&) override
    {
        std::fprintf(stderr, "message box: %s\n", qPrintable(prompt));
        return IDOK;
    }
};

class NoLauncher : public Launcher {
public:
    void Launch(const QString&, const QString&) override {}
};

void writeSettings(const Platform& platform, const QString& camera, const QString& photos)
{
    const auto registry = platform.registry->Connect();
    const QString key = QStringLiteral("SOFTWARE\\Zandrel");
    registry->CreateKey(HKEY_LOCAL_MACHINE, key);
    registry->SetStringValue(HKEY_LOCAL_MACHINE, key, QStringLiteral("cpath"), camera);
    registry->SetStringValue(HKEY_LOCAL_MACHINE, key, QStringLiteral("fpath"), photos);
    registry->SetStringValue(HKEY_LOCAL_MACHINE, key, QStringLiteral("sOpen"), QStringLiteral("0"));
}

// start_Click returns when the run is over; should the run ever finish on its own
// after the handler returns, the window's own word that it is done still counts.
// A status line that stops changing without saying so is a failed run.
void awaitDone(Zandrel& window)
{
    QString last = window.Message.Caption();
    QDeadlineTimer quiet(60'000);
    while (last != kDone) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        const QString now = window.Message.Caption();
        if (now != last) {
            last = now;
            quiet.setRemainingTime(60'000);
        } else if (quiet.hasExpired()) {
            die(QStringLiteral("the run ended with: ") + last);
        }
    }
}

}  // namespace

double windowRun(const QString& camera, const QString& photos, bool emptying, bool preview, RunAccount* account)
{
    Platform platform = Platform::System();
    if (account)
        account->watch(platform);
    platform.messageBox = std::make_shared<PrintedMessageBox>();
    platform.launcher = std::make_shared<NoLauncher>();
    writeSettings(platform, camera, photos);
    QDir().mkpath(photos);
    Zandrel window(platform);
    window.sFolder.setText(QStringLiteral("run"));
    window.sDel.setValue(emptying ? 1 : 0);
    window.sPreview.setValue(preview ? 1 : 0);
    window.show();
    // Start is pressed on a window that has long been on the screen and has
    // read its settings when it opened: its first painting (fonts, artwork)
    // and its first look into the hive (lock files, each flushed) are no part
    // of the run.
    QCoreApplication::processEvents();
    window.repaint();
    window.LoadSettings();
    if (account)
        account->press();
    return seconds([&] {
        window.start_Click();
        awaitDone(window);
    });
}

}  // namespace zandrel::bench
