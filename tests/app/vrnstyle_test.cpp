#include "app/vrnstyle.h"

#include <QStyleFactory>
#include <gtest/gtest.h>
#include <set>

TEST(VRNStyle, AnswersItsTwoOverridesAndDefersTheRest)
{
    VRNStyle style;
    std::unique_ptr<QStyle> base(QStyleFactory::create(QStringLiteral("Windows")));
    ASSERT_TRUE(base);

    EXPECT_EQ(style.pixelMetric(QStyle::PM_SmallIconSize), 32);
    EXPECT_NE(base->pixelMetric(QStyle::PM_SmallIconSize), 32) << "the override must matter";
    EXPECT_EQ(style.styleHint(QStyle::SH_ItemView_PaintAlternatingRowColorsForEmptyArea), 1);
    EXPECT_EQ(base->styleHint(QStyle::SH_ItemView_PaintAlternatingRowColorsForEmptyArea), 0);

    // The base style derives these two from the small icon size through its proxy,
    // so they follow the override.
    const std::set<QStyle::PixelMetric> derived{
        QStyle::PM_SmallIconSize, QStyle::PM_ListViewIconSize, QStyle::PM_TabBarIconSize};
    EXPECT_EQ(style.pixelMetric(QStyle::PM_ListViewIconSize), 32);
    for (int m = 0; m <= int(QStyle::PM_TitleBarButtonSize); ++m) {
        const auto metric = static_cast<QStyle::PixelMetric>(m);
        if (!derived.contains(metric)) {
            EXPECT_EQ(style.pixelMetric(metric), base->pixelMetric(metric)) << m;
        }
    }
    for (int h = 0; h <= int(QStyle::SH_Widget_Animation_Duration); ++h) {
        const auto hint = static_cast<QStyle::StyleHint>(h);
        if (hint != QStyle::SH_ItemView_PaintAlternatingRowColorsForEmptyArea) {
            EXPECT_EQ(style.styleHint(hint), base->styleHint(hint)) << h;
        }
    }
}
