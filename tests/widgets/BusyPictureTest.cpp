#include "widgets/BusyPicture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using caltrix::widgets::BusyPicture;

namespace {
struct Ink {
    double amount = 0; // sum of alpha over the frame
    double angle = 0;  // direction of the ink's centroid from the frame's centre, clockwise from up, degrees
};

Ink inkOf(const QImage& strip, int frame)
{
    const int side = BusyPicture::FrameSize;
    double sum = 0, sx = 0, sy = 0;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const double a = qAlpha(strip.pixel(frame * side + x, y));
            sum += a;
            sx += a * (x + 0.5 - side / 2.0);
            sy += a * (y + 0.5 - side / 2.0);
        }
    return { sum, std::atan2(sx, -sy) * 180 / std::numbers::pi };
}
} // namespace

TEST(BusyPicture, StripHoldsEightFramesOfBlackDotsOnTransparency)
{
    const QImage& strip = BusyPicture::strip();
    ASSERT_EQ(strip.size(), QSize(352, 44));
    EXPECT_EQ(qAlpha(strip.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(strip.pixel(22 + 44 * 3, 22)), 0); // the ring's middle stays empty
    for (int x = 0; x < strip.width(); ++x)
        for (int y = 0; y < strip.height(); ++y) {
            const QRgb p = strip.pixel(x, y);
            ASSERT_EQ(qRed(p) | qGreen(p) | qBlue(p), 0) << "at " << x << ", " << y;
        }
}

TEST(BusyPicture, RingTurnsOneStepClockwisePerFrame)
{
    const QImage& strip = BusyPicture::strip();
    const Ink first = inkOf(strip, 0);
    ASSERT_GT(first.amount, 0);
    for (int f = 1; f <= BusyPicture::FrameCount; ++f) {
        SCOPED_TRACE(f);
        const Ink previous = inkOf(strip, f - 1);
        const Ink ink = inkOf(strip, f % BusyPicture::FrameCount);
        const double turn = std::remainder(ink.angle - previous.angle, 360.0);
        EXPECT_NEAR(turn, 45.0, 1.0);
        EXPECT_NEAR(ink.amount, first.amount, first.amount * 0.02);
    }
}

TEST(BusyPicture, FrameWrapsAroundTheStrip)
{
    const std::pair<int, int> cases[] = { { 0, 0 }, { 1, 1 }, { 7, 7 }, { 8, 0 }, { 9, 1 }, { -1, 7 }, { -17, 7 } };
    BusyPicture picture;
    for (const auto& [set, shown] : cases) {
        picture.setFrame(set);
        EXPECT_EQ(picture.frame(), shown) << "setFrame(" << set << ")";
    }
}

TEST(BusyPicture, StandsUntilSetRunning)
{
    BusyPicture picture;
    EXPECT_EQ(picture.size(), QSize(44, 44));
    EXPECT_FALSE(picture.running());
    picture.setRunning(true);
    EXPECT_TRUE(picture.running());
    picture.setRunning(false);
    EXPECT_FALSE(picture.running());
}
