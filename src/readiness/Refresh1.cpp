#include "app/Zandrel.h"

namespace zandrel {

void Zandrel::Refresh1_Click()
{
    repaint();
    procent.setCaption(QString());
    ProgressBar.setValue(0);
    LoadSettings();
}

}  // namespace zandrel
