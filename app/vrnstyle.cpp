#include "app/vrnstyle.h"

#include <QStyleFactory>

VRNStyle::VRNStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Windows"))) {}

int VRNStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                          const QWidget* widget) const
{
    if (metric == PM_SmallIconSize)
        return 32;
    return QProxyStyle::pixelMetric(metric, option, widget);
}

int VRNStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                        QStyleHintReturn* returnData) const
{
    if (hint == SH_ItemView_PaintAlternatingRowColorsForEmptyArea)
        return 1;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}
