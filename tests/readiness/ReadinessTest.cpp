#include "ReadinessSupport.h"

#include "settings/SettingsKeys.h"

#include <QSignalBlocker>

namespace zandrel::test {
namespace {

// What a check left untouched still shows this look, set before it ran.
const PhotoFolderLook kEarlier{false, Yellow, Green};

enum class Says { NotConnected, Same, Missing, NoRoom, Empty, Ready };

struct Row {
    const char* name;
    bool cameraThere, photosThere, room, files, sameText;
    Says says;
    bool photosLookedAt;  // else Fotoboek and the colours of Fpath keep kEarlier
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

// Every combination the check tells apart, with the camera holding 2,400,000
// bytes in two files when it holds any.
const Row kDecisions[] = {
    {"NoCamera", false, true, true, true, false, Says::NotConnected, false},
    {"NoCameraSameText", false, false, true, true, true, Says::Same, false},
    {"NoPhotoFolder", true, false, true, true, false, Says::Missing, true},
    {"NoPhotoFolderEmptyCamera", true, false, true, false, false, Says::Missing, true},
    {"NoRoom", true, true, false, true, false, Says::NoRoom, true},
    {"NoRoomEmptyCamera", true, true, false, false, false, Says::NoRoom, true},
    {"NoRoomSameFolder", true, true, false, true, true, Says::Same, true},
    {"EmptyCamera", true, true, true, false, false, Says::Empty, true},
    {"EmptyCameraSameFolder", true, true, true, false, true, Says::Same, true},
    {"SameFolder", true, true, true, true, true, Says::Same, true},
    {"Ready", true, true, true, true, false, Says::Ready, true},
};

class Decision : public ReadinessCheck, public ::testing::WithParamInterface<Row> {};

TEST_P(Decision, MessageLampStartAndPhotoFolder)
{
    const Row& row = GetParam();
    if (row.cameraThere && row.files)
        cameraWith({{"IMG_0001.JPG", 1200000}, {"IMG_0002.JPG", 1200000}});
    else if (row.cameraThere)
        cameraWith({});
    const QString fpath = row.sameText ? camera : row.photosThere ? photos : t.path(QStringLiteral("Weg"));
    const bool counted = row.cameraThere && row.files;
    if (!row.room)  // just short of the shown size plus ten
        fs->freespace = ((counted ? 2 : 0) + 10) * kFreeMegabyte - 1;
    w.Fotoboek.setEnabled(kEarlier.fotoboek);
    w.Fpath.setForeColor(kEarlier.fore);
    w.Fpath.setBackColor(kEarlier.back);
    w.Message.setForeColor(Red);
    w.procent.setCaption(QStringLiteral("50 %"));
    w.ProgressBar.setValue(50);

    const Outcome outcome = check(camera, fpath);

    const char* count = counted ? "2" : "0";
    const char* megabytes = counted ? "2" : "0";
    switch (row.says) {
    case Says::NotConnected:
        EXPECT_EQ(outcome, blocked(kNotConnectedText));
        break;
    case Says::Same:
        EXPECT_EQ(outcome, blocked(kSameText, count, megabytes));
        break;
    case Says::Missing:
        EXPECT_EQ(outcome, blocked(missingText(fpath), count, megabytes));
        break;
    case Says::NoRoom:
        EXPECT_EQ(outcome, blocked(noRoomText(fs->driveLetterOf(fpath)), count, megabytes));
        break;
    case Says::Empty:
        EXPECT_EQ(outcome, empty());
        break;
    case Says::Ready:
        EXPECT_EQ(outcome, ready(count, megabytes));
        break;
    }
    const bool photosFound = row.photosLookedAt && (row.photosThere || row.sameText);
    EXPECT_EQ(photoFolderLookOf(w), row.photosLookedAt ? (photosFound ? kFound : kMissing) : kEarlier);
    EXPECT_EQ(w.Message.ForeColor(), photosFound ? Black : Red) << "black only once the photo folder is found";
    EXPECT_EQ(w.procent.Caption(), QString());
    EXPECT_EQ(w.ProgressBar.Value(), 0.0f);
}

INSTANTIATE_TEST_SUITE_P(Readiness, Decision, ::testing::ValuesIn(kDecisions),
                         [](const auto& instance) { return std::string(instance.param.name); });

using Readiness = ReadinessCheck;

TEST_F(Readiness, ShownMegabytesAreMillionsOfBytesRoundedDown)
{
    cameraWith({{"A.JPG", 999999}});
    EXPECT_EQ(check(camera, photos), ready("1", "0"));
    t.makeFile(QStringLiteral("DCIM/A.JPG"), QByteArray(1250000, 'x'));
    t.makeFile(QStringLiteral("DCIM/B.JPG"), QByteArray(1250000, 'x'));
    EXPECT_EQ(check(), ready("2", "2"));
    QFile::remove(t.path(QStringLiteral("DCIM/B.JPG")));
    t.makeFile(QStringLiteral("DCIM/A.JPG"), QByteArray(1048575, 'x'));
    EXPECT_EQ(check(), ready("1", "1")) << "decimal megabytes, not 1,048,576 bytes";
}

TEST_F(Readiness, CountIsFilesDirectlyInTheCameraSizeIsEverythingBelowIt)
{
    cameraWith({{"100CANON/IMG_0001.JPG", 1500000}, {"101CANON/deep/IMG_0002.JPG", 700000}});
    EXPECT_EQ(check(camera, photos), empty("2"));
    t.makeFile(QStringLiteral("DCIM/.hidden"), QByteArray(1, 'x'));
    t.makeFile(QStringLiteral("DCIM/IMG_0003.JPG"), QByteArray(1, 'x'));
    EXPECT_EQ(check(), ready("2", "2"));
}

TEST_F(Readiness, TextsThatOnlyLookAlikeAreDifferentFolders)
{
    cameraWith({{"IMG_0001.JPG", 10}});
    EXPECT_EQ(check(camera, camera + QLatin1Char('/')), ready("1", "0")) << "trailing separator";
    t.makeFolder(QStringLiteral("dcim"));
    EXPECT_EQ(check(camera, t.path(QStringLiteral("dcim"))), ready("1", "0")) << "letter case";
    EXPECT_EQ(check(camera, camera), blocked(kSameText, "1", "0"));
}

TEST_F(Readiness, BothBoxesUnknownAreTheSame)
{
    EXPECT_EQ(check(QString(), QString()), blocked(kSameText));
    EXPECT_EQ(w.Cpath.Text(), QStringLiteral("Unknown"));
    EXPECT_EQ(w.Fpath.Text(), QStringLiteral("Unknown"));
}

TEST_F(Readiness, MissingPhotoFolderStaysWhiteOnRedUntilACheckFindsIt)
{
    cameraWith({{"IMG_0001.JPG", 10}});
    const QString later = t.path(QStringLiteral("Later"));
    EXPECT_EQ(check(camera, later), blocked(missingText(later), "1", "0"));
    EXPECT_EQ(photoFolderLookOf(w), kMissing);
    QDir(camera).removeRecursively();
    EXPECT_EQ(check(), blocked(kNotConnectedText));
    EXPECT_EQ(photoFolderLookOf(w), kMissing) << "the camera check alone does not clear it";
    cameraWith({{"IMG_0001.JPG", 10}});
    t.makeFolder(QStringLiteral("Later"));
    EXPECT_EQ(check(), ready("1", "0"));
    EXPECT_EQ(photoFolderLookOf(w), kFound);
}

TEST_F(Readiness, CameraUnpluggedAfterAGoodCheckKeepsThePhotoFolderLook)
{
    cameraWith({{"IMG_0001.JPG", 10}});
    EXPECT_EQ(check(camera, photos), ready("1", "0"));
    QDir(camera).removeRecursively();
    EXPECT_EQ(check(), blocked(kNotConnectedText));
    EXPECT_EQ(photoFolderLookOf(w), kFound);
}

// First start with the earlier edition's key while sSet is ticked: the take-over
// unticks sSet, whose handler runs a whole check inside the settings load.
class NestedCheck : public ReadinessCheck {
protected:
    void takeOverFrom(const QString& source, const QString& dest)
    {
        const auto registry = t.window->platform().registry->Connect();
        const QString older = QStringLiteral("SOFTWARE\\Vostrik");
        registry->CreateKey(HKEY_LOCAL_MACHINE, older);
        registry->SetStringValue(HKEY_LOCAL_MACHINE, older, QStringLiteral("source"), source);
        registry->SetStringValue(HKEY_LOCAL_MACHINE, older, QStringLiteral("dest"), dest);
        const QSignalBlocker quiet(w.sSet.widget());
        w.sSet.setValue(1);
    }

    void expectSettingsTakenOver(const QString& source, const QString& dest)
    {
        const auto registry = t.window->platform().registry->Connect();
        EXPECT_EQ(registry->GetExpandedStringValue(HKEY_LOCAL_MACHINE, settings::Key, QStringLiteral("cpath")), source);
        EXPECT_EQ(registry->GetExpandedStringValue(HKEY_LOCAL_MACHINE, settings::Key, QStringLiteral("fpath")), dest);
        EXPECT_EQ(w.sSet.Value(), 0);
        EXPECT_EQ(w.Cpath.Text(), source);
        EXPECT_EQ(w.Fpath.Text(), dest);
    }
};

TEST_F(NestedCheck, OuterCheckRedoesWhatTheLeavingStepsUndid)
{
    cameraWith({{"IMG_0001.JPG", 10}});
    const QString gone = t.path(QStringLiteral("Weg"));
    takeOverFrom(camera, gone);
    w.Refresh1_Click();
    expectSettingsTakenOver(camera, gone);
    EXPECT_EQ(outcomeOf(w), blocked(missingText(gone), "1", "0"));
    EXPECT_EQ(photoFolderLookOf(w), kMissing);
}

TEST_F(NestedCheck, WhatTheOuterCheckLeavesAloneStaysAsTheInnerRunLeftIt)
{
    w.Fpath.setForeColor(kEarlier.fore);
    w.Fpath.setBackColor(kEarlier.back);
    takeOverFrom(camera, photos);
    w.Refresh1_Click();
    expectSettingsTakenOver(camera, photos);
    EXPECT_EQ(outcomeOf(w), blocked(kNotConnectedText));
    // Leaving editing mode enabled Fotoboek; no camera, so no check touched it since.
    EXPECT_EQ(photoFolderLookOf(w), (PhotoFolderLook{true, kEarlier.fore, kEarlier.back}));
    EXPECT_TRUE(w.sSet.Visible());
}

}  // namespace
}  // namespace zandrel::test
