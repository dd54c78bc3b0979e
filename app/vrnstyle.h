#pragma once

#include <QProxyStyle>

// The application's widget style: the "Windows" style with 32-pixel small icons and
// alternating row colours painted into the empty part of item views.
class VRNStyle : public QProxyStyle
{
    Q_OBJECT

public:
    VRNStyle();

    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
};
