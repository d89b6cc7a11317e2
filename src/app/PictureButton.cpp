#include "app/PictureButton.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace zandrel {

PictureButton::PictureButton(const QImage& picture, QWidget* parent) : QPushButton(parent), picture_(picture) {}

void PictureButton::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    painter.drawControl(QStyle::CE_PushButtonBevel, option);
    const QRect face = rect().adjusted(2, 2, -2, -2).translated(isDown() ? QPoint(1, 1) : QPoint());
    if (!isEnabled())
        painter.setOpacity(0.4);
    painter.drawImage(face, picture_);
}

}  // namespace zandrel
