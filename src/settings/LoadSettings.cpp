#include "app/Zandrel.h"
#include "platform/PlatformError.h"
#include "settings/SettingsKeys.h"

namespace zandrel {

namespace {

// A missing text and the empty text both show the placeholder.
QString shownPath(const std::optional<QString>& stored)
{
    return stored.value_or(QString()) != QString() ? *stored : settings::UnknownPath;
}

void takeOverOlderFolders(Zandrel& w, Registry& older)
{
    w.Cpath.setText(
        shownPath(older.GetExpandedStringValue(HKEY_LOCAL_MACHINE, settings::OlderKey, settings::OlderSourceValue)));
    w.Fpath.setText(shownPath(
        older.GetExpandedStringValue(HKEY_LOCAL_MACHINE, settings::OlderKey, settings::OlderDestinationValue)));
    {
        const auto registry = w.platform().registry->Connect();
        // What the boxes now show is stored, placeholder and all.
        registry->SetStringValue(HKEY_LOCAL_MACHINE, settings::Key, settings::SourceValue, w.Cpath.Text());
        registry->SetStringValue(HKEY_LOCAL_MACHINE, settings::Key, settings::DestinationValue, w.Fpath.Text());
    }
    w.sSet.setValue(0);
}

void writeFirstRunSettings(Zandrel& w)
{
    {
        const auto registry = w.platform().registry->Connect();
        registry->CreateKey(HKEY_LOCAL_MACHINE, settings::Key);
        registry->SetStringValue(HKEY_LOCAL_MACHINE, settings::Key, settings::DestinationValue,
                                 settings::DefaultDestination);
        registry->SetStringValue(HKEY_LOCAL_MACHINE, settings::Key, settings::SourceValue, settings::DefaultSource);
        registry->SetStringValue(HKEY_LOCAL_MACHINE, settings::Key, settings::OpenAfterwardsValue,
                                 settings::DefaultOpenAfterwards);
    }
    const auto older = w.platform().registry->Connect();
    if (older->CheckAccess(HKEY_LOCAL_MACHINE, settings::OlderKey, KEY_QUERY_VALUE))
        takeOverOlderFolders(w, *older);
}

// Setting sOpen runs its handler when the tick changes, which stores it again.
void readBackSettings(Zandrel& w)
{
    const auto registry = w.platform().registry->Connect();
    w.Cpath.setText(
        shownPath(registry->GetExpandedStringValue(HKEY_LOCAL_MACHINE, settings::Key, settings::SourceValue)));
    w.Fpath.setText(
        shownPath(registry->GetExpandedStringValue(HKEY_LOCAL_MACHINE, settings::Key, settings::DestinationValue)));
    const auto open =
        registry->GetExpandedStringValue(HKEY_LOCAL_MACHINE, settings::Key, settings::OpenAfterwardsValue);
    w.sOpen.setValue(open == QStringLiteral("0") ? 0 : 1);
}

// The folders are unknown, and the boxes locked, for as long as the store cannot be reached.
std::unique_ptr<Registry> connectOrShowUnknown(Zandrel& w)
{
    try {
        return w.platform().registry->Connect();
    } catch (const PlatformError&) {
        for (TextBox* box : {&w.Cpath, &w.Fpath}) {
            box->setText(settings::UnknownPath);
            box->setEnabled(false);
        }
        throw;
    }
}

}  // namespace

void Zandrel::LoadSettings()
{
    const bool settingsExist =
        connectOrShowUnknown(*this)->CheckAccess(HKEY_LOCAL_MACHINE, settings::Key, KEY_QUERY_VALUE);
    const bool editing = sSet.Value() != 0;
    Cpath.setEnabled(editing);
    Fpath.setEnabled(editing);
    SETcamera.setEnabled(editing);
    if (!settingsExist)
        writeFirstRunSettings(*this);
    readBackSettings(*this);
}

}  // namespace zandrel
