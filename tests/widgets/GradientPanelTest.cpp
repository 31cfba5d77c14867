#include "widgets/GradientPanel.h"

#include "QtGuiPrinters.h"

#include <gtest/gtest.h>

using namespace caltrix::widgets;

namespace caltrix::widgets {
void PrintTo(const PanelColors& c, std::ostream* os)
{
    *os << "face ";
    ::PrintTo(c.face, os);
    *os << ", gradient ";
    ::PrintTo(c.gradient, os);
    *os << ", light ";
    ::PrintTo(c.light, os);
    *os << ", dark ";
    ::PrintTo(c.dark, os);
}
} // namespace caltrix::widgets

namespace {
const PanelColors Silver { Qt::white, QColor(0xDEE0DA), QColor(0x7D7D7D), QColor(0x626262) };
const PanelColors Desert { Qt::white, QColor(0xFFE1A4), QColor(0xD58F00), QColor(0x9B6900) };
} // namespace

TEST(GradientPanel, StartsSilver)
{
    GradientPanel panel;
    EXPECT_EQ(panel.colorScheme(), ColorScheme::csSilver);
    EXPECT_EQ(panel.faceColor(), QColor(Qt::white));
    EXPECT_EQ(panel.gradientColor(), QColor(0xDEE0DA));
    EXPECT_EQ(panel.lightColor(), QColor(0x7D7D7D));
    EXPECT_EQ(panel.darkColor(), QColor(0x626262));
}

TEST(GradientPanel, EachSchemeSetsItsColoursOthersKeepTheCurrentOnes)
{
    struct Case {
        std::uint8_t scheme;
        PanelColors colors;
        ColorScheme schemeAfter;
    };
    // Every case starts from a panel with custom colours.
    const PanelColors custom { QColor(1, 2, 3), QColor(4, 5, 6), QColor(7, 8, 9), QColor(10, 11, 12) };
    const Case cases[] = {
        { 0, custom, ColorScheme::csCustom },
        { 1, Desert, ColorScheme::csDesert },
        { 2, { Qt::white, QColor(0xCBF2B0), QColor(0x6AB53E), QColor(0x376F15) }, ColorScheme::csGrass },
        { 3, Silver, ColorScheme::csSilver },
        { 4, { Qt::white, QColor(0xC1E0FF), QColor(0x4D96F0), QColor(0x0059B3) }, ColorScheme::csSky },
        { 5, { Qt::white, QColor(0xFFCCCC), QColor(0xCC5106), QColor(0x9D0000) }, ColorScheme::csRose },
        { 6, { Qt::white, QColor(0xFFFFBF), QColor(0x959500), QColor(0x646400) }, ColorScheme::csSun },
        { 7, custom, ColorScheme::csCustom },
        { 255, custom, ColorScheme::csCustom },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.scheme));
        GradientPanel panel;
        panel.setColors(custom);
        panel.setColorScheme(c.scheme);
        EXPECT_EQ(panel.colors(), c.colors);
        EXPECT_EQ(panel.colorScheme(), c.schemeAfter);
    }
}

TEST(GradientPanel, OutOfRangeSchemeLeavesTheSchemeAlone)
{
    GradientPanel panel;
    panel.setColorScheme(1);
    panel.setColorScheme(200);
    EXPECT_EQ(panel.colorScheme(), ColorScheme::csDesert);
    EXPECT_EQ(panel.colors(), Desert);
}
