#pragma once

#include <QImage>
#include <QString>
#include <cstdint>

class QWidget;
class QLabel;
class QLineEdit;
class QCheckBox;
class QAbstractButton;
class QProgressBar;

namespace zandrel {

// Colours as numbers in the 0x00BBGGRR form; SystemWindowColour stands for the
// palette's base colour (the background of a text box).
using Colour = std::uint32_t;
constexpr Colour Black = 0;
constexpr Colour Red = 255;
constexpr Colour Green = 65280;
constexpr Colour Yellow = 65535;
constexpr Colour White = 16777215;
constexpr Colour SystemWindowColour = 0x80000005;

// Thin views on the window's widgets, with the properties the handlers use.
// They hold no state of their own: every value lives in the widget.
class Control {
public:
    Control() = default;
    explicit Control(QWidget* widget) : widget_(widget) {}
    bool Enabled() const;
    void setEnabled(bool enabled);
    bool Visible() const;  // the control's own flag, whether or not the window is shown
    void setVisible(bool visible);
    void Refresh();  // repaint at once
    QWidget* widget() const { return widget_; }

protected:
    QWidget* widget_ = nullptr;
};

// Labels and text boxes both carry a text and two colours.
class ColouredControl : public Control {
public:
    using Control::Control;
    Colour ForeColor() const;
    void setForeColor(Colour colour);
    Colour BackColor() const;
    void setBackColor(Colour colour);
};

class Label : public ColouredControl {
public:
    Label() = default;
    explicit Label(QLabel* label);
    QString Caption() const;
    void setCaption(const QString& caption);
    // Why the caption says what it says, for whoever looks closer: the label's
    // tooltip and its description for a screen reader, until the caption changes.
    void setReason(const QString& reason);
};

class TextBox : public ColouredControl {
public:
    TextBox() = default;
    explicit TextBox(QLineEdit* edit);
    QString Text() const;
    void setText(const QString& text);
};

// Setting Value from code runs the click handler when, and only when, the value changes.
class CheckBox : public Control {
public:
    CheckBox() = default;
    explicit CheckBox(QCheckBox* box);
    int Value() const;  // 0 unticked, 1 ticked
    void setValue(int value);
};

class CommandButton : public Control {
public:
    CommandButton() = default;
    explicit CommandButton(QAbstractButton* button);
    void click();  // as a user's click: nothing happens while disabled or hidden
};

class Image : public Control {
public:
    Image() = default;
    explicit Image(QLabel* label);
    void setPicture(const QImage& picture);  // a null image is the empty picture
    QImage Picture() const;
};

// Single-precision range as the common progress bar keeps it. A maximum of 0
// shows an empty bar, and values are held inside the range.
class ProgressBar : public Control {
public:
    ProgressBar() = default;
    explicit ProgressBar(QProgressBar* bar);
    float Max() const;
    void setMax(float max);
    float Value() const;
    void setValue(float value);
};

}  // namespace zandrel
