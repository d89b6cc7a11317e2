#pragma once

#include "platform/Registry.h"

namespace zandrel {

// The registry kept as a registry-export text file, the hive.
class HiveRegistryService : public RegistryService {
public:
    explicit HiveRegistryService(QString hivePath);
    static QString defaultHivePath();  // $XDG_CONFIG_HOME/zandrel/registry.reg
    std::unique_ptr<Registry> Connect() override;

private:
    QString hivePath_;
};

}  // namespace zandrel
