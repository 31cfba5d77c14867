#include "devicebase/Format.h"
#include "platform/Error.h"
#include "platform/Platform.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

using namespace caltrix;
using devicebase::Format;

TEST(Format, FollowsTheLogConventions)
{
    platform::ScopedLocale point(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(Format("Fail(0x%.2dX)", { 7 }), "Fail(0x07X)");
    EXPECT_EQ(Format("%.2X %.2x %X %x", { 10, 255, 0x1ab, 0xc }), "0A FF 1AB C");
    EXPECT_EQ(Format("%X", { -1 }), "FFFFFFFF");
    EXPECT_EQ(Format("%d / %d", { std::int64_t { 123456789012 }, -4 }), "123456789012 / -4");
    EXPECT_EQ(Format("%.2d", { -3 }), "-03");
    EXPECT_EQ(Format("%f", { 2.5 }), "2.50");
    EXPECT_EQ(Format("%f", { 3 }), "3.00");
    EXPECT_EQ(Format("%2.1f|%5d|%-4d|", { 8.0, 42, 7 }), "8.0|   42|7   |");
    EXPECT_EQ(Format("%s = %u%%", { "RD", 5u }), "RD = 5%");
    EXPECT_EQ(Format("no args", {}), "no args");
}

TEST(Format, UsesTheUsersDecimalSeparator)
{
    platform::ScopedLocale comma(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(Format("%f", { 28.6 }), "28,60");
    EXPECT_EQ(Format("No key name for %2.1f", { 8.0 }), "No key name for 8,0");
}

TEST(Format, PatternAndArgumentsThatDoNotFitAreAnError)
{
    EXPECT_THROW(Format("%d", {}), platform::Error);
    EXPECT_THROW(Format("%d", { "text" }), platform::Error);
    EXPECT_THROW(Format("%s", { 1 }), platform::Error);
    EXPECT_THROW(Format("%q", { 1 }), platform::Error);
    EXPECT_THROW(Format("trailing %", { 1 }), platform::Error);
}
