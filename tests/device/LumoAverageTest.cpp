// The moving average of the trainer device's heart, cadence and speed values.
#include "device/LumoAverage.h"

#include <gtest/gtest.h>

using caltrix::device::TLumoAverage;

TEST(LumoAverage, EmptySlotsCountAsZeroUntilTheWindowIsFull)
{
    TLumoAverage a;
    a.SetSize(3);
    a.Add(30);
    EXPECT_DOUBLE_EQ(a.GetAverage(), 10);
    a.Add(30);
    EXPECT_DOUBLE_EQ(a.GetAverage(), 20);
    a.Add(60);
    EXPECT_DOUBLE_EQ(a.GetAverage(), 40);
    a.Add(90); // the first 30 falls out
    EXPECT_DOUBLE_EQ(a.GetAverage(), 60);
}

TEST(LumoAverage, ResizingKeepsTheNewestValuesAndIgnoresNonPositiveSizes)
{
    TLumoAverage a;
    EXPECT_EQ(a.Values, std::vector<double>({ 0.0 }));
    a.Add(5); // one slot: replaced
    a.Add(7);
    EXPECT_EQ(a.Values, std::vector<double>({ 7.0 }));
    a.SetSize(3);
    a.Add(8);
    EXPECT_EQ(a.Values, std::vector<double>({ 8.0, 7.0, 0.0 }));
    a.SetSize(0);
    a.SetSize(-1);
    EXPECT_EQ(a.Values.size(), 3u);
    a.SetSize(2);
    EXPECT_EQ(a.Values, std::vector<double>({ 8.0, 7.0 }));
}
