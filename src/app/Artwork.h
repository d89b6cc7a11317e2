#pragma once

#include <QIcon>
#include <QImage>

namespace zandrel {

QImage starImage(int size);  // the window icon: a cyan six-armed star on a transparent ground
QIcon zandrelIcon();         // the star at 16 and 32 pixels
QImage startPicture();       // 305 x 66: START in black brush capitals, drop shadow, grey ground

}  // namespace zandrel
