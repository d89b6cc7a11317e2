#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace zandrel {

// The text of a registry export held line by line, so that everything it does
// not understand is written back exactly as it was read. Key paths are full
// ("HKEY_LOCAL_MACHINE\SOFTWARE\Zandrel") and, like value names, compared
// without regard to letter case, as the registry does.
class HiveDocument {
public:
    struct Value {
        QString text;
        bool expandable = false;  // stored as hex(2): environment references still in it
    };

    // Nothing when the bytes are not a registry export of version 5.
    static std::optional<HiveDocument> parse(const QByteArray& bytes);
    QByteArray serialize() const;  // UTF-8 without a byte-order mark, one LF per line

    bool hasKey(const QString& key) const;
    // Nothing for a missing key or value, or for a value that is not a string.
    std::optional<Value> value(const QString& key, const QString& name) const;

    // Both return whether the document changed.
    bool createKey(const QString& key);
    bool setString(const QString& key, const QString& name, const QString& text);

    enum class Kind { Raw, Section, String, Expandable, OtherValue };
    struct Entry {
        Kind kind = Kind::Raw;
        QString name;       // the key of a section, the name of a value
        QString text;       // the text of a string value
        QStringList lines;  // as read; empty for an entry made or changed here
    };

private:
    struct Range {
        size_t begin;  // the section's header
        size_t end;    // one past its last entry
    };
    std::vector<Range> sectionsOf(const QString& key) const;
    std::optional<size_t> findValue(const QString& key, const QString& name) const;
    size_t insertionPoint(const Range& section) const;
    void appendSection(const QString& key);

    std::vector<Entry> entries_;
};

}  // namespace zandrel
