#pragma once

#include "support/ForwardingFileSystem.h"
#include "support/RealSystem.h"
#include "support/TestWindow.h"

#include <QDir>
#include <gtest/gtest.h>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <string>

namespace zandrel::test {

// The real file system, with the drive's free space or single failures put in
// where the machine cannot make them for real (root reads every folder).
class TunableFileSystem : public ForwardingFileSystem {
public:
    std::optional<qint64> freespace;  // overrides what the drive reports
    bool driveUnknown = false;
    bool sizeUnreadable = false;
    QString vanishOnLookAt;  // this folder is removed right after FolderExists found it
    int sizeWalks = 0;

    bool FolderExists(const QString& path) override
    {
        const bool exists = real().FolderExists(path);
        if (exists && path == vanishOnLookAt)
            QDir(path).removeRecursively();
        return exists;
    }
    std::unique_ptr<Folder> GetFolder(const QString& path) override
    {
        return std::make_unique<WatchedFolder>(real().GetFolder(path), *this);
    }
    QString GetDriveName(const QString& path) override
    {
        if (driveUnknown)
            throw PlatformError(QStringLiteral("Kan niet bepalen op welke schijf '%1' staat.").arg(path));
        return real().GetDriveName(path);
    }
    Drive GetDrive(const QString& driveName) override
    {
        Drive drive = real().GetDrive(driveName);
        if (freespace)
            drive.freespace = *freespace;
        return drive;
    }

    // What the drive of a folder is called, straight from the real file system.
    QString driveLetterOf(const QString& path) { return real().GetDrive(real().GetDriveName(path)).driveletter; }

private:
    class WatchedFolder : public Folder {
    public:
        WatchedFolder(std::unique_ptr<Folder> real, TunableFileSystem& owner) : real_(std::move(real)), owner_(owner) {}
        QStringList Files() override { return real_->Files(); }
        qint64 Count() override { return real_->Count(); }
        qint64 Size() override
        {
            ++owner_.sizeWalks;
            if (owner_.sizeUnreadable)
                throw PlatformError(QStringLiteral("Kan 'DCIM' niet lezen: Permission denied"));
            return real_->Size();
        }

    private:
        std::unique_ptr<Folder> real_;
        TunableFileSystem& owner_;
    };
};

// One free-space megabyte as the check counts it.
constexpr qint64 kFreeMegabyte = 1024 * 1000;

// What a check leaves on the window, as text so a failing comparison reads well.
struct Outcome {
    std::string message;
    Colour lamp;
    bool start;
    std::string count;
    std::string megabytes;
    bool operator==(const Outcome&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Outcome& v)
{
    return out << "{\"" << v.message << "\", lamp " << v.lamp << ", start " << (v.start ? "on" : "off") << ", count "
               << v.count << ", MB " << v.megabytes << "}";
}

inline Outcome outcomeOf(const Zandrel& w)
{
    return {w.Message.Caption().toStdString(), w.Stoplicht.BackColor(), w.start.Enabled(),
            w.sAantal.Caption().toStdString(), w.sMB.Caption().toStdString()};
}

struct PhotoFolderLook {
    bool fotoboek;
    Colour fore;
    Colour back;
    bool operator==(const PhotoFolderLook&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const PhotoFolderLook& p)
{
    return out << "{Fotoboek " << (p.fotoboek ? "on" : "off") << ", Fpath " << p.fore << " on " << p.back << "}";
}

inline PhotoFolderLook photoFolderLookOf(const Zandrel& w)
{
    return {w.Fotoboek.Enabled(), w.Fpath.ForeColor(), w.Fpath.BackColor()};
}

inline const PhotoFolderLook kFound{true, Black, SystemWindowColour};
inline const PhotoFolderLook kMissing{false, White, Red};

inline const QString kReadyText = QStringLiteral(" Klaar om te kopiëren");
inline const QString kEmptyText = QStringLiteral("Camera is leeg");
inline const QString kNotConnectedText = QStringLiteral("Camera niet aangesloten");
inline const QString kSameText = QStringLiteral("Source en Destination zijn gelijk");
inline QString missingText(const QString& fpath)
{
    return QStringLiteral("'") + fpath + QStringLiteral("'  bestaat niet");
}
inline QString noRoomText(const QString& drive)
{
    return QStringLiteral("Schijf ") + drive + QStringLiteral(": heeft te weinig ruimte");
}

inline Outcome blocked(const QString& message, const char* count = "0", const char* megabytes = "0")
{
    return {message.toStdString(), Red, false, count, megabytes};
}
inline Outcome empty(const char* megabytes = "0") { return {kEmptyText.toStdString(), Yellow, false, "0", megabytes}; }
inline Outcome ready(const char* count, const char* megabytes)
{
    return {kReadyText.toStdString(), Green, true, count, megabytes};
}

// A window on real folders in a fresh temporary folder: DCIM (the camera, not
// made yet) and Fotos (the photo folder). Checks run as the Refresh button runs them.
class ReadinessCheck : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (const ShownBox& box : t.messageBox->shown)
            ADD_FAILURE() << "a check ended in a message box: " << box.prompt.toStdString();
    }

    // Files below the camera folder, by relative name and size in bytes.
    void cameraWith(std::initializer_list<std::pair<const char*, qint64>> files)
    {
        t.makeFolder(QStringLiteral("DCIM"));
        for (const auto& [name, bytes] : files)
            t.makeFile(QStringLiteral("DCIM/") + QString::fromUtf8(name), QByteArray(bytes, 'x'));
    }

    Outcome check(const QString& cpath, const QString& fpath)
    {
        storeFolders(t, cpath, fpath, true);
        return check();
    }
    Outcome check()
    {
        w.Refresh1.click();
        return outcomeOf(w);
    }

    std::shared_ptr<TunableFileSystem> fs = std::make_shared<TunableFileSystem>();
    TestWindow t{fs};
    Zandrel& w = *t.window;
    const QString camera = t.path(QStringLiteral("DCIM"));
    const QString photos = t.makeFolder(QStringLiteral("Fotos"));
};

}  // namespace zandrel::test
