#include "app/Zandrel.h"

#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>

namespace zandrel {

namespace {

// A click on the caption beside a check box ticks the box, as a click on the
// box itself would: the box's value changes and its handler runs the same way.
class CaptionTicksBox : public QObject {
public:
    CaptionTicksBox(QLabel* caption, QCheckBox* box) : QObject(caption), box_(box) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::MouseButtonRelease)
            return false;
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const auto* caption = static_cast<QWidget*>(watched);
        if (mouse->button() == Qt::LeftButton && caption->rect().contains(mouse->position().toPoint())
            && box_->isEnabled() && !box_->isHidden()) {
            box_->setFocus(Qt::MouseFocusReason);
            box_->click();
        }
        return false;
    }

private:
    QCheckBox* box_;
};

// The caption also names its control for a screen reader (a label-for relation).
QLabel* linkCaption(Label& caption, Control& control)
{
    auto* label = static_cast<QLabel*>(caption.widget());
    label->setBuddy(control.widget());
    return label;
}

}  // namespace

void Zandrel::linkCaptions()
{
    const std::pair<Label*, CheckBox*> boxes[] = {
        {&Label1, &sDel}, {&Label4, &sOpen}, {&sFotoaan, &sPreview}, {&Label2, &sAutodatum}, {&Label3, &sSet}};
    for (const auto& [caption, box] : boxes) {
        QLabel* label = linkCaption(*caption, *box);
        label->installEventFilter(new CaptionTicksBox(label, static_cast<QCheckBox*>(box->widget())));
    }
    linkCaption(Camerpath, Cpath);
    linkCaption(Label5, Fpath);
    // A figure keeps its number as its name, so a change is still announced;
    // its caption goes along as the description.
    for (const auto& [caption, figure] : {std::pair{&Allemaal, &sAantal}, std::pair{&MB, &sMB}}) {
        linkCaption(*caption, *figure);
        figure->widget()->setAccessibleDescription(caption->Caption());
    }
}

}  // namespace zandrel
