#include "devicebase/VelDeviceBaseClasses.h"
#include "platform/Error.h"
#include "platform/Platform.h"
#include "RecordingDesktop.h"
#include "platform/VirtualClock.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

using namespace caltrix;
using namespace caltrix::devicebase;

namespace {
// The device's statistics timer keeps the clock it was made on.
class VelCustomDevice : public testing::Test {
protected:
    platform::VirtualClock clock;
    platform::ScopedClock scope { clock };
};
} // namespace

TEST_F(VelCustomDevice, NewDeviceHasItsStartValues)
{
    TVelCustomDevice d(nullptr);
    EXPECT_EQ(d.RiderId(), -1);
    EXPECT_EQ(d.HeartMaxLimit(), 220);
    EXPECT_EQ(d.TimeToleranceMs(), 100u);
    EXPECT_EQ(d.BikeWeight, 10.0);
    EXPECT_EQ(d.AlarmHeartHighLimit(), 210);
    EXPECT_EQ(d.AlarmHeartLowLimit(), 35);
    EXPECT_EQ(d.AlarmHeartMaxLimit(), 220);
    EXPECT_EQ(d.GetTimerStatsInterval(), 1000u);
    EXPECT_FALSE(d.GetTimerStatsEnabled());
    EXPECT_EQ(d.GetCompetitorState(), cpsNone);
    EXPECT_FALSE(d.GetConnected());
    EXPECT_EQ(d.UOM(), umKm);
    EXPECT_EQ(d.DeviceType(), 0);
    EXPECT_EQ(d.ExtraIndex(), 0);
}

TEST_F(VelCustomDevice, StorageOmitsDeclaredDefaultsAndReadsTheRestBack)
{
    TVelCustomDevice source(nullptr);
    source.SetName("Device1");
    source.SetTimeToleranceMs(50); // the declared default, not the start value
    source.SetRiderName("Anna");
    source.SetUOM(umMiles);
    source.SetTimerStatsInterval(250);
    source.SetTimerStatsThreadPriority(TThreadPriority::tpHigher);
    source.SetAlarmHeartHighLimit(250);
    source.BikeWeight = 8.5;
    const QString form = platform::writeComponent(source);
    EXPECT_FALSE(form.contains("TimeToleranceMs"));
    EXPECT_FALSE(form.contains("RiderId")) << "-1 is its declared default";
    EXPECT_TRUE(form.contains("RiderName = 'Anna'"));
    EXPECT_TRUE(form.contains("UOM = umMiles"));
    EXPECT_TRUE(form.contains("TimerStatsThreadPriority = tpHigher"));

    TVelCustomDevice target(nullptr);
    platform::readComponent(target, form);
    EXPECT_EQ(target.TimeToleranceMs(), 100u) << "an omitted property keeps the start value";
    EXPECT_EQ(target.RiderName(), "Anna");
    EXPECT_EQ(target.UOM(), umMiles);
    EXPECT_EQ(target.GetTimerStatsInterval(), 250u);
    EXPECT_EQ(target.GetTimerStatsThreadPriority(), TThreadPriority::tpHigher);
    EXPECT_EQ(target.AlarmHeartHighLimit(), 250);
    EXPECT_EQ(target.BikeWeight, 8.5);

    source.SetTimeToleranceMs(100);
    EXPECT_TRUE(platform::writeComponent(source).contains("TimeToleranceMs = 100"));
}

TEST_F(VelCustomDevice, CompetitorStateChangeIsRaisedOnceAfterTheValueIsStored)
{
    TVelCustomDevice d(nullptr);
    std::vector<std::tuple<TCompetitorState, TCompetitorState, TCompetitorState>> seen;
    d.OnCompetitorStateChanged = [&](platform::TObject* sender, TCompetitorState o, TCompetitorState n) {
        EXPECT_EQ(sender, &d);
        seen.emplace_back(o, n, d.GetCompetitorState());
    };
    d.SetCompetitorState(cpsNone);
    EXPECT_TRUE(seen.empty());
    d.SetCompetitorState(cpsRunning);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], std::make_tuple(cpsNone, cpsRunning, cpsRunning));
}

TEST_F(VelCustomDevice, AlarmLimitsAreClampedWithABeepOnlyInDesignMode)
{
    platform::RecordingDesktop desktop;
    platform::ScopedDesktop scope(desktop);
    TVelCustomDevice d(nullptr);
    d.SetAlarmHeartHighLimit(250);
    EXPECT_EQ(d.AlarmHeartHighLimit(), 250);
    EXPECT_EQ(desktop.beeps, 0);

    struct Case {
        void (TVelCustomDevice::*set)(std::int32_t);
        std::int32_t (TVelCustomDevice::*get)() const;
        std::int32_t value;
        std::int32_t stored;
        int beeps;
    };
    const Case cases[] = {
        { &TVelCustomDevice::SetAlarmHeartHighLimit, &TVelCustomDevice::AlarmHeartHighLimit, 250, 210, 1 },
        { &TVelCustomDevice::SetAlarmHeartHighLimit, &TVelCustomDevice::AlarmHeartHighLimit, 200, 200, 0 },
        { &TVelCustomDevice::SetAlarmHeartLowLimit, &TVelCustomDevice::AlarmHeartLowLimit, 20, 35, 1 },
        { &TVelCustomDevice::SetAlarmHeartMaxLimit, &TVelCustomDevice::AlarmHeartMaxLimit, 221, 220, 1 },
    };
    for (const auto& c : cases) {
        TVelCustomDevice designed(nullptr);
        designed.SetDesigning(true);
        desktop.beeps = 0;
        (designed.*c.set)(c.value);
        EXPECT_EQ((designed.*c.get)(), c.stored) << c.value;
        EXPECT_EQ(desktop.beeps, c.beeps) << c.value;
    }
}

TEST_F(VelCustomDevice, TimeToleranceUsesTheWrappingDifference)
{
    TVelCustomDevice d(nullptr);
    EXPECT_TRUE(d.IsWithinTimeTolerance(1100, 1000));
    EXPECT_FALSE(d.IsWithinTimeTolerance(1101, 1000));
    EXPECT_FALSE(d.IsWithinTimeTolerance(1000, 1100));
    EXPECT_TRUE(d.IsWithinTimeTolerance(20, 0xFFFFFFF0u)) << "across a wrap of the tick counter";
}

TEST_F(VelCustomDevice, ResetValuesClearsTheRideButNotTheMaxima)
{
    for (const bool simulation : { false, true }) {
        TVelCustomDevice d(nullptr);
        d.SetSimulationMode(simulation);
        d.SetSpeed(31.5);
        d.SetCadence(90);
        d.SetHeartRate(140);
        d.SetDistance(12.3);
        d.SetPower(250);
        d.SetCalories(300);
        d.SetFinished(true);
        d.SetMaxSpeed(45);
        d.SetMaxPower(600);
        d.ResetValues();
        EXPECT_EQ(d.GetSpeed(), 0);
        EXPECT_EQ(d.GetCadence(), 0);
        EXPECT_EQ(d.GetHeartRate(), 0);
        EXPECT_EQ(d.GetDistance(), 0);
        EXPECT_EQ(d.GetPower(), 0);
        EXPECT_EQ(d.GetCalories(), 0);
        EXPECT_FALSE(d.GetFinished());
        EXPECT_EQ(d.ExtraIndex(), -1);
        EXPECT_EQ(d.MaxSpeed(), 45);
        EXPECT_EQ(d.MaxPower(), 600);
    }
}

TEST_F(VelCustomDevice, AssignCopiesOnlyTheRiderName)
{
    TVelCustomDevice a(nullptr);
    TVelCustomDevice b(nullptr);
    b.SetRiderName("Bea");
    b.SetRiderId(7);
    b.SetSpeed(20);
    a.Assign(&b);
    EXPECT_EQ(a.RiderName(), "Bea");
    EXPECT_EQ(a.RiderId(), -1);
    EXPECT_EQ(a.GetSpeed(), 0);

    platform::TComponent other(nullptr);
    a.SetRiderName("Ann");
    try {
        a.Assign(&other);
        FAIL();
    } catch (const platform::Error& e) {
        EXPECT_EQ(e.message(), "Cannot assign a TComponent to a TVelCustomDevice");
    }
    EXPECT_EQ(a.RiderName(), "Ann");
}

TEST_F(VelCustomDevice, ConnectionEventsAndTheEmptyLifecycle)
{
    TVelCustomDevice d(nullptr);
    int connected = 0;
    int disconnected = 0;
    d.OnConnected = [&](platform::TObject*) { ++connected; };
    d.OnDisconnected = [&](platform::TObject*) { ++disconnected; };
    d.Connect();
    d.Connect();
    EXPECT_EQ(connected, 2) << "the previous value is not checked";
    EXPECT_TRUE(d.GetConnected());
    d.Disconnect();
    EXPECT_EQ(disconnected, 1);
    EXPECT_FALSE(d.Start());
    EXPECT_FALSE(d.Stop());
    EXPECT_FALSE(d.Pause());
    EXPECT_EQ(d.GetCompetitorState(), cpsNone);
}

TEST_F(VelCustomDevice, StatsTimerCallsTheOverriddenHandler)
{
    struct Derived : TVelCustomDevice {
        using TVelCustomDevice::TVelCustomDevice;
        int stats = 0;
        void DoStats() override { ++stats; }
    } d(nullptr);
    d.SetTimerStatsEnabled(true);
    d.StatsTimer().DoTick();
    EXPECT_EQ(d.stats, 1);
}
