#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

namespace zandrel {

constexpr std::uint32_t HKEY_LOCAL_MACHINE = 0x80000002;
constexpr std::uint16_t KEY_QUERY_VALUE = 1;

// The registry provider: the four operations the settings code uses. Writes that
// the store refuses fail silently, as callers never look at a result code.
// Connecting throws PlatformError when the store cannot be reached at all.
class Registry {
public:
    virtual ~Registry() = default;
    virtual bool CheckAccess(std::uint32_t hive, const QString& key, std::uint16_t required) = 0;
    virtual void CreateKey(std::uint32_t hive, const QString& key) = 0;
    virtual void SetStringValue(std::uint32_t hive, const QString& key, const QString& name, const QString& value) = 0;
    // No value (missing key or value) is std::nullopt; expandable strings come expanded.
    virtual std::optional<QString> GetExpandedStringValue(std::uint32_t hive, const QString& key,
                                                          const QString& name) = 0;
};

class RegistryService {
public:
    virtual ~RegistryService() = default;
    virtual std::unique_ptr<Registry> Connect() = 0;
};

}  // namespace zandrel
