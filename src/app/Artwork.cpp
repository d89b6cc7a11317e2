#include "app/Artwork.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>

namespace zandrel {

QImage starImage(int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(size / 2.0, size / 2.0);
    const double outer = size * 0.48, inner = size * 0.2;
    QPainterPath star;
    for (int i = 0; i < 12; ++i) {
        const double angle = M_PI / 2 + i * M_PI / 6;
        const double radius = i % 2 == 0 ? outer : inner;
        const QPointF point(centre.x() + radius * std::cos(angle), centre.y() - radius * std::sin(angle));
        i == 0 ? star.moveTo(point) : star.lineTo(point);
    }
    star.closeSubpath();
    painter.setPen(QPen(QColor(0, 128, 128), size / 16.0));
    painter.setBrush(QColor(0, 255, 255));
    painter.drawPath(star);
    return image;
}

QIcon zandrelIcon()
{
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(starImage(16)));
    icon.addPixmap(QPixmap::fromImage(starImage(32)));
    return icon;
}

QImage startPicture()
{
    QImage image(305, 66, QImage::Format_RGB32);
    image.fill(QColor(192, 192, 192));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(48);
    font.setWeight(QFont::Black);
    font.setItalic(true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 4);
    painter.setFont(font);
    const QRect area = image.rect();
    painter.setPen(QColor(110, 110, 110));
    painter.drawText(area.translated(4, 4), Qt::AlignCenter, QStringLiteral("START"));
    painter.setPen(Qt::black);
    painter.drawText(area, Qt::AlignCenter, QStringLiteral("START"));
    return image;
}

}  // namespace zandrel
