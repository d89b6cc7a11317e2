#include "platform/linux/HivePath.h"

#include <QByteArray>
#include <QString>
#include <gtest/gtest.h>

namespace zandrel::test {
namespace {

// Puts an environment variable back as it was when the test ends.
struct EnvironmentVariable {
    explicit EnvironmentVariable(const char* variable)
        : name(variable), was(qgetenv(variable)), set(qEnvironmentVariableIsSet(variable))
    {
    }
    ~EnvironmentVariable() { set ? qputenv(name, was) : qunsetenv(name); }
    const char* name;
    QByteArray was;
    bool set;
};

TEST(HivePath, TheHiveLivesInTheConfigFolderAndWithoutOneItHasNoPath)
{
    EnvironmentVariable config("XDG_CONFIG_HOME");
    EnvironmentVariable home("HOME");
    qputenv("XDG_CONFIG_HOME", "/srv/conf");
    EXPECT_EQ(defaultHivePath(), QStringLiteral("/srv/conf/zandrel/registry.reg"));
    qputenv("XDG_CONFIG_HOME", "relatief");
    qputenv("HOME", "/home/anna");
    EXPECT_EQ(defaultHivePath(), QStringLiteral("/home/anna/.config/zandrel/registry.reg"));
    qunsetenv("HOME");
    EXPECT_EQ(defaultHivePath(), QString());
}

}  // namespace
}  // namespace zandrel::test
