#include "app/Zandrel.h"

namespace zandrel {

void Zandrel::DisableControls()
{
    // Each step is tried even when an earlier one failed: this is the one place
    // that swallows errors, so a run or an edit can never start half-locked.
    for (Control* control :
         {static_cast<Control*>(&start), static_cast<Control*>(&Refresh1), static_cast<Control*>(&sDel),
          static_cast<Control*>(&sAutodatum), static_cast<Control*>(&sSet)}) {
        try {
            control->setEnabled(false);
        } catch (...) {
        }
    }
}

void Zandrel::EnableControls()
{
    Refresh1.setEnabled(true);
    sDel.setEnabled(true);
    sAutodatum.setEnabled(true);
    sSet.setEnabled(true);
}

void Zandrel::OpenFolder(const QString& path) { platform_.launcher->Launch(QStringLiteral("explorer"), path); }

void Zandrel::Fotoboek_Click()
{
    const auto& fs = platform_.fileSystem;
    const QString candidate = joinPath(Fpath.Text(), sFolder.Text());
    if (fs->FolderExists(candidate))
        OpenFolder(absoluteFolder(candidate));
    else
        OpenFolder(absoluteFolder(Fpath.Text()));
}

void Zandrel::sPreview_Click()
{
    if (sPreview.Value() == 0) {
        Image1.setPicture(QImage());
        Image1.Refresh();
    }
}

}  // namespace zandrel
