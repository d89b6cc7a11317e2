// The settings in the real registry, under a key of the test's own so that the
// real Zandrel key is never touched. Wine lets any program write
// HKEY_LOCAL_MACHINE, so there the earlier install is put where it really
// lives; on Windows a standard user cannot, and the test puts it below its own
// key under HKEY_CURRENT_USER instead. Whether a standard user is refused
// HKEY_LOCAL_MACHINE, which is why the settings live per user, Wine cannot show.

#include "platform/windows/Win32.h"
#include "platform/windows/WindowsRegistry.h"

#include "settings/SettingsKeys.h"
#include "support/TestWindow.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <ostream>

namespace zandrel::test {
namespace {

constexpr std::uint32_t kCurrentUser = 0x80000001;
constexpr std::uint32_t kLocalMachine = 0x80000002;

HKEY rootKey(std::uint32_t root) { return reinterpret_cast<HKEY>(ULONG_PTR(LONG_PTR(LONG(root)))); }

// A value as it is stored: its type and its text, unexpanded.
struct Stored {
    DWORD type = REG_NONE;
    QString text;
    bool operator==(const Stored&) const = default;
};

void PrintTo(const Stored& value, std::ostream* out) { *out << value.type << " \"" << value.text.toStdString() << '"'; }

class RegistryPlaces {
public:
    RegistryPlaces()
    {
        HKEY probe = nullptr;
        // Wine lets anyone write the machine's part; Windows only an administrator.
        if (::RegCreateKeyExW(rootKey(kLocalMachine), win32::wide(base_).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              &probe, nullptr)
            == ERROR_SUCCESS) {
            ::RegCloseKey(probe);
            machine = {kLocalMachine, base_ + QStringLiteral("\\machine\\")};
            machine32 = {kLocalMachine, base_ + QStringLiteral("\\machine\\"), true};
        }
    }
    ~RegistryPlaces()
    {
        ::RegDeleteTreeW(rootKey(kCurrentUser), win32::wide(base_).c_str());
        ::RegDeleteKeyW(rootKey(kCurrentUser), win32::wide(base_).c_str());
        if (machine.root == kLocalMachine) {
            for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
                HKEY software = nullptr;
                if (::RegOpenKeyExW(rootKey(kLocalMachine), L"Software", 0, KEY_ALL_ACCESS | view, &software)
                    == ERROR_SUCCESS) {
                    ::RegDeleteTreeW(software, win32::wide(base_.mid(9)).c_str());
                    ::RegDeleteKeyExW(software, win32::wide(base_.mid(9)).c_str(), view, 0);
                    ::RegCloseKey(software);
                }
            }
        }
    }

    std::shared_ptr<RegistryService> service() const
    {
        return std::make_shared<WindowsRegistryService>(settings::Key,
                                                        std::vector{user, machine, machine32, virtualStore});
    }

    void put(const WindowsRegistryService::Place& place, const QString& key, const QString& name, const Stored& value)
    {
        const std::wstring text = win32::wide(value.text);
        HKEY made = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(rootKey(place.root), win32::wide(place.prefix + key).c_str(), 0, nullptr, 0,
                                    KEY_WRITE | (place.view32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY), nullptr, &made,
                                    nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(::RegSetValueExW(made, win32::wide(name).c_str(), 0, value.type,
                                   reinterpret_cast<const BYTE*>(text.c_str()),
                                   DWORD((text.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
        ::RegCloseKey(made);
    }

    std::optional<Stored> stored(const WindowsRegistryService::Place& place, const QString& key, const QString& name)
    {
        HKEY found = nullptr;
        if (!open(place, key, &found))
            return std::nullopt;
        wchar_t text[512] = {};
        DWORD size = sizeof text, type = 0;
        const LSTATUS status = ::RegGetValueW(found, nullptr, win32::wide(name).c_str(),
                                              RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, &type, text, &size);
        ::RegCloseKey(found);
        return status == ERROR_SUCCESS ? std::optional(Stored{type, win32::fromWide(text)}) : std::nullopt;
    }

    bool has(const WindowsRegistryService::Place& place, const QString& key)
    {
        HKEY found = nullptr;
        const bool exists = open(place, key, &found);
        if (exists)
            ::RegCloseKey(found);
        return exists;
    }

private:
    static bool open(const WindowsRegistryService::Place& place, const QString& key, HKEY* found)
    {
        return ::RegOpenKeyExW(rootKey(place.root), win32::wide(place.prefix + key).c_str(), 0,
                               KEY_READ | (place.view32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY), found)
            == ERROR_SUCCESS;
    }

    const QString base_ = QStringLiteral("Software\\ZandrelTest-%1").arg(QRandomGenerator::global()->generate());

public:
    WindowsRegistryService::Place user{kCurrentUser, base_ + QStringLiteral("\\user\\")};
    WindowsRegistryService::Place machine{kCurrentUser, base_ + QStringLiteral("\\machine-stand-in\\")};
    WindowsRegistryService::Place machine32{kCurrentUser, base_ + QStringLiteral("\\machine32-stand-in\\")};
    WindowsRegistryService::Place virtualStore{kCurrentUser, base_ + QStringLiteral("\\VirtualStore\\MACHINE\\")};
};

const Stored kCamera{REG_SZ, QStringLiteral("E:\\DCIM")};
const Stored kPhotos{REG_EXPAND_SZ, QStringLiteral("%ZANDREL_TEST_PICTURES%\\Foto's")};
const Stored kClosed{REG_SZ, QStringLiteral("0")};

// An earlier install left its settings where a standard user cannot write (in
// the 64-bit or, from a 32-bit edition, the 32-bit view), or where Windows put
// them for it: the first start takes them over into the user's own key, as
// they were stored, and every later write goes there only.
TEST(WindowsRegistry, TheFirstStartTakesOverAnEarlierInstallsSettingsAndWritesOnlyPerUser)
{
    qputenv("ZANDREL_TEST_PICTURES", "D:\\Mijn beelden");
    for (const int from : {0, 1, 2}) {
        RegistryPlaces places;
        const auto& earlier = from == 0 ? places.machine : from == 1 ? places.machine32 : places.virtualStore;
        places.put(earlier, settings::Key, settings::SourceValue, kCamera);
        places.put(earlier, settings::Key, settings::DestinationValue, kPhotos);
        places.put(earlier, settings::Key, settings::OpenAfterwardsValue, kClosed);

        TestWindow t;
        const auto window = windowOn(t, places.service());
        window->LoadSettings();
        EXPECT_EQ(window->Cpath.Text(), kCamera.text) << from;
        EXPECT_EQ(window->Fpath.Text(), QStringLiteral("D:\\Mijn beelden\\Foto's")) << from;
        EXPECT_EQ(window->sOpen.Value(), 0) << from;
        EXPECT_EQ(places.stored(places.user, settings::Key, settings::DestinationValue), kPhotos) << from;

        window->platform().registry->Connect()->SetStringValue(HKEY_LOCAL_MACHINE, settings::Key, settings::SourceValue,
                                                               QStringLiteral("F:\\DCIM"));
        EXPECT_EQ(places.stored(places.user, settings::Key, settings::SourceValue),
                  (Stored{REG_SZ, QStringLiteral("F:\\DCIM")}));
        EXPECT_EQ(places.stored(earlier, settings::Key, settings::SourceValue), kCamera)
            << "the earlier key was written";
        // Taken over once: what is left there later is not looked at again.
        places.put(earlier, settings::Key, settings::OpenAfterwardsValue, Stored{REG_SZ, QStringLiteral("1")});
        window->LoadSettings();
        EXPECT_EQ(window->Cpath.Text(), QStringLiteral("F:\\DCIM")) << from;
        EXPECT_EQ(window->sOpen.Value(), 0) << from;
    }
}

// No earlier install: the defaults go into the user's key, the folders come
// from the older edition's key, and that key is read where it is, never copied.
TEST(WindowsRegistry, WithoutAnEarlierInstallTheDefaultsAndTheOlderKeysFoldersGoPerUser)
{
    RegistryPlaces places;
    places.put(places.machine, settings::OlderKey, settings::OlderSourceValue, kCamera);
    TestWindow t;
    const auto window = windowOn(t, places.service());
    window->LoadSettings();
    EXPECT_EQ(window->Cpath.Text(), kCamera.text);
    EXPECT_EQ(window->Fpath.Text(), settings::UnknownPath);
    EXPECT_EQ(window->sOpen.Value(), 1);
    EXPECT_EQ(places.stored(places.user, settings::Key, settings::SourceValue), kCamera);
    EXPECT_EQ(places.stored(places.user, settings::Key, settings::OpenAfterwardsValue),
              (Stored{REG_SZ, settings::DefaultOpenAfterwards}));
    EXPECT_FALSE(places.has(places.machine, settings::Key));
    EXPECT_FALSE(places.has(places.user, settings::OlderKey)) << "the older key was copied";
}

}  // namespace
}  // namespace zandrel::test
