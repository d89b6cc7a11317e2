#include "platform/windows/Win32.h"

#include "platform/NativePath.h"

#include <vector>

namespace zandrel::win32 {

QString errorText(DWORD error)
{
    wchar_t* text = nullptr;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString words = length > 0 ? fromWide(text, length).trimmed() : QStringLiteral("fout %1").arg(error);
    ::LocalFree(text);
    return words;
}

std::wstring longPath(const QString& path)
{
    if (!isPathText(path))
        return std::wstring();
    QString text = path;
    text.replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (text.startsWith(QLatin1String("\\\\?\\")))
        return wide(text);
    const std::wstring given = wide(text);
    std::vector<wchar_t> full(given.size() + MAX_PATH);
    for (;;) {
        const DWORD length = ::GetFullPathNameW(given.c_str(), DWORD(full.size()), full.data(), nullptr);
        if (length == 0)
            return std::wstring();
        if (length < full.size()) {
            full.resize(length);
            break;
        }
        full.resize(length + 1);
    }
    const std::wstring absolute(full.begin(), full.end());
    if (absolute.rfind(L"\\\\.\\", 0) == 0 || absolute.rfind(L"\\\\?\\", 0) == 0)
        return absolute;
    if (absolute.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + absolute.substr(2);
    return L"\\\\?\\" + absolute;
}

}  // namespace zandrel::win32
