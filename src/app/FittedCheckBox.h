#pragma once

class QCheckBox;

namespace zandrel {

// The window's check boxes are narrower and lower than most styles draw their
// box; this makes the style draw it to fit, whole, with a pixel to spare for
// the rounding of a fractional screen scale.
void fitIndicator(QCheckBox* box);

}  // namespace zandrel
