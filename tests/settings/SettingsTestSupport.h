#pragma once

#include "platform/portable/HiveRegistry.h"
#include "settings/SettingsKeys.h"
#include "support/RealSystem.h"
#include "support/TestWindow.h"

#include <QStringList>

#include <ostream>

// Readable texts in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace zandrel::test {

// The real hive, with every call written down in the order it was made.
class RecordingRegistryService : public RegistryService {
public:
    explicit RecordingRegistryService(std::shared_ptr<RegistryService> real) : real_(std::move(real)) {}

    std::unique_ptr<Registry> Connect() override
    {
        calls.push_back(QStringLiteral("Connect"));
        return std::make_unique<Recorder>(real_->Connect(), calls);
    }

    // The calls that name the given value, e.g. "Set cpath=..." or "Get sOpen".
    QStringList callsOn(const QString& name) const { return calls.filter(QLatin1Char(' ') + name); }

    QStringList calls;

private:
    class Recorder : public Registry {
    public:
        Recorder(std::unique_ptr<Registry> real, QStringList& calls) : real_(std::move(real)), calls_(calls) {}
        bool CheckAccess(std::uint32_t hive, const QString& key, std::uint16_t required) override
        {
            calls_ << QStringLiteral("Check ") + key;
            return real_->CheckAccess(hive, key, required);
        }
        void CreateKey(std::uint32_t hive, const QString& key) override
        {
            calls_ << QStringLiteral("Create ") + key;
            real_->CreateKey(hive, key);
        }
        void SetStringValue(std::uint32_t hive, const QString& key, const QString& name, const QString& value) override
        {
            calls_ << QStringLiteral("Set %1 %2=%3").arg(key, name, value);
            real_->SetStringValue(hive, key, name, value);
        }
        std::optional<QString> GetExpandedStringValue(std::uint32_t hive, const QString& key,
                                                      const QString& name) override
        {
            calls_ << QStringLiteral("Get %1 %2").arg(key, name);
            return real_->GetExpandedStringValue(hive, key, name);
        }

    private:
        std::unique_ptr<Registry> real_;
        QStringList& calls_;
    };

    std::shared_ptr<RegistryService> real_;
};

// A hive in this program's own form, with the given sections' lines.
inline QByteArray hiveText(const QString& body)
{
    return (QStringLiteral("Windows Registry Editor Version 5.00\n\n") + body).toUtf8();
}

inline std::optional<QString> storedValue(const QString& hive, const QString& name, const QString& key = settings::Key)
{
    return HiveRegistryService(hive).Connect()->GetExpandedStringValue(HKEY_LOCAL_MACHINE, key, name);
}

}  // namespace zandrel::test
