#include "app/Controls.h"

#include "platform/PlatformError.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QVariant>
#include <algorithm>
#include <cmath>

namespace zandrel {

namespace {

QColor toQColor(Colour colour)
{
    return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

// Labels paint their text and background with the window roles, text boxes with
// the text and base roles.
bool isTextBox(const QWidget* widget) { return qobject_cast<const QLineEdit*>(widget) != nullptr; }

Colour storedColour(const QWidget* widget, const char* name, Colour fallback)
{
    const QVariant value = widget->property(name);
    return value.isValid() ? Colour(value.toUInt()) : fallback;
}

// A fixed text colour is only readable on a fixed ground: on the system's
// ground (light or dark, whatever the desktop's theme) the text takes the
// theme's own text colour, which is what black means on a light theme. Roles
// left unset follow the theme, also when it changes while the program runs.
void applyColours(QWidget* widget)
{
    const Colour back = storedColour(widget, "zandrelBackColor", SystemWindowColour);
    QPalette palette;
    if (back != SystemWindowColour) {
        const bool box = isTextBox(widget);
        palette.setColor(box ? QPalette::Base : QPalette::Window, toQColor(back));
        const QColor text = toQColor(storedColour(widget, "zandrelForeColor", Black));
        for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            palette.setColor(group, box ? QPalette::Text : QPalette::WindowText, text);
    }
    widget->setPalette(palette);
}

// A lamp shows its verdict by colour alone; a screen reader says it in words.
QString lampWord(Colour colour)
{
    switch (colour) {
    case Green:
        return QStringLiteral("groen");
    case Yellow:
        return QStringLiteral("geel");
    case Red:
        return QStringLiteral("rood");
    default:
        return QString();
    }
}

// The bar's steps are kept fine enough that a single-precision range maps onto ints.
constexpr int kBarSteps = 1000;

}  // namespace

bool Control::Enabled() const { return !widget_->testAttribute(Qt::WA_Disabled); }

void Control::setEnabled(bool enabled)
{
    if (!widget_)
        throw PlatformError(QStringLiteral("Een onderdeel van het venster ontbreekt."));
    widget_->setEnabled(enabled);
}

bool Control::Visible() const { return !widget_->isHidden(); }
void Control::setVisible(bool visible) { widget_->setVisible(visible); }
void Control::Refresh() { widget_->repaint(); }

Colour ColouredControl::ForeColor() const { return storedColour(widget_, "zandrelForeColor", Black); }

void ColouredControl::setForeColor(Colour colour)
{
    widget_->setProperty("zandrelForeColor", uint(colour));
    applyColours(widget_);
}

Colour ColouredControl::BackColor() const { return storedColour(widget_, "zandrelBackColor", SystemWindowColour); }

void ColouredControl::setBackColor(Colour colour)
{
    widget_->setProperty("zandrelBackColor", uint(colour));
    applyColours(widget_);
    widget_->setAutoFillBackground(true);
    if (widget_->property("zandrelLamp").toBool())
        widget_->setAccessibleDescription(lampWord(colour));
}

// Captions are shown exactly as given: a folder or file named like markup is a
// name, and every blank counts.
Label::Label(QLabel* label) : ColouredControl(label) { label->setTextFormat(Qt::PlainText); }
QString Label::Caption() const { return static_cast<QLabel*>(widget_)->text(); }
namespace {
// The caption a label's reason belongs to.
constexpr char kReasonFor[] = "zandrelReasonFor";
}  // namespace

void Label::setCaption(const QString& caption)
{
    const QVariant reasonFor = widget_->property(kReasonFor);
    if (reasonFor.isValid() && reasonFor.toString() != caption) {
        widget_->setToolTip(QString());
        widget_->setAccessibleDescription(QString());
        widget_->setProperty(kReasonFor, QVariant());
    }
    static_cast<QLabel*>(widget_)->setText(caption);
}

void Label::setReason(const QString& reason)
{
    widget_->setToolTip(reason);
    widget_->setAccessibleDescription(reason);
    widget_->setProperty(kReasonFor, Caption());
}

TextBox::TextBox(QLineEdit* edit) : ColouredControl(edit) {}
QString TextBox::Text() const { return static_cast<QLineEdit*>(widget_)->text(); }
void TextBox::setText(const QString& text) { static_cast<QLineEdit*>(widget_)->setText(text); }

CheckBox::CheckBox(QCheckBox* box) : Control(box) {}
int CheckBox::Value() const { return static_cast<QCheckBox*>(widget_)->isChecked() ? 1 : 0; }
void CheckBox::setValue(int value) { static_cast<QCheckBox*>(widget_)->setChecked(value == 1); }

CommandButton::CommandButton(QAbstractButton* button) : Control(button) {}
void CommandButton::click() { static_cast<QAbstractButton*>(widget_)->click(); }

Image::Image(QLabel* label) : Control(label) { label->setTextFormat(Qt::PlainText); }

void Image::setPicture(const QImage& picture)
{
    auto* label = static_cast<QLabel*>(widget_);
    if (picture.isNull())
        label->clear();
    else
        label->setPixmap(QPixmap::fromImage(picture));
}

QImage Image::Picture() const { return static_cast<QLabel*>(widget_)->pixmap().toImage(); }

ProgressBar::ProgressBar(QProgressBar* bar) : Control(bar) {}

float ProgressBar::Max() const { return widget_->property("zandrelMax").toFloat(); }

void ProgressBar::setMax(float max)
{
    widget_->setProperty("zandrelMax", max);
    setValue(Value());
}

float ProgressBar::Value() const { return widget_->property("zandrelValue").toFloat(); }

void ProgressBar::setValue(float value)
{
    widget_->setProperty("zandrelValue", value);
    auto* bar = static_cast<QProgressBar*>(widget_);
    // A range of 0..0 would turn the bar into a busy indicator; show it empty instead.
    bar->setRange(0, kBarSteps);
    const float max = Max();
    const float share = max > 0 ? std::clamp(value / max, 0.0f, 1.0f) : 0.0f;
    bar->setValue(int(std::lround(share * kBarSteps)));
}

}  // namespace zandrel
