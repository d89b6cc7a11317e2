#include "app/Zandrel.h"
#include "app/ShownMegabytes.h"

namespace zandrel {

namespace {

// The verdict of one check: how the lamp and the start button end up.
enum Verdict { Ready = 0, CameraEmpty = 1, Blocked = 2 };

// A measurement the check could not take. The check stops there and shows the
// text; the window stays usable and the next check simply tries again.
struct CheckFailed {
    QString message;
};

constexpr double kRoomToSpare = 10;  // in free-space megabytes of 1024 * 1000 bytes

// Files directly in the camera folder, and the size of everything below it.
void measureCamera(Zandrel& w, FileSystem& fs)
{
    try {
        const std::unique_ptr<Folder> folder = fs.GetFolder(w.Cpath.Text());
        w.sAantal.setCaption(QString::number(folder->Count()));
        w.sMB.setCaption(QString::number(shownMegabytes(folder->Size())));
    } catch (const PlatformError&) {
        // Half-measured figures would promise a run that cannot be trusted.
        w.sAantal.setCaption(QStringLiteral("0"));
        w.sMB.setCaption(QStringLiteral("0"));
        throw CheckFailed{QStringLiteral("Kan de camera niet lezen")};
    }
}

Drive photoDrive(Zandrel& w, FileSystem& fs)
{
    try {
        return fs.GetDrive(fs.GetDriveName(w.Fpath.Text()));
    } catch (const PlatformError&) {
        throw CheckFailed{QStringLiteral("Kan de schijf van de foto folder niet bepalen")};
    }
}

// The size is read back from sMB, so the room is judged on the figure the user sees.
Verdict checkRoom(Zandrel& w, FileSystem& fs)
{
    const Drive drive = photoDrive(w, fs);
    const double free = drive.freespace / 1024.0 / 1000.0;
    if (free - w.sMB.Caption().toDouble() < kRoomToSpare) {
        w.Message.setCaption(QStringLiteral("Schijf ") + drive.driveletter
                             + QStringLiteral(": heeft te weinig ruimte"));
        return Blocked;
    }
    return Ready;
}

Verdict checkPhotoFolder(Zandrel& w, FileSystem& fs)
{
    if (!fs.FolderExists(w.Fpath.Text())) {
        w.Fotoboek.setEnabled(false);
        w.Message.setCaption(QStringLiteral("'") + w.Fpath.Text() + QStringLiteral("'  bestaat niet"));
        w.Fpath.setForeColor(White);
        w.Fpath.setBackColor(Red);
        return Blocked;
    }
    w.Fotoboek.setEnabled(true);
    w.Message.setCaption(QStringLiteral(" Klaar om te kopiëren"));
    w.Message.setForeColor(Black);
    w.Fpath.setForeColor(Black);
    w.Fpath.setBackColor(SystemWindowColour);
    // The temporary copies a killed run left would count as used room and
    // could keep the next run from starting; no living run holds them.
    fs.ClearLeftovers(joinPath(w.Fpath.Text(), w.sFolder.Text()));
    return checkRoom(w, fs);
}

// Without a camera the photo folder is not looked at, so Fotoboek and the
// colours of Fpath keep what the last check that saw the camera gave them.
Verdict checkFolders(Zandrel& w, FileSystem& fs)
{
    if (!fs.FolderExists(w.Cpath.Text())) {
        w.Message.setCaption(QStringLiteral("Camera niet aangesloten"));
        w.sMB.setCaption(QStringLiteral("0"));
        w.sAantal.setCaption(QStringLiteral("0"));
        return Blocked;
    }
    // A camera file that a killed run had moved aside to delete it goes back
    // under its own name first, to be counted and copied as what it is.
    fs.ClearLeftovers(w.Cpath.Text());
    measureCamera(w, fs);
    return checkPhotoFolder(w, fs);
}

Verdict judge(Zandrel& w, FileSystem& fs)
{
    Verdict verdict = checkFolders(w, fs);
    if (verdict != Blocked && w.sAantal.Caption().toLongLong() == 0) {
        verdict = CameraEmpty;
        w.Message.setCaption(QStringLiteral("Camera is leeg"));
    }
    if (w.Cpath.Text() == w.Fpath.Text()) {
        w.Message.setCaption(QStringLiteral("Source en Destination zijn gelijk"));
        verdict = Blocked;
    }
    return verdict;
}

void showVerdict(Zandrel& w, Verdict verdict)
{
    w.start.setEnabled(verdict == Ready);
    switch (verdict) {
    case Ready:
        w.Stoplicht.setBackColor(Green);
        break;
    case CameraEmpty:
        w.Stoplicht.setBackColor(Yellow);
        break;
    case Blocked:
        w.Stoplicht.setBackColor(Red);
        break;
    }
}

}  // namespace

// Everything the check finds is left in the controls; nothing is kept between
// runs, so a check nested inside LoadSettings (through sSet) needs no care here.
void Zandrel::Refresh1_Click()
{
    repaint();
    procent.setCaption(QString());
    ProgressBar.setValue(0);
    try {
        LoadSettings();
    } catch (const PlatformError&) {
        // Without its settings the window must not offer a run, nor show the design's texts.
        Message.setCaption(QStringLiteral("Instellingen niet te bereiken"));
        sAantal.setCaption(QStringLiteral("0"));
        sMB.setCaption(QStringLiteral("0"));
        Fotoboek.setEnabled(false);
        showVerdict(*this, Blocked);
        throw;
    }
    sAantal.setCaption(QStringLiteral("0"));
    const std::shared_ptr<FileSystem> fs = platform_.fileSystem;
    Verdict verdict = Blocked;
    try {
        verdict = judge(*this, *fs);
    } catch (const CheckFailed& failure) {
        Message.setCaption(failure.message);
    }
    showVerdict(*this, verdict);
}

}  // namespace zandrel
