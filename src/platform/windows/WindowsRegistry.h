#pragma once

#include "platform/Registry.h"

#include <QString>

#include <vector>

namespace zandrel {

// The settings in the Windows registry itself. The program asks for keys under
// HKEY_LOCAL_MACHINE, which a standard user may not write: such a key is kept
// per user, under HKEY_CURRENT_USER, and read from where an earlier install
// left it (HKEY_LOCAL_MACHINE, or the VirtualStore copy Windows keeps of it for
// programs that wrote there without the right) until the user has a copy. The
// settings key is taken over into the user's copy when there is none yet; any
// other key the first time it is written.
class WindowsRegistryService : public RegistryService {
public:
    // Where a key asked for under HKEY_LOCAL_MACHINE is looked for: a root key
    // (one of the predefined handles, as a number), a path put before the key,
    // and whether it is the registry as 32-bit programs see it.
    struct Place {
        std::uint32_t root;
        QString prefix;
        bool view32 = false;
    };
    // The user's copy first; it alone is written.
    explicit WindowsRegistryService(QString settingsKey = QStringLiteral("SOFTWARE\\Zandrel"),
                                    std::vector<Place> places = systemPlaces());
    static std::vector<Place> systemPlaces();
    std::unique_ptr<Registry> Connect() override;

private:
    QString settingsKey_;
    std::vector<Place> places_;
};

}  // namespace zandrel
