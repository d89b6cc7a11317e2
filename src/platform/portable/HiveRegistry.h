#pragma once

#include "platform/Registry.h"

namespace zandrel {

// The registry kept as a registry-export text file, the hive. Keys keep the
// paths Windows gives them ("HKEY_LOCAL_MACHINE\SOFTWARE\Zandrel").
class HiveRegistryService : public RegistryService {
public:
    explicit HiveRegistryService(QString hivePath);
    // Throws PlatformError when there is no hive location at all.
    std::unique_ptr<Registry> Connect() override;

private:
    QString hivePath_;
};

// %NAME% replaced by the environment variable NAME; a reference to a variable
// that is not set stays as it is.
QString expandEnvironmentReferences(const QString& text);

}  // namespace zandrel
