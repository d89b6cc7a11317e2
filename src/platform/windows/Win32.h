#pragma once

// The one way into <windows.h> for this folder. It defines macros that clash
// with names the rest of the program uses (MessageBox, MB_OK, IDOK,
// HKEY_LOCAL_MACHINE, KEY_QUERY_VALUE) or that plain code may take (CopyFile,
// DeleteFile): they are undone here, and the Win32 functions are called by
// their ...W names. No header outside
// src/platform/windows may include this one.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif

#include <windows.h>

#undef CopyFile
#undef DeleteFile
#undef MessageBox
#undef MB_OK
#undef MB_YESNO
#undef MB_ICONERROR
#undef MB_ICONQUESTION
#undef IDOK
#undef IDYES
#undef IDNO
#undef HKEY_LOCAL_MACHINE
#undef KEY_QUERY_VALUE

#include <QString>

#include <string>
#include <utility>

namespace zandrel::win32 {

// Owns one handle and closes it when dropped.
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { reset(); }
    Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
    Handle& operator=(Handle&& other) noexcept
    {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    void reset()
    {
        if (valid())
            ::CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// The system's own words for an error code.
QString errorText(DWORD error);

// The path as Win32 is to get it: absolute, with backslashes, and with the
// \\?\ prefix that lifts the 260-character limit. Empty for text that is no
// path (empty, or holding a NUL, which would cut it short).
std::wstring longPath(const QString& path);

inline std::wstring wide(const QString& text) { return text.toStdWString(); }
inline QString fromWide(const wchar_t* text, qsizetype size = -1) { return QString::fromWCharArray(text, size); }

}  // namespace zandrel::win32
