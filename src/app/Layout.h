#pragma once

#include <QRect>
#include <QString>
#include <vector>

namespace zandrel {

// One control of the window as it was drawn, from the layout table
// (src/app/resources/layout.tsv), which the tests read too.
struct LayoutRow {
    QString name;
    QString kind;                  // label, status, text, check, button, picture, progress, image or line
    int left, top, width, height;  // twips within the client area
    QString caption;

    QRect pixels() const;
};

constexpr int kTwipsPerPixel = 15;

// The window's controls in tab order, read once from the table built into the program.
const std::vector<LayoutRow>& windowLayout();

// Whether a control of this kind takes the keyboard focus.
bool takesFocus(const LayoutRow& row);

}  // namespace zandrel
