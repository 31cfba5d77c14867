#include "devicebase/EMVel.h"
#include "devicebase/Helpers.h"
#include "platform/Platform.h"
#include "platform/VirtualClock.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace caltrix;
using namespace caltrix::devicebase;

TEST(RoundToDigits, RoundsHalfAwayFromZeroAndSnapsToPositiveZero)
{
    struct Case {
        int digits;
        long double x;
        long double expected;
    };
    const Case cases[] = {
        { 1, 2.25L, 2.3L },
        { 1, -2.25L, -2.3L },
        { 0, 2.5L, 3.0L },
        { 0, -2.5L, -3.0L },
        { 2, 23.456L, 23.46L },
        { 1, -0.04L, 0.0L },
        { 0, 0.4999L, 0.0L },
    };
    for (const auto& c : cases) {
        const long double r = RoundToDigits(c.digits, c.x);
        EXPECT_NEAR(static_cast<double>(r), static_cast<double>(c.expected), 1e-12) << static_cast<double>(c.x);
        EXPECT_FALSE(std::signbit(r) && r == 0) << "negative zero for " << static_cast<double>(c.x);
    }
}

TEST(NumericHelpers, NearZeroBandAndPowers)
{
    EXPECT_TRUE(IsNearZero(1e-8L));
    EXPECT_TRUE(IsNearZero(-1e-8L));
    EXPECT_FALSE(IsNearZero(2e-8L));
    EXPECT_EQ(PowerOfTen(0), 1);
    EXPECT_EQ(PowerOfTen(9), 1000000000);
    EXPECT_EQ(IntPower(-2, 3), -8);
    EXPECT_EQ(IntPower(10, 10), 1410065408) << "wraps in 32 bits without an overflow check";
}

TEST(DelimitedFields, CountGetAndCut)
{
    const QChar tab('\t');
    struct CountCase {
        const char* text;
        int fields;
    };
    const CountCase counts[] = { { "", 0 }, { "a", 1 }, { "a\tb\t", 2 }, { "\ta", 2 }, { "a\t\tb", 3 }, { "\t", 1 } };
    for (const auto& c : counts)
        EXPECT_EQ(CountDelimitedFields(QString::fromLatin1(c.text), tab), c.fields) << c.text;

    const QString s = "a\t\tb";
    EXPECT_EQ(GetDelimitedField(s, tab, 0), "a");
    EXPECT_EQ(GetDelimitedField(s, tab, 1), "");
    EXPECT_EQ(GetDelimitedField(s, tab, 2), "b");
    EXPECT_EQ(GetDelimitedField(s, tab, 3), "");
    EXPECT_EQ(GetDelimitedField(s, tab, -1), "");
    EXPECT_EQ(GetDelimitedField(" x \ty", tab, 0), " x ") << "nothing is trimmed";

    QString rest = "12,5\t7";
    QString field;
    CutDelimitedField(rest, tab, field);
    EXPECT_EQ(field, "12,5");
    EXPECT_EQ(rest, "7");
    CutDelimitedField(rest, tab, field);
    EXPECT_EQ(field, "7");
    EXPECT_EQ(rest, "");
}

TEST(EMVel, MessageIsTableTextCodeAndDetail)
{
    const EMVel error(4, "bad cell");
    EXPECT_EQ(error.ErrorCode, 4);
    EXPECT_EQ(error.message(), "Error while reading the resistance map (Error code: 4)\r\nbad cell");
    EXPECT_EQ(EMVel(0, "").message(), "One or more competitor(s) not ready to start (Error code: 0)\r\n");
    EXPECT_EQ(EMVel(9, "x").message(), "Device library error (Error code: 9)\r\nx") << "no read past the table";
}

class WaitProcessingMessagesTest : public ::testing::Test {
protected:
    platform::VirtualClock clock { 1000 };
    platform::ScopedClock scope { clock };
};

TEST_F(WaitProcessingMessagesTest, ReturnsAfterTheTimeHavingHandledWhatCameDueMeanwhile)
{
    std::vector<std::uint64_t> ran;
    clock.callAfter(400, [&] { ran.push_back(clock.elapsed()); });
    clock.callAfter(9000, [&] { ran.push_back(clock.elapsed()); });
    WaitProcessingMessages(1000);
    EXPECT_EQ(clock.elapsed(), 1000u);
    EXPECT_EQ(ran, std::vector<std::uint64_t> { 400 });
}

TEST_F(WaitProcessingMessagesTest, UntilEndsWhenAHandlerSetsTheFlag)
{
    bool connected = false;
    clock.callAfter(250, [&] { connected = true; });
    EXPECT_TRUE(WaitProcessingMessagesUntil(10000, [&] { return connected; }));
    EXPECT_EQ(clock.elapsed(), 250u);
    EXPECT_TRUE(WaitProcessingMessagesUntil(10000, [&] { return connected; })) << "no wait when already set";
    EXPECT_EQ(clock.elapsed(), 250u);
    EXPECT_FALSE(WaitProcessingMessagesUntil(1000, [] { return false; }));
    EXPECT_EQ(clock.elapsed(), 1250u);
}

TEST_F(WaitProcessingMessagesTest, ZeroOrNegativeDoesOnePass)
{
    int ran = 0;
    clock.callAfter(0, [&] { ++ran; });
    clock.callAfter(1, [&] { ++ran; });
    WaitProcessingMessages(0);
    EXPECT_EQ(ran, 1);
    WaitProcessingMessages(-5);
    EXPECT_EQ(clock.elapsed(), 0u);
}

TEST(WaitProcessingMessagesWrap, ReturnsEarlyOnlyWhenTheTickCrossesTheSignedBoundary)
{
    struct Case {
        std::uint32_t start;
        std::uint64_t waited;
    };
    const Case cases[] = { { 0x7FFFFF00u, 0x100 }, { 0xFFFFFF00u, 1000 } };
    for (const auto& c : cases) {
        platform::VirtualClock clock(c.start);
        platform::ScopedClock scope(clock);
        WaitProcessingMessages(1000);
        EXPECT_EQ(clock.elapsed(), c.waited) << std::hex << c.start;
    }
}
