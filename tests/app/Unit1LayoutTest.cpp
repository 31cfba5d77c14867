// The window's arithmetic without a widget: placing items on the scale, the roll diameter.
#include "app/Unit1Layout.h"

#include <gtest/gtest.h>

#include <limits>

using namespace caltrix::app;

TEST(Unit1Layout, CircumferenceToRollDiameterRoundsHalvesToEven)
{
    struct Case {
        std::int32_t circumference;
        std::int32_t diameter;
    };
    for (const Case c : { Case { 2070, 74 }, { 2096, 75 }, { 1000, 36 }, { 1396, 50 }, { 0, 0 }, { -2070, -74 },
             { std::numeric_limits<std::int32_t>::max(), 76891482 } })
        EXPECT_EQ(CircumferenceToRollDiameter(c.circumference), c.diameter) << c.circumference;
}

TEST(Unit1Layout, ItemsAreCentredOnTheirSpeedWithoutClamping)
{
    struct Case {
        double speed;
        int markerLeft; // Shape2, 10 wide
        int arrowLeft;  // VrArrow1, 33 wide
    };
    for (const Case c : { Case { 0, 3, -8 }, { 25, 156, 144 }, { 50, 308, 296 }, { 60, 369, 358 }, { 23.46, 146, 135 },
             { -10, -58, -70 }, { 15, 94, 83 } }) {
        EXPECT_EQ(ScaleItemLeft(layout::Shape1, layout::Shape2.width(), c.speed), c.markerLeft) << c.speed;
        EXPECT_EQ(ScaleItemLeft(layout::Shape1, layout::VrArrow1.width(), c.speed), c.arrowLeft) << c.speed;
    }
}

TEST(Unit1Layout, SpeedsNoWindowCanShowStayWithinCoordinates)
{
    const int far = 1 << 30;
    EXPECT_EQ(ScaleItemLeft(layout::Shape1, 33, 1e300), far);
    EXPECT_EQ(ScaleItemLeft(layout::Shape1, 33, -std::numeric_limits<double>::infinity()), -far);
    EXPECT_EQ(ScaleItemLeft(layout::Shape1, 33, std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(RoundHalfEven(2.5L), 2);
    EXPECT_EQ(RoundHalfEven(-3.5L), -4);
}
