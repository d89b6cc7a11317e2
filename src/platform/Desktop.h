#pragma once

#include <QDate>
#include <QImage>
#include <QSize>
#include <QString>

namespace zandrel {

// Starts another program with one argument, detached; never waits for it.
class Launcher {
public:
    virtual ~Launcher() = default;
    virtual void Launch(const QString& program, const QString& argument) = 0;
};

// Message box flags and answers, as numbers.
constexpr int MB_OK = 0;
constexpr int MB_YESNO = 4;
constexpr int MB_ICONERROR = 16;
constexpr int MB_ICONQUESTION = 32;
constexpr int IDOK = 1;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

class MessageBox {
public:
    virtual ~MessageBox() = default;
    // Modal; returns the button pressed (IDOK, IDYES or IDNO).
    virtual int Show(const QString& prompt, int flags, const QString& title) = 0;
};

class PictureLoader {
public:
    virtual ~PictureLoader() = default;
    // A picture for a preview box of the given size; a null image when the file
    // holds nothing that can be decoded.
    virtual QImage LoadPicture(const QString& path, QSize boxSize) = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDate Today() = 0;  // the current local date, one reading
};

}  // namespace zandrel
