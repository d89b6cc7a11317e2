// Times the readiness check on a camera folder of 10,000 files and, in the same
// run, `find | wc -l` and `du -sb` on that folder: the work a user would do by hand.

#include "app/Zandrel.h"
#include "common/BenchSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kFiles = 10000;
constexpr int kRounds = 15;

qint64 makeCamera(const QString& camera)
{
    QDir().mkpath(camera);
    qint64 bytes = 0;
    for (int i = 0; i < kFiles; ++i) {
        QFile file(camera + QStringLiteral("/IMG_%1.JPG").arg(i, 5, 10, QLatin1Char('0')));
        const QByteArray data(1000 + i % 3000, 'x');
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
            qFatal("cannot write %s", qPrintable(file.fileName()));
        bytes += data.size();
    }
    return bytes;
}

// Median milliseconds of a few rounds, after one round to warm the caches.
double medianMs(const std::function<void()>& work)
{
    work();
    std::vector<double> times;
    for (int round = 0; round < kRounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    return zandrel::bench::spread(times).median;
}

QString shell(const QString& command)
{
    QProcess process;
    process.start(QStringLiteral("sh"), {QStringLiteral("-c"), command});
    process.waitForFinished(-1);
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
    QApplication app(argc, argv);

    const QString camera = dir.filePath(QStringLiteral("DCIM"));
    const QString photos = dir.filePath(QStringLiteral("Fotos"));
    const qint64 bytes = makeCamera(camera);
    QDir().mkpath(photos);

    zandrel::Zandrel window(zandrel::Platform::System());
    {
        const auto registry = window.platform().registry->Connect();
        const QString key = QStringLiteral("SOFTWARE\\Zandrel");
        registry->CreateKey(zandrel::HKEY_LOCAL_MACHINE, key);
        registry->SetStringValue(zandrel::HKEY_LOCAL_MACHINE, key, QStringLiteral("cpath"), camera);
        registry->SetStringValue(zandrel::HKEY_LOCAL_MACHINE, key, QStringLiteral("fpath"), photos);
        registry->SetStringValue(zandrel::HKEY_LOCAL_MACHINE, key, QStringLiteral("sOpen"), QStringLiteral("1"));
    }

    const double check = medianMs([&] { window.Refresh1_Click(); });
    std::printf("check says: \"%s\", %s files, %s MB (expected %d files, %lld MB)\n",
                qPrintable(window.Message.Caption()), qPrintable(window.sAantal.Caption()),
                qPrintable(window.sMB.Caption()), kFiles, bytes / 1000000);

    const auto fileSystem = zandrel::Platform::System().fileSystem;
    const double measure = medianMs([&] {
        const auto folder = fileSystem->GetFolder(camera);
        folder->Count();
        folder->Size();
    });
    const double settings = medianMs([&] { window.LoadSettings(); });

    QString count, usage;
    const double find =
        medianMs([&] { count = shell(QStringLiteral("find '%1' -maxdepth 1 -type f | wc -l").arg(camera)); });
    const double du = medianMs([&] { usage = shell(QStringLiteral("du -sb '%1'").arg(camera)); });
    std::printf("find | wc -l says %s, du -sb says %s (du counts the folder's own entries too)\n", qPrintable(count),
                qPrintable(usage.section(QLatin1Char('\t'), 0, 0)));

    std::printf("\nmedian of %d warm rounds, %d files:\n", kRounds, kFiles);
    std::printf("  Refresh1_Click (whole check)       %8.2f ms\n", check);
    std::printf("    of which Count + Size             %8.2f ms\n", measure);
    std::printf("    of which LoadSettings (hive)      %8.2f ms\n", settings);
    std::printf("  find -maxdepth 1 -type f | wc -l   %8.2f ms\n", find);
    std::printf("  du -sb                             %8.2f ms\n", du);
    std::printf("  check / (find + du)                %8.2f\n", check / (find + du));
    return 0;
}
