#pragma once

#include <QImage>
#include <QPushButton>

namespace zandrel {

// A graphical command button: its picture fills the whole face.
class PictureButton : public QPushButton {
    Q_OBJECT
public:
    PictureButton(const QImage& picture, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
};

}  // namespace zandrel
