#include "platform/portable/HiveRegistry.h"

#include "platform/PlatformError.h"
#include "platform/portable/HiveFile.h"

#include <QDir>

namespace zandrel {

namespace {

std::optional<QString> rootKeyName(std::uint32_t hive)
{
    switch (hive) {
    case 0x80000000:
        return QStringLiteral("HKEY_CLASSES_ROOT");
    case 0x80000001:
        return QStringLiteral("HKEY_CURRENT_USER");
    case HKEY_LOCAL_MACHINE:
        return QStringLiteral("HKEY_LOCAL_MACHINE");
    case 0x80000003:
        return QStringLiteral("HKEY_USERS");
    case 0x80000005:
        return QStringLiteral("HKEY_CURRENT_CONFIG");
    default:
        return std::nullopt;
    }
}

std::optional<QString> fullKey(std::uint32_t hive, const QString& key)
{
    const auto root = rootKeyName(hive);
    if (!root)
        return std::nullopt;
    return key.isEmpty() ? *root : *root + QLatin1Char('\\') + key;
}

class HiveRegistry : public Registry {
public:
    explicit HiveRegistry(QString path) : path_(std::move(path)) {}

    // The program asks only for read rights, which every reader of the hive has.
    bool CheckAccess(std::uint32_t hive, const QString& key, std::uint16_t /*required*/) override
    {
        const auto path = fullKey(hive, key);
        const auto document = readHiveFile(path_).document;
        return path && document && document->hasKey(*path);
    }

    void CreateKey(std::uint32_t hive, const QString& key) override
    {
        if (const auto path = fullKey(hive, key))
            updateHiveFile(
                path_, [&](HiveDocument& document) { return document.createKey(*path); }, lockWait_);
    }

    // A missing key is created with the value rather than losing the text.
    void SetStringValue(std::uint32_t hive, const QString& key, const QString& name, const QString& value) override
    {
        if (const auto path = fullKey(hive, key))
            updateHiveFile(
                path_, [&](HiveDocument& document) { return document.setString(*path, name, value); }, lockWait_);
    }

    std::optional<QString> GetExpandedStringValue(std::uint32_t hive, const QString& key, const QString& name) override
    {
        const auto path = fullKey(hive, key);
        const auto document = readHiveFile(path_).document;
        const auto value = path && document ? document->value(*path, name) : std::nullopt;
        if (!value)
            return std::nullopt;
        return value->expandable ? expandEnvironmentReferences(value->text) : value->text;
    }

private:
    QString path_;
    // Shared by the connection's writes: a click that writes twice waits once.
    const QDeadlineTimer lockWait_{kHiveLockWaitMs};
};

}  // namespace

HiveRegistryService::HiveRegistryService(QString hivePath) : hivePath_(std::move(hivePath)) {}

std::unique_ptr<Registry> HiveRegistryService::Connect()
{
    if (hivePath_.isEmpty())
        throw PlatformError(QStringLiteral("De instellingen zijn niet te bereiken: er is geen map voor "
                                           "instellingen bekend (XDG_CONFIG_HOME en HOME zijn niet gezet)."));
    if (QDir::isRelativePath(hivePath_))
        throw PlatformError(
            QStringLiteral("De instellingen zijn niet te bereiken: '%1' is geen volledig pad.").arg(hivePath_));
    return std::make_unique<HiveRegistry>(hivePath_);
}

QString expandEnvironmentReferences(const QString& text)
{
    QString expanded;
    qsizetype from = 0;
    while (from < text.size()) {
        const qsizetype open = text.indexOf(QLatin1Char('%'), from);
        const qsizetype close = open < 0 ? -1 : text.indexOf(QLatin1Char('%'), open + 1);
        if (close < 0)
            break;
        expanded += text.mid(from, open - from);
        const QByteArray name = text.mid(open + 1, close - open - 1).toLocal8Bit();
        if (!name.isEmpty() && qEnvironmentVariableIsSet(name.constData())) {
            expanded += qEnvironmentVariable(name.constData());
            from = close + 1;
        } else {
            // The closing % may open the next reference, as on Windows.
            expanded += text.mid(open, close - open);
            from = close;
        }
    }
    return expanded + text.mid(from);
}

}  // namespace zandrel
