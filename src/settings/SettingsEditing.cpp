#include "app/Zandrel.h"
#include "settings/SettingsKeys.h"

namespace zandrel {

void Zandrel::sSet_Click()
{
    // The readiness check's settings load unlocks or locks the folder boxes.
    Refresh1_Click();
    if (sSet.Value() == 1) {
        Message.setCaption(QStringLiteral("Stel camera pad en foto pad in"));
        DisableControls();
        Fotoboek.setEnabled(false);
        sPreview.setEnabled(false);
        sOpen.setEnabled(false);
        SETcamera.setVisible(true);
        sSet.setVisible(false);
        start.setEnabled(false);
        Stoplicht.setBackColor(Yellow);
    } else {
        Fotoboek.setEnabled(true);
        sOpen.setEnabled(true);
        EnableControls();
        sPreview.setEnabled(true);
        SETcamera.setVisible(false);
        sSet.setVisible(true);
        start.setEnabled(true);
    }
}

void Zandrel::SETcamera_Click()
{
    {
        const auto registry = platform_.registry->Connect();
        registry->SetStringValue(HKEY_LOCAL_MACHINE, settings::Key, settings::SourceValue, Cpath.Text());
        registry->SetStringValue(HKEY_LOCAL_MACHINE, settings::Key, settings::DestinationValue, Fpath.Text());
    }
    // Leaves editing mode through sSet's handler, which checks the new folders.
    sSet.setValue(0);
    Refresh1_Click();
}

void Zandrel::sOpen_Click()
{
    const auto registry = platform_.registry->Connect();
    registry->CreateKey(HKEY_LOCAL_MACHINE, settings::Key);
    registry->SetStringValue(HKEY_LOCAL_MACHINE, settings::Key, settings::OpenAfterwardsValue,
                             sOpen.Value() == 1 ? QStringLiteral("1") : QStringLiteral("0"));
}

}  // namespace zandrel
