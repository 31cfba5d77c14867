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

// The schemes' colours themselves are checked in their pixels, against the reference picture of
// every scheme (WidgetPictures.GradientPanelInEachScheme); these tests say which scheme applies.
namespace {
PanelColors colorsOfScheme(std::uint8_t scheme)
{
    GradientPanel panel;
    panel.setColorScheme(scheme);
    return panel.colors();
}
} // namespace

TEST(GradientPanel, StartsSilver)
{
    GradientPanel panel;
    EXPECT_EQ(panel.colorScheme(), ColorScheme::csSilver);
    EXPECT_EQ(panel.colors(), colorsOfScheme(3));
    EXPECT_EQ(panel.colors().face, QColor(Qt::white));
}

TEST(GradientPanel, EachSchemeSetsItsColoursOthersKeepTheCurrentOnes)
{
    struct Case {
        std::uint8_t scheme;
        ColorScheme schemeAfter;
    };
    // Every case starts from a panel with custom colours.
    const PanelColors custom { QColor(1, 2, 3), QColor(4, 5, 6), QColor(7, 8, 9), QColor(10, 11, 12) };
    const Case cases[] = {
        { 0, ColorScheme::csCustom },
        { 1, ColorScheme::csDesert },
        { 2, ColorScheme::csGrass },
        { 3, ColorScheme::csSilver },
        { 4, ColorScheme::csSky },
        { 5, ColorScheme::csRose },
        { 6, ColorScheme::csSun },
        { 7, ColorScheme::csCustom },
        { 255, ColorScheme::csCustom },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.scheme));
        GradientPanel panel;
        panel.setColors(custom);
        panel.setColorScheme(c.scheme);
        EXPECT_EQ(panel.colorScheme(), c.schemeAfter);
        EXPECT_EQ(panel.colors(), c.schemeAfter == ColorScheme::csCustom ? custom : schemeColors(c.schemeAfter));
    }
}

TEST(GradientPanel, OutOfRangeSchemeLeavesTheSchemeAlone)
{
    GradientPanel panel;
    panel.setColorScheme(1);
    panel.setColorScheme(200);
    EXPECT_EQ(panel.colorScheme(), ColorScheme::csDesert);
    EXPECT_EQ(panel.colors(), colorsOfScheme(1));
}
