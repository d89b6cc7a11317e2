#include "app/FittedCheckBox.h"

#include <QCheckBox>
#include <QProxyStyle>
#include <algorithm>

namespace zandrel {

namespace {

class FittedIndicatorStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        const int size = QProxyStyle::pixelMetric(metric, option, widget);
        if (widget && (metric == PM_IndicatorWidth || metric == PM_IndicatorHeight))
            return std::min(size, std::min(widget->width(), widget->height()) - 1);
        return size;
    }

    // The box has no room for its caption, around which a style draws the focus
    // frame: only a sliver of it would show. The box's own frame shows the focus.
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override
    {
        if (element != PE_FrameFocusRect)
            QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
};

}  // namespace

void fitIndicator(QCheckBox* box)
{
    auto* style = new FittedIndicatorStyle;
    style->setParent(box);
    box->setStyle(style);
}

}  // namespace zandrel
