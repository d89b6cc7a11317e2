#include "platform/linux/NativePath.h"

#include <fcntl.h>
#include <unistd.h>

namespace zandrel {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;  // + a byte of 0x80..0xFF that was not UTF-8

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 sequence at bytes (RFC 3629: no overlong
// forms, no surrogates, nothing above U+10FFFF), or 0.
int sequenceLength(const unsigned char* bytes, qsizetype left)
{
    const unsigned char lead = bytes[0];
    if (lead < 0x80)
        return 1;
    int length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
    if (length == 0 || left < length || bytes[1] < low || bytes[1] > high)
        return 0;
    for (int i = 2; i < length; ++i)
        if (!isContinuation(bytes[i]))
            return 0;
    return length;
}

bool isEscape(char16_t unit) { return unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF; }

}  // namespace

QString nativeName(const char* text, qsizetype size)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    QString name;
    name.reserve(size);
    for (qsizetype at = 0; at < size;) {
        const int length = sequenceLength(bytes + at, size - at);
        if (length == 0) {
            name += QChar(char16_t(kEscapeBase + bytes[at]));
            ++at;
            continue;
        }
        name += QString::fromUtf8(text + at, length);
        at += length;
    }
    return name;
}

QByteArray nativePath(const QString& path)
{
    QByteArray bytes;
    bytes.reserve(path.size());
    qsizetype runStart = 0;
    const auto flush = [&](qsizetype end) { bytes += QStringView(path).mid(runStart, end - runStart).toUtf8(); };
    for (qsizetype at = 0; at < path.size(); ++at) {
        const char16_t unit = path.at(at).unicode();
        // A low surrogate after a high one is half of a real character.
        const bool paired = at > 0 && path.at(at - 1).isHighSurrogate();
        if (isEscape(unit) && !paired) {
            flush(at);
            bytes += char(unit - kEscapeBase);
            runStart = at + 1;
        }
    }
    flush(path.size());
    return bytes;
}

bool openForReading(QFile& file, const QString& path)
{
    const int fd = ::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    if (file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
    return false;
}

}  // namespace zandrel
