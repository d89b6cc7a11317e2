#include "platform/windows/WindowsRegistry.h"

#include "platform/windows/Win32.h"

namespace zandrel {

namespace {

constexpr std::uint32_t kCurrentUser = 0x80000001;
constexpr std::uint32_t kLocalMachine = 0x80000002;

// The predefined handles are sign-extended 32-bit numbers.
HKEY rootKey(std::uint32_t root) { return reinterpret_cast<HKEY>(ULONG_PTR(LONG_PTR(LONG(root)))); }

class Key {
public:
    Key() = default;
    ~Key()
    {
        if (key_)
            ::RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    // Set only by a call that succeeded.
    bool take(LSTATUS status, HKEY key)
    {
        if (status != ERROR_SUCCESS)
            return false;
        if (key_)
            ::RegCloseKey(key_);
        key_ = key;
        return true;
    }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

using Place = WindowsRegistryService::Place;

// The 64-bit view, where a 64-bit program and the system's own registry tools
// look, unless the place is the one 32-bit programs see.
REGSAM viewOf(const Place& place) { return place.view32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY; }

bool openKey(const Place& place, const QString& key, REGSAM access, Key& found)
{
    HKEY opened = nullptr;
    const LSTATUS status = ::RegOpenKeyExW(rootKey(place.root), win32::wide(place.prefix + key).c_str(), 0,
                                           access | viewOf(place), &opened);
    return found.take(status, opened);
}

bool createKey(const Place& place, const QString& key, Key& created)
{
    HKEY made = nullptr;
    const LSTATUS status = ::RegCreateKeyExW(rootKey(place.root), win32::wide(place.prefix + key).c_str(), 0, nullptr,
                                             0, KEY_READ | KEY_WRITE | viewOf(place), nullptr, &made, nullptr);
    return created.take(status, made);
}

// Every value of from written into to, as it stands.
void copyValues(HKEY from, HKEY to)
{
    DWORD nameLength = 0, dataLength = 0;
    if (::RegQueryInfoKeyW(from, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &nameLength,
                           &dataLength, nullptr, nullptr)
        != ERROR_SUCCESS)
        return;
    std::wstring name(nameLength + 1, L'\0');
    std::vector<BYTE> data(dataLength + sizeof(wchar_t));
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = DWORD(name.size()), dataSize = DWORD(data.size()), type = 0;
        const LSTATUS status =
            ::RegEnumValueW(from, index, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS)
            return;
        if (status == ERROR_SUCCESS)
            ::RegSetValueExW(to, name.c_str(), 0, type, data.data(), dataSize);
    }
}

class WindowsRegistry : public Registry {
public:
    explicit WindowsRegistry(std::vector<WindowsRegistryService::Place> places) : places_(std::move(places)) {}

    // The key in the user's copy, taken over from an earlier install when the user has none.
    void takeOver(const QString& key)
    {
        Key own, earlier;
        if (!openKey(places_.front(), key, KEY_QUERY_VALUE, own)
            && openForReading(kLocalMachine, key, KEY_QUERY_VALUE, earlier))
            openForWriting(kLocalMachine, key, own);
    }

    bool CheckAccess(std::uint32_t hive, const QString& key, std::uint16_t required) override
    {
        Key found;
        return openForReading(hive, key, REGSAM(required), found);
    }

    void CreateKey(std::uint32_t hive, const QString& key) override
    {
        Key created;
        openForWriting(hive, key, created);
    }

    void SetStringValue(std::uint32_t hive, const QString& key, const QString& name, const QString& value) override
    {
        Key target;
        if (!openForWriting(hive, key, target))
            return;  // a write the registry refuses fails unnoticed
        const std::wstring text = win32::wide(value);
        ::RegSetValueExW(target.get(), win32::wide(name).c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(text.c_str()), DWORD((text.size() + 1) * sizeof(wchar_t)));
    }

    std::optional<QString> GetExpandedStringValue(std::uint32_t hive, const QString& key, const QString& name) override
    {
        Key found;
        if (!openForReading(hive, key, KEY_QUERY_VALUE, found))
            return std::nullopt;
        const std::wstring value = win32::wide(name);
        // RegGetValueW expands an expandable string itself when asked for a plain one.
        std::vector<wchar_t> text(256);
        for (;;) {
            DWORD size = DWORD(text.size() * sizeof(wchar_t));
            const LSTATUS status =
                ::RegGetValueW(found.get(), nullptr, value.c_str(), RRF_RT_REG_SZ, nullptr, text.data(), &size);
            if (status == ERROR_MORE_DATA) {
                text.resize(size / sizeof(wchar_t) + 1);
                continue;
            }
            if (status != ERROR_SUCCESS)
                return std::nullopt;
            return win32::fromWide(text.data());
        }
    }

private:
    // A key of any hive but HKEY_LOCAL_MACHINE is where the program says.
    std::vector<Place> placesOf(std::uint32_t hive) const
    {
        if (hive == kLocalMachine)
            return places_;
        return {{hive, QString(), false}};
    }

    // The first place that has the key.
    bool openForReading(std::uint32_t hive, const QString& key, REGSAM access, Key& found)
    {
        for (const auto& place : placesOf(hive))
            if (openKey(place, key, access, found))
                return true;
        return false;
    }

    // The user's copy, made on the first write from the first other place that has the key.
    bool openForWriting(std::uint32_t hive, const QString& key, Key& target)
    {
        const auto places = placesOf(hive);
        const auto& own = places.front();
        if (openKey(own, key, KEY_READ | KEY_WRITE, target))
            return true;
        if (!createKey(own, key, target))
            return false;
        for (auto place = places.begin() + 1; place != places.end(); ++place) {
            Key earlier;
            if (openKey(*place, key, KEY_READ, earlier)) {
                copyValues(earlier.get(), target.get());
                break;
            }
        }
        return true;
    }

    std::vector<WindowsRegistryService::Place> places_;
};

}  // namespace

WindowsRegistryService::WindowsRegistryService(QString settingsKey, std::vector<Place> places)
    : settingsKey_(std::move(settingsKey)), places_(std::move(places))
{
}

std::vector<WindowsRegistryService::Place> WindowsRegistryService::systemPlaces()
{
    // An earlier 32-bit edition may have seen the machine's part as 32-bit
    // programs do, in its WOW6432Node.
    return {{kCurrentUser, QString(), false},
            {kLocalMachine, QString(), false},
            {kLocalMachine, QString(), true},
            {kCurrentUser, QStringLiteral("Software\\Classes\\VirtualStore\\MACHINE\\"), false}};
}

std::unique_ptr<Registry> WindowsRegistryService::Connect()
{
    auto registry = std::make_unique<WindowsRegistry>(places_);
    registry->takeOver(settingsKey_);
    return registry;
}

}  // namespace zandrel
