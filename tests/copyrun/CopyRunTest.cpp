#include "copyrun/CopyRunSupport.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>

namespace zandrel::test {
namespace {

const QString kDone = QStringLiteral("Klaar met kopiëren");

QStringList percentagesOfRun(int files)
{
    CopyRunFixture f;
    f.window().sPreview.setValue(0);
    for (int i = 0; i < files; ++i)
        f.cameraFile(QStringLiteral("file%1.dat").arg(i, 3, 10, QLatin1Char('0')), 10);
    ShownTexts procent(f.window().procent);
    f.run();
    EXPECT_EQ(f.window().Message.Caption(), kDone);
    EXPECT_EQ(f.targetNames().size(), files);
    QStringList shown = procent.from(QStringLiteral("0"));
    shown.removeAll(QString());  // the check at the end clears the figure
    return shown;
}

TEST(CopyRunProgress, PercentageStepsWithEachFile)
{
    EXPECT_EQ(percentagesOfRun(4), QStringList({"0", "25%", "50%", "75%", "100%"}));
    EXPECT_EQ(percentagesOfRun(3), QStringList({"0", "33%", "66%", "100%"}));
    const QStringList ninetySeven = percentagesOfRun(97);
    EXPECT_EQ(ninetySeven.size(), 98);
    EXPECT_EQ(ninetySeven.last(), "99%");
    EXPECT_FALSE(ninetySeven.contains("100%"));
}

TEST(CopyRunProgress, EndsGreenWithTheCheckRedoneAndTheFolderOpened)
{
    CopyRunFixture f;
    f.setOpenAfterwards(true);
    f.cameraFile("IMG_0001.JPG", smallJpeg(Qt::red));
    f.cameraFile("IMG_0002.JPG", smallJpeg(Qt::green));
    f.window().sDel.setValue(0);
    f.run();
    EXPECT_EQ(f.window().Message.Caption(), kDone);
    EXPECT_EQ(f.window().Stoplicht.BackColor(), Green);
    EXPECT_EQ(f.window().procent.Caption(), "");  // the check at the end clears it
    EXPECT_TRUE(f.window().Image1.Picture().isNull());
    EXPECT_TRUE(f.window().start.Enabled());  // camera kept: ready for another run
    for (Control* c : {static_cast<Control*>(&f.window().Refresh1), static_cast<Control*>(&f.window().sDel),
                       static_cast<Control*>(&f.window().sAutodatum), static_cast<Control*>(&f.window().sSet)})
        EXPECT_TRUE(c->Enabled());
    EXPECT_EQ(f.cameraNames(), QStringList({"IMG_0001.JPG", "IMG_0002.JPG"}));
    EXPECT_EQ(f.targetBytes("IMG_0002.JPG"), f.originals["IMG_0002.JPG"]);
    ASSERT_EQ(f.t.launcher->launches.size(), 1u);
    EXPECT_EQ(f.t.launcher->launches[0].argument, joinPath(f.photos, "2026 December"));
}

TEST(CopyRunNames, TakenNamesGetTheNextNumberAndMessageShowsTheCameraName)
{
    CopyRunFixture f;
    f.window().sPreview.setValue(0);
    QDir().mkpath(f.target());
    const QByteArray older = "an older photo";
    const QStringList takenNames = {"IMG_0001.JPG", "IMG_0001-1.JPG", "foto.jpeg", "abcd", "ab"};
    for (const QString& taken : takenNames)
        f.t.makeFile("photos/2026 December/" + taken, older);
    f.cameraFile("IMG_0001.JPG", 100);
    f.cameraFile("abcd", 100);
    f.cameraFile("foto.jpeg", 100);
    f.cameraFile("ab", 100);  // too short for a stem: counts as all extension
    ShownTexts message(f.window().Message);
    f.run();
    EXPECT_EQ(f.window().Message.Caption(), kDone);
    EXPECT_EQ(f.targetBytes("IMG_0001-2.JPG"), f.originals["IMG_0001.JPG"]);
    EXPECT_EQ(f.targetBytes("foto.-1jpeg"), f.originals["foto.jpeg"]);
    EXPECT_EQ(f.targetBytes("-1abcd"), f.originals["abcd"]);
    EXPECT_EQ(f.targetBytes("-1ab"), f.originals["ab"]);
    for (const QString& taken : takenNames)
        EXPECT_EQ(f.targetBytes(taken), older) << taken.toStdString();
    EXPECT_TRUE(message.texts.contains("IMG_0001.JPG"));
    EXPECT_FALSE(message.texts.contains("IMG_0001-2.JPG"));
}

TEST(CopyRunNames, EveryNumberTakenStopsWithoutOverwriting)
{
    CopyRunFixture f;
    f.window().sDel.setValue(1);
    QDir().mkpath(f.target());
    f.t.makeFile("photos/2026 December/P.JPG", "");
    for (int i = 1; i <= 10000; ++i)
        f.t.makeFile(QStringLiteral("photos/2026 December/P-%1.JPG").arg(i), "");
    f.cameraFile("P.JPG", 100);
    f.cameraFile("Q.JPG", 100);
    f.run();
    EXPECT_EQ(f.window().Message.Caption(), "ERROR kopiëren van P.JPG");
    EXPECT_EQ(f.cameraNames(), QStringList({"P.JPG", "Q.JPG"}));
    EXPECT_TRUE(f.targetBytes("P-10000.JPG").isEmpty());
    EXPECT_FALSE(QFile::exists(joinPath(f.target(), "Q.JPG")));
}

TEST(CopyRunNames, ANameTakenByAnotherWriterDuringTheCopyGetsTheNextNumber)
{
    auto fs = std::make_shared<HookedFileSystem>();
    CopyRunFixture f(fs);
    f.window().sDel.setValue(1);
    f.cameraFile("IMG_0005.JPG", 5000);
    int rivals = 0;
    fs->beforeCopy = [&](const QString&, const QString& target) {
        if (rivals++ == 0) {
            QFile rival(target);
            ASSERT_TRUE(rival.open(QIODevice::NewOnly));
            rival.write("the other run's photo");
        }
    };
    f.run();
    EXPECT_EQ(f.window().Message.Caption(), kDone);
    EXPECT_EQ(f.targetBytes("IMG_0005.JPG"), "the other run's photo");
    EXPECT_EQ(f.targetBytes("IMG_0005-1.JPG"), f.originals["IMG_0005.JPG"]);
    EXPECT_TRUE(f.cameraNames().isEmpty());
}

TEST(CopyRunFolders, EmptySubfolderCopiesIntoThePhotoFolderThroughADoubledSeparator)
{
    auto fs = std::make_shared<HookedFileSystem>();
    CopyRunFixture f(fs);
    f.setOpenAfterwards(true);
    f.setSubfolder("");
    f.cameraFile("a.avi", 300);
    QStringList targets;
    fs->beforeCopy = [&](const QString&, const QString& target) { targets << target; };
    f.run();
    EXPECT_EQ(targets, QStringList({f.photos + kPathSeparator + kPathSeparator + "a.avi"}));
    EXPECT_EQ(QDir(f.photos).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList({"a.avi"}));
    ASSERT_EQ(f.t.launcher->launches.size(), 1u);
    EXPECT_EQ(f.t.launcher->launches[0].argument, f.photos + kPathSeparator);
}

TEST(CopyRunFolders, CameraMissingAtTheClickCopiesNothingAndEndsGreen)
{
    CopyRunFixture f;
    f.setOpenAfterwards(true);
    f.setFolders(f.camera + "-gone", f.photos);
    f.run();
    EXPECT_EQ(f.window().Message.Caption(), kDone);
    EXPECT_EQ(f.window().Stoplicht.BackColor(), Green);
    EXPECT_FALSE(f.window().start.Enabled());
    EXPECT_FALSE(QFileInfo::exists(f.target()));
    ASSERT_EQ(f.t.launcher->launches.size(), 1u);
}

TEST(CopyRunFolders, ATargetFolderThatCannotBeMadeStopsBeforeAnyCopy)
{
    CopyRunFixture f;
    f.setOpenAfterwards(true);
    f.setFolders(f.camera, f.photos + "/unplugged disk");
    f.cameraFile("a.dat", 100);
    f.run();
    EXPECT_EQ(f.window().Message.Caption(), "ERROR kopiëren van a.dat");
    EXPECT_EQ(f.cameraNames(), QStringList({"a.dat"}));
    EXPECT_TRUE(f.window().sSet.Enabled());
    EXPECT_TRUE(f.t.launcher->launches.empty());
}

TEST(CopyRunEmptying, CountsDownFromTheCameraAndChecksEachCopyOnDisk)
{
    auto fs = std::make_shared<HookedFileSystem>();
    CopyRunFixture f(fs);
    f.setTicks(true, false);
    for (const char* name : {"1.dat", "2.dat", "3.dat", "4.dat"})
        f.cameraFile(name, 1000000);
    ShownTexts count(f.window().sAantal);
    ShownTexts megabytes(f.window().sMB);
    f.run();
    EXPECT_EQ(count.from("4"), QStringList({"4", "3", "2", "1", "0"}));
    EXPECT_EQ(megabytes.from("4"), QStringList({"4", "3", "2", "1", "0"}));
    EXPECT_EQ(fs->checks(), std::vector<CopyCheck>(4, CopyCheck::VerifiedOnDisk));
    EXPECT_EQ(f.window().Message.Caption(), kDone);
    EXPECT_EQ(f.window().Stoplicht.BackColor(), Green);
    EXPECT_FALSE(f.window().start.Enabled());  // the check at the end found the camera empty
    EXPECT_TRUE(f.cameraNames().isEmpty());
    f.expectNothingLost();
}

TEST(CopyRunEmptying, CameraKeptGetsThePlainCopy)
{
    auto fs = std::make_shared<HookedFileSystem>();
    CopyRunFixture f(fs);
    f.window().sDel.setValue(0);
    f.cameraFile("1.dat", 100);
    f.run();
    EXPECT_EQ(fs->checks(), std::vector<CopyCheck>{CopyCheck::Plain});
    EXPECT_EQ(f.cameraNames(), QStringList({"1.dat"}));
}

TEST(CopyRunEmptying, ACopyThatDoesNotArriveStopsTheRunAndKeepsItsCameraFile)
{
    auto fs = std::make_shared<HookedFileSystem>();
    CopyRunFixture f(fs);
    f.setTicks(true, false);
    f.cameraFile("a.dat", 100);
    f.cameraFile("b.dat", 100);
    f.cameraFile("c.dat", 100);
    fs->loses = [](const QString& source) { return source.endsWith("b.dat"); };
    f.run();
    EXPECT_EQ(f.window().Message.Caption(), "ERROR kopiëren van b.dat");
    EXPECT_EQ(f.window().procent.Caption(), "33%");
    EXPECT_EQ(f.cameraNames(), QStringList({"b.dat", "c.dat"}));
    EXPECT_EQ(f.targetNames(), QStringList({"a.dat"}));
    EXPECT_FALSE(f.window().start.Enabled());
    EXPECT_TRUE(f.window().Refresh1.Enabled());
    EXPECT_TRUE(f.window().sSet.Enabled());
    EXPECT_TRUE(f.t.launcher->launches.empty());
    f.window().Refresh1.click();
    EXPECT_TRUE(f.window().start.Enabled());
}

// Records the paths the preview was asked for, and loads them for real.
class RecordingLoader : public PictureLoader {
public:
    QImage LoadPicture(const QString& path, QSize boxSize) override
    {
        paths << path;
        return real->LoadPicture(path, boxSize);
    }
    std::shared_ptr<PictureLoader> real = Platform::System().pictures;
    QStringList paths;
};

class ShownPictures : public QObject {
public:
    explicit ShownPictures(const Image& image) : image_(image) { image.widget()->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            const bool shows = !image_.Picture().isNull();
            if (states.empty() || states.back() != shows)
                states.push_back(shows);
        }
        return false;
    }
    std::vector<bool> states;

private:
    Image image_;
};

struct PreviewFixture : CopyRunFixture {
    PreviewFixture()
    {
        Platform platform = t.window->platform();
        platform.pictures = loader;
        t.window = std::make_unique<Zandrel>(platform);
        setSubfolder("2026 December");
        t.window->sDel.setValue(0);
        t.window->show();
    }
    std::shared_ptr<RecordingLoader> loader = std::make_shared<RecordingLoader>();
};

TEST(CopyRunPreview, ShowsTheCopyOfJpgFilesAndClearsForOthers)
{
    PreviewFixture f;
    QDir().mkpath(f.target());
    f.t.makeFile("photos/2026 December/a.JPG", smallJpeg(Qt::blue));
    f.cameraFile("a.JPG", smallJpeg(Qt::red));
    f.cameraFile("b.avi", 100);
    f.cameraFile("c.Jpg", smallJpeg(Qt::green));
    f.cameraFile("d.thm", smallJpeg(Qt::green));
    f.cameraFile("e.jpg", smallJpeg(Qt::green));
    f.cameraFile("f.jpeg", smallJpeg(Qt::green));
    ShownPictures shown(f.window().Image1);
    f.run();
    EXPECT_EQ(
        f.loader->paths,
        QStringList({joinPath(f.target(), "a-1.JPG"), joinPath(f.target(), "c.Jpg"), joinPath(f.target(), "e.jpg")}));
    EXPECT_EQ(shown.states, std::vector<bool>({false, true, false, true, false, true, false}));
}

TEST(CopyRunPreview, AnUndecodableJpegClearsThePreviewAndTheRunGoesOn)
{
    PreviewFixture f;
    f.cameraFile("a.JPG", smallJpeg(Qt::red));
    f.cameraFile("b.JPG", "not a picture at all");
    f.cameraFile("c.JPG", smallJpeg(Qt::green));
    ShownPictures shown(f.window().Image1);
    f.run();
    EXPECT_EQ(f.window().Message.Caption(), kDone);
    EXPECT_EQ(f.targetNames(), QStringList({"a.JPG", "b.JPG", "c.JPG"}));
    EXPECT_EQ(shown.states, std::vector<bool>({false, true, false, true, false}));
}

TEST(CopyRunPreview, UntickedLeavesThePictureAlone)
{
    PreviewFixture f;
    f.cameraFile("a.JPG", smallJpeg(Qt::red));
    f.cameraFile("b.JPG", smallJpeg(Qt::red));
    f.window().sPreview.setValue(0);
    QImage earlier(8, 8, QImage::Format_RGB32);
    earlier.fill(Qt::blue);
    f.window().Image1.setPicture(earlier);
    std::vector<QSize> shownInEachPass;
    QTimer eachPass;
    eachPass.setInterval(0);
    QObject::connect(&eachPass, &QTimer::timeout,
                     [&] { shownInEachPass.push_back(f.window().Image1.Picture().size()); });
    eachPass.start();
    f.run();
    eachPass.stop();
    // A pass for each file at least; timers may run while a copy is awaited too (Windows).
    EXPECT_GE(shownInEachPass.size(), 2u);
    EXPECT_EQ(shownInEachPass, std::vector<QSize>(shownInEachPass.size(), QSize(8, 8)));
    EXPECT_TRUE(f.loader->paths.isEmpty());
}

// Waits on the copy's thread until flag is raised, or gives up after a few seconds.
void waitFor(const std::atomic<bool>& flag)
{
    for (int i = 0; i < 500 && !flag; ++i)
        QThread::msleep(10);
}

struct OverlapFixture : CopyRunFixture {
    explicit OverlapFixture(std::shared_ptr<HookedFileSystem> hooked) : CopyRunFixture(hooked), fs(std::move(hooked))
    {
        setTicks(true, false);
        for (int n = 1; n <= 6; ++n)
            cameraFile(QStringLiteral("%1.dat").arg(n), 100000);
    }
    qsizetype step(const QString& step, int n) const
    {
        return fs->steps().indexOf(QStringLiteral("%1 %2.dat").arg(step).arg(n));
    }
    std::shared_ptr<HookedFileSystem> fs;
};

TEST(CopyRunOverlap, TheCardReadsAheadWhileEachCameraFileGoesOnlyAfterItsOwnCopyIsChecked)
{
    OverlapFixture f(std::make_shared<HookedFileSystem>());
    // The first copy's check waits until the card streams the third file.
    std::atomic<bool> thirdStaged{false};
    f.fs->whileStaging = [&](const QString& source) {
        thirdStaged = thirdStaged || source.endsWith(kPathSeparator + QStringLiteral("3.dat"));
    };
    f.fs->whileVerifying = [&](const QString& source) {
        if (source.endsWith(kPathSeparator + QStringLiteral("1.dat")))
            waitFor(thirdStaged);
    };
    f.run();
    EXPECT_EQ(f.window().Message.Caption(), kDone);
    EXPECT_TRUE(f.cameraNames().isEmpty());
    EXPECT_EQ(f.targetNames().size(), 6);
    EXPECT_LT(f.step("stage", 3), f.step("verify", 1)) << qPrintable(f.fs->steps().join(", "));
    for (int n = 1; n <= 6; ++n) {
        SCOPED_TRACE(n);
        EXPECT_LT(f.step("verify", n), f.step("publish", n));
        EXPECT_LT(f.step("publish", n), f.step("flush", n));
        EXPECT_LT(f.step("flush", n), f.step("delete", n));
        if (n < 6) {
            EXPECT_LT(f.step("delete", n), f.step("publish", n + 1));
        }
    }
    EXPECT_EQ(f.fs->liveCopies(), 0);
    f.expectNothingLost();
}

TEST(CopyRunOverlap, AFailureStopsAtItsFileAndWhatWasReadAheadLeavesNothing)
{
    OverlapFixture f(std::make_shared<HookedFileSystem>());
    std::atomic<bool> sixthStaged{false};
    f.fs->whileStaging = [&](const QString& source) {
        sixthStaged = sixthStaged || source.endsWith(kPathSeparator + QStringLiteral("6.dat"));
    };
    f.fs->whileVerifying = [&](const QString& source) {
        if (!source.endsWith(kPathSeparator + QStringLiteral("3.dat")))
            return;
        waitFor(sixthStaged);
        throw PlatformError(QStringLiteral("de schijf weigert"));
    };
    f.run();
    EXPECT_EQ(f.window().Message.Caption(), "ERROR kopiëren van 3.dat");
    // The reason is there for whoever looks closer.
    EXPECT_EQ(f.window().Message.widget()->toolTip(), "de schijf weigert");
    EXPECT_EQ(f.window().Message.widget()->accessibleDescription(), "de schijf weigert");
    EXPECT_EQ(f.window().procent.Caption(), "33%");
    EXPECT_EQ(f.cameraNames(), QStringList({"3.dat", "4.dat", "5.dat", "6.dat"}));
    EXPECT_EQ(f.targetNames(), QStringList({"1.dat", "2.dat"}));
    EXPECT_EQ(f.step("publish", 4), -1);
    EXPECT_EQ(f.fs->liveCopies(), 0);
    f.expectNothingLost();
    // ... and only as long as the line tells of that failure.
    f.window().Refresh1_Click();
    EXPECT_TRUE(f.window().Message.widget()->toolTip().isEmpty());
    EXPECT_TRUE(f.window().Message.widget()->accessibleDescription().isEmpty());
}

// A click posted to the window while the copy's thread is busy with a file.
void clickOn(QWidget* widget)
{
    const QPointF at(6, widget->height() / 2);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(widget,
                                    new QMouseEvent(type, at, widget->mapToGlobal(at), Qt::LeftButton,
                                                    type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                                    Qt::NoModifier));
}

TEST(CopyRunEvents, AClickDuringALongCopyWaitsForTheFilesEventPassWhileTheWindowKeepsAnswering)
{
    auto fs = std::make_shared<HookedFileSystem>();
    CopyRunFixture f(fs);
    f.setTicks(false, true);
    f.cameraFile("1.dat", 100);
    f.cameraFile("2.dat", 100);
    std::atomic<bool> copying{false};
    bool answeredWhileCopying = false;
    QObject context;
    fs->whileStaging = [&](const QString& source) {
        if (!source.endsWith(kPathSeparator + QStringLiteral("1.dat")))
            return;
        copying = true;
        clickOn(f.window().sPreview.widget());
        // What the desktop asks meanwhile is answered at once.
        QMetaObject::invokeMethod(
            &context, [&] { answeredWhileCopying = copying; }, Qt::QueuedConnection);
        QThread::msleep(300);
        copying = false;
    };
    QStringList stepsAtTheClick;
    bool clickedWhileCopying = true;
    QObject::connect(static_cast<QCheckBox*>(f.window().sPreview.widget()), &QCheckBox::toggled, [&] {
        clickedWhileCopying = copying;
        stepsAtTheClick = fs->steps();
    });
    f.run();
    EXPECT_EQ(f.window().Message.Caption(), kDone);
    EXPECT_TRUE(answeredWhileCopying);
    EXPECT_EQ(f.window().sPreview.Value(), 0);  // the click was not lost
    EXPECT_FALSE(clickedWhileCopying);
    EXPECT_TRUE(stepsAtTheClick.contains("publish 1.dat")) << qPrintable(stepsAtTheClick.join(", "));
    EXPECT_FALSE(stepsAtTheClick.contains("publish 2.dat"));
}

}  // namespace
}  // namespace zandrel::test
