// The screen kept awake through the desktop's screen saver service: against a stand-in of that
// service on a private session bus (the CTest entries run these under dbus-run-session), without
// the service, and without any session bus.
#include "desktop/QtDesktop.h"
#include "desktop/ScreenSaverInhibitor.h"

#include "ProcessUntil.h"
#include "QtPrinters.h"
#include "ScreenSaverStandIn.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

using namespace caltrix;
using Call = test::ScreenSaverStandIn::Call;

namespace {

const QString Reason = QStringLiteral("A trainer is connected");

Call inhibit() { return { QStringLiteral("Inhibit"), { QStringLiteral("Caltrix"), Reason } }; }
Call unInhibit(std::uint32_t cookie) { return { QStringLiteral("UnInhibit"), { QVariant::fromValue(cookie) } }; }

// Holds, lets go, holds again and ends, as a program does that loses its trainer, finds it again
// and is closed.
void holdReleaseHoldAndEnd()
{
    auto desktop = std::make_unique<desktop::QtDesktop>();
    desktop->keepScreenAwake(Reason);
    desktop->letScreenSleep();
    desktop->keepScreenAwake(Reason);
    desktop.reset();
}

class ScreenSaverOnPrivateBus : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!test::onPrivateBus())
            GTEST_SKIP() << "runs under dbus-run-session only (its CTest entry), never on the desktop's own bus";
        standIn = std::make_unique<test::ScreenSaverStandIn>();
        ASSERT_TRUE(standIn->registered());
    }

    bool callsReach(std::size_t count)
    {
        return QTest::qWaitFor([&] { return standIn->calls().size() >= count; }, test::PatienceMs);
    }

    std::unique_ptr<test::ScreenSaverStandIn> standIn;
};

} // namespace

TEST_F(ScreenSaverOnPrivateBus, AHoldInhibitsOnceAndEachReleaseGivesItsCookieBack)
{
    auto desktop = std::make_unique<desktop::QtDesktop>();
    desktop->keepScreenAwake(Reason);
    desktop->keepScreenAwake(Reason);
    ASSERT_TRUE(callsReach(1));
    desktop->letScreenSleep();
    ASSERT_TRUE(callsReach(2));
    desktop->keepScreenAwake(Reason);
    ASSERT_TRUE(callsReach(3));
    desktop.reset(); // the program's end: the release reaches the service before it is over
    EXPECT_EQ(standIn->calls(), (std::vector<Call> { inhibit(), unInhibit(101), inhibit(), unInhibit(102) }));
}

TEST_F(ScreenSaverOnPrivateBus, ALetGoBeforeTheAnswerIsGivenBackOnceTheCookieComes)
{
    desktop::QtDesktop desktop;
    desktop.keepScreenAwake(Reason);
    desktop.letScreenSleep();
    ASSERT_TRUE(callsReach(2));
    EXPECT_EQ(standIn->calls(), (std::vector<Call> { inhibit(), unInhibit(101) }));
}

TEST_F(ScreenSaverOnPrivateBus, AnEndBeforeTheAnswerStillGivesTheCookieBack)
{
    auto desktop = std::make_unique<desktop::QtDesktop>();
    desktop->keepScreenAwake(Reason);
    desktop.reset();
    EXPECT_EQ(standIn->calls(), (std::vector<Call> { inhibit(), unInhibit(101) }));
}

// Without the service the bus answers at once that nobody has its name: nothing is said, and the
// end does not wait for an answer that cannot come.
TEST(ScreenSaverOnPrivateBusWithoutService, NothingHappensAndNothingWaits)
{
    if (!test::onPrivateBus())
        GTEST_SKIP() << "runs under dbus-run-session only (its CTest entry), where no screen saver runs";
    QElapsedTimer took;
    took.start();
    holdReleaseHoldAndEnd();
    EXPECT_LT(took.elapsed(), desktop::ScreenSaverInhibitor::BusAnswerMs);
}

// Its CTest entry points DBUS_SESSION_BUS_ADDRESS at a socket that does not exist.
TEST(ScreenSaverWithoutBus, NothingHappensAndNothingWaits)
{
    ASSERT_FALSE(QDBusConnection::sessionBus().isConnected()) << "run by its CTest entry, without a session bus";
    QElapsedTimer took;
    took.start();
    holdReleaseHoldAndEnd();
    EXPECT_LT(took.elapsed(), desktop::ScreenSaverInhibitor::BusAnswerMs);
}
