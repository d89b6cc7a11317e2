#pragma once

#include <QString>

namespace zandrel {

// The fixed layout was drawn for Liberation Sans and DejaVu Sans. A system that
// lacks one (Windows) gets the copy in `folder`, which comes beside the program.
void addMissingFonts(const QString& folder);

}  // namespace zandrel
