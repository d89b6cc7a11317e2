#include "platform/portable/HiveDocument.h"

#include <QStringDecoder>

namespace zandrel {

namespace {

const QString kHeader = QStringLiteral("Windows Registry Editor Version 5.00");

bool sameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

std::optional<QString> decodeStrictly(QStringConverter::Encoding encoding, QByteArrayView bytes)
{
    QStringDecoder decoder(encoding);
    QString text = decoder(bytes);
    if (decoder.hasError() || text.contains(QChar(0)))
        return std::nullopt;
    return text;
}

// Windows exports UTF-16LE with a byte-order mark; this program writes UTF-8.
std::optional<QString> decodeHive(const QByteArray& bytes)
{
    const bool utf16le = bytes.startsWith("\xFF\xFE");
    const bool utf16be = bytes.startsWith("\xFE\xFF");
    if (utf16le || utf16be) {
        if (bytes.size() % 2 != 0)
            return std::nullopt;
        return decodeStrictly(utf16le ? QStringConverter::Utf16LE : QStringConverter::Utf16BE,
                              QByteArrayView(bytes).sliced(2));
    }
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return decodeStrictly(QStringConverter::Utf8, QByteArrayView(bytes).sliced(3));
    return decodeStrictly(QStringConverter::Utf8, bytes);
}

QStringList physicalLines(const QString& text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QString& line : lines)
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    return lines;
}

bool isBlank(const HiveDocument::Entry& entry)
{
    if (entry.kind != HiveDocument::Kind::Raw)
        return false;
    for (const QString& line : entry.lines)
        if (!line.trimmed().isEmpty())
            return false;
    return true;
}

std::optional<QString> sectionName(const QString& line)
{
    const QString trimmed = line.trimmed();
    if (trimmed.size() < 2 || !trimmed.startsWith(QLatin1Char('[')) || !trimmed.endsWith(QLatin1Char(']')))
        return std::nullopt;
    return trimmed.mid(1, trimmed.size() - 2);
}

// A quoted text with \\ and \" escaped, starting at the opening quote. Returns
// the position after the closing quote.
std::optional<qsizetype> readQuoted(const QString& line, qsizetype pos, QString& text)
{
    if (pos >= line.size() || line[pos] != QLatin1Char('"'))
        return std::nullopt;
    text.clear();
    for (qsizetype i = pos + 1; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == QLatin1Char('"'))
            return i + 1;
        const bool escape = c == QLatin1Char('\\') && i + 1 < line.size()
            && (line[i + 1] == QLatin1Char('\\') || line[i + 1] == QLatin1Char('"'));
        if (escape)
            ++i;
        text += line[i];
    }
    return std::nullopt;
}

QString quoted(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

std::optional<QByteArray> hexBytes(QStringView list)
{
    QByteArray bytes;
    for (QStringView token : list.split(QLatin1Char(','))) {
        token = token.trimmed();
        if (token.isEmpty())
            continue;
        bool ok = false;
        const int byte = token.toInt(&ok, 16);
        if (!ok || token.size() > 2 || byte < 0)
            return std::nullopt;
        bytes.append(static_cast<char>(byte));
    }
    return bytes;
}

QString hexList(const QByteArray& bytes)
{
    QStringList parts;
    for (char byte : bytes)
        parts << QStringLiteral("%1").arg(static_cast<unsigned char>(byte), 2, 16, QLatin1Char('0'));
    return parts.join(QLatin1Char(','));
}

// Registry strings are UTF-16LE and end at their first NUL character.
std::optional<QString> utf16Text(const QByteArray& bytes)
{
    if (bytes.size() % 2 != 0)
        return std::nullopt;
    QStringDecoder decoder(QStringConverter::Utf16LE);
    QString text = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    const qsizetype end = text.indexOf(QChar(0));
    return end < 0 ? text : text.left(end);
}

QByteArray utf16Bytes(const QString& text)
{
    QStringEncoder encoder(QStringConverter::Utf16LE);
    QByteArray bytes = encoder(text);
    bytes.append(2, '\0');
    return bytes;
}

// Classifies the data after "=" of a value. Only strings and expandable strings
// are understood; every other type is kept but yields no text.
void classifyData(const QString& data, HiveDocument::Entry& entry)
{
    entry.kind = HiveDocument::Kind::OtherValue;
    if (data.startsWith(QLatin1Char('"'))) {
        const auto end = readQuoted(data, 0, entry.text);
        if (end && data.mid(*end).trimmed().isEmpty())
            entry.kind = HiveDocument::Kind::String;
        return;
    }
    const bool plain = data.startsWith(QLatin1String("hex(1):"), Qt::CaseInsensitive);
    const bool expandable = data.startsWith(QLatin1String("hex(2):"), Qt::CaseInsensitive);
    if (!plain && !expandable)
        return;
    const auto bytes = hexBytes(QStringView(data).sliced(7));
    const auto text = bytes ? utf16Text(*bytes) : std::nullopt;
    if (!text)
        return;
    entry.text = *text;
    entry.kind = expandable ? HiveDocument::Kind::Expandable : HiveDocument::Kind::String;
}

// A value line, with the continuation lines of wrapped hex data. Advances next
// past the lines it used; nothing (and next untouched) when the line is no value.
std::optional<HiveDocument::Entry> parseValue(const QStringList& lines, qsizetype& next)
{
    const QString& first = lines[next];
    HiveDocument::Entry entry;
    qsizetype pos = 0;
    if (first.startsWith(QLatin1Char('@')))
        pos = 1;
    else if (const auto end = readQuoted(first, 0, entry.name))
        pos = *end;
    else
        return std::nullopt;
    if (pos >= first.size() || first[pos] != QLatin1Char('='))
        return std::nullopt;

    entry.lines << first;
    QString data = first.mid(pos + 1).trimmed();
    qsizetype i = next + 1;
    while (data.startsWith(QLatin1String("hex"), Qt::CaseInsensitive) && data.endsWith(QLatin1Char('\\'))
           && i < lines.size()) {
        data.chop(1);
        data += lines[i].trimmed();
        entry.lines << lines[i++];
    }
    classifyData(data, entry);
    next = i;
    return entry;
}

QString renderString(const QString& name, const QString& text)
{
    const QString key = name.isEmpty() ? QStringLiteral("@") : quoted(name);
    // A line break inside quotes would end the line; the hex form carries any text.
    const bool needsHex = text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'))
        || text.contains(QChar(0));
    if (needsHex)
        return key + QStringLiteral("=hex(1):") + hexList(utf16Bytes(text));
    return key + QLatin1Char('=') + quoted(text);
}

QStringList render(const HiveDocument::Entry& entry)
{
    if (!entry.lines.isEmpty())
        return entry.lines;
    switch (entry.kind) {
    case HiveDocument::Kind::Section:
        return {QLatin1Char('[') + entry.name + QLatin1Char(']')};
    case HiveDocument::Kind::String:
        return {renderString(entry.name, entry.text)};
    default:
        return {QString()};
    }
}

bool isValue(HiveDocument::Kind kind)
{
    return kind == HiveDocument::Kind::String || kind == HiveDocument::Kind::Expandable
        || kind == HiveDocument::Kind::OtherValue;
}

}  // namespace

std::optional<HiveDocument> HiveDocument::parse(const QByteArray& bytes)
{
    const auto text = decodeHive(bytes);
    if (!text)
        return std::nullopt;
    HiveDocument document;
    if (text->trimmed().isEmpty())
        return document;
    const QStringList lines = physicalLines(*text);
    if (lines.first().trimmed() != kHeader)
        return std::nullopt;

    bool inSection = false;
    for (qsizetype i = 1; i < lines.size();) {
        if (const auto name = sectionName(lines[i])) {
            document.entries_.push_back({Kind::Section, *name, QString(), {lines[i++]}});
            inSection = true;
        } else if (const auto value = inSection ? parseValue(lines, i) : std::nullopt) {
            document.entries_.push_back(*value);
        } else {
            document.entries_.push_back({Kind::Raw, QString(), QString(), {lines[i++]}});
        }
    }
    return document;
}

QByteArray HiveDocument::serialize() const
{
    QStringList lines{kHeader};
    for (const Entry& entry : entries_)
        lines << render(entry);
    return (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
}

std::vector<HiveDocument::Range> HiveDocument::sectionsOf(const QString& key) const
{
    std::vector<Range> ranges;
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].kind != Kind::Section || !sameName(entries_[i].name, key))
            continue;
        size_t end = i + 1;
        while (end < entries_.size() && entries_[end].kind != Kind::Section)
            ++end;
        ranges.push_back({i, end});
    }
    return ranges;
}

bool HiveDocument::hasKey(const QString& key) const
{
    // A section for a subkey means its parent keys exist too.
    const QString below = key + QLatin1Char('\\');
    for (const Entry& entry : entries_)
        if (entry.kind == Kind::Section
            && (sameName(entry.name, key) || entry.name.startsWith(below, Qt::CaseInsensitive)))
            return true;
    return false;
}

std::optional<HiveDocument::Value> HiveDocument::value(const QString& key, const QString& name) const
{
    const auto at = findValue(key, name);
    if (!at || entries_[*at].kind == Kind::OtherValue)
        return std::nullopt;
    return Value{entries_[*at].text, entries_[*at].kind == Kind::Expandable};
}

std::optional<size_t> HiveDocument::findValue(const QString& key, const QString& name) const
{
    // As when the export is imported, a later line for the same value wins.
    std::optional<size_t> found;
    for (const Range& section : sectionsOf(key))
        for (size_t i = section.begin + 1; i < section.end; ++i)
            if (isValue(entries_[i].kind) && sameName(entries_[i].name, name))
                found = i;
    return found;
}

bool HiveDocument::createKey(const QString& key)
{
    if (hasKey(key))
        return false;
    appendSection(key);
    return true;
}

bool HiveDocument::setString(const QString& key, const QString& name, const QString& text)
{
    if (const auto at = findValue(key, name)) {
        Entry& found = entries_[*at];
        if (found.kind == Kind::String && found.text == text)
            return false;
        found = Entry{Kind::String, found.name, text, {}};
        return true;
    }
    if (sectionsOf(key).empty())
        appendSection(key);
    const size_t at = insertionPoint(sectionsOf(key).back());
    entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(at), Entry{Kind::String, name, text, {}});
    return true;
}

size_t HiveDocument::insertionPoint(const Range& section) const
{
    size_t at = section.end;
    while (at > section.begin + 1 && isBlank(entries_[at - 1]))
        --at;
    return at;
}

void HiveDocument::appendSection(const QString& key)
{
    const Entry blank{Kind::Raw, QString(), QString(), {QString()}};
    if (entries_.empty() || !isBlank(entries_.back()))
        entries_.push_back(blank);
    entries_.push_back(Entry{Kind::Section, key, QString(), {}});
    entries_.push_back(blank);
}

}  // namespace zandrel
