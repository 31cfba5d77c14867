// The trainer device without a radio: its properties, the resistance rules, the ride lifecycle,
// and the statistics tick driven with chosen link values.
#include "DeviceHarness.h"

#include "platform/Component.h"

#include <algorithm>
#include <utility>

using namespace caltrix;
using namespace caltrix::device;
using namespace caltrix::device::test;
using devicebase::cpsPaused;
using devicebase::cpsRunning;
using devicebase::cpsStopped;
using devicebase::TCompetitorState;

// ---- construction and properties ---------------------------------------------------------------

TEST_F(DeviceTest, StartsWithTheDocumentedValuesAndNoLink)
{
    auto& d = makeDevice();
    EXPECT_EQ(d.GetVersion(), "1.0.0.10");
    d.SetVersion(QStringLiteral("9.9"));
    EXPECT_EQ(d.GetVersion(), "1.0.0.10");
    EXPECT_EQ(d.GetCompetitorState(), cpsStopped);
    EXPECT_EQ(d.DeviceType(), 6);
    EXPECT_EQ(d.eventPerTurn(), 1);
    EXPECT_EQ(d.TavorResistance(), 0);
    EXPECT_DOUBLE_EQ(d.HighPowerReduceCoefficient(), 1.0);
    EXPECT_DOUBLE_EQ(d.HighPowerReduceStartSpeed(), 7.0);
    EXPECT_DOUBLE_EQ(d.HighPowerReduceCoefficientMinimum(), 0.25);
    EXPECT_EQ(d.PrecisionSpeed, 8);
    EXPECT_TRUE(d.HeartEnabled());
    EXPECT_TRUE(d.EnableConsole());
    EXPECT_FALSE(d.Connected());
    EXPECT_EQ(d.MsgUsbDongleNotFound(), "Usb dongle not found! Check it and restart the software.");
    EXPECT_EQ(d.ChannelTrainer, 71);
    EXPECT_EQ(d.ChannelSpeedCadence, 57);
    EXPECT_EQ(d.ChannelConsole, 70);
    EXPECT_EQ(d.HeartAverager.Values.size(), 5u);
    EXPECT_EQ(d.CadenceAverager.Values.size(), 1u);
    EXPECT_EQ(d.SpeedAverager.Values.size(), 3u);
    EXPECT_FALSE(d.ConnectedTrainer());
    EXPECT_FALSE(d.ConnectedHr());
    EXPECT_FALSE(d.ConnectedKeyboard());
    EXPECT_FALSE(d.OutOfRange());
    EXPECT_EQ(d.GetSpeed(), 0.0);
}

TEST_F(DeviceTest, OnlyTheCadenceWindowFollowsItsLengthAfterConstruction)
{
    auto& d = makeDevice();
    d.SetCadenceArrayLength(4);
    d.HrArrayLength = 9;
    d.SpeedArrayLength = 9;
    EXPECT_EQ(d.CadenceAverager.Values.size(), 4u);
    EXPECT_EQ(d.HeartAverager.Values.size(), 5u);
    EXPECT_EQ(d.SpeedAverager.Values.size(), 3u);
}

// ---- resistance rules -------------------------------------------------------------------------

TEST_F(DeviceTest, ResistanceIsClampedBeforeScaling)
{
    auto& d = makeDevice();
    const struct {
        std::int32_t requested;
        double coefficient;
        std::int32_t stored;
    } cases[] = {
        { -5, 1.0, 0 }, { 300, 1.0, 255 }, { 240, 1.0, 239 }, { 247, 1.0, 246 }, { 100, 1.0, 100 },
        { 101, 0.5, 50 },   // 50.5: halves go to the even neighbour
        { 103, 0.5, 52 },   // 51.5
        { 250, 0.96, 240 }, // the exclusions apply to the request, not the scaled level
    };
    for (const auto& c : cases) {
        d.SetHighPowerReduceCoefficient(c.coefficient);
        d.SetTavorResistance(-1000); // a different stored level, so the request is not skipped
        d.SetTavorResistance(c.requested);
        EXPECT_EQ(d.TavorResistance(), c.stored) << c.requested << " x " << c.coefficient;
    }
}

TEST_F(DeviceTest, ResistanceRulesForStandstillSensorsAndTheCoefficientFloor)
{
    auto& d = makeDevice();
    d.SecurityActive = true;
    d.SetTavorResistance(80);
    EXPECT_EQ(d.TavorResistance(), 0) << "exactly 0 km/h: nothing is sent";
    d.SetSpeed(0.1);
    d.SetTavorResistance(80);
    EXPECT_EQ(d.TavorResistance(), 80);

    d.SetHighPowerReduceCoefficient(0.1);
    EXPECT_DOUBLE_EQ(d.HighPowerReduceCoefficient(), 0.25);

    d.SetInitialResistance(247);
    EXPECT_EQ(d.InitialResistance(), 246);
    EXPECT_EQ(d.TavorResistance(), 62) << "246 x 0.25 = 61.5";

    d.SetRecieverType(rtSpeedSensor);
    d.SetTavorResistance(10);
    EXPECT_EQ(d.TavorResistance(), 62) << "sensor receivers take no resistance";
}

TEST_F(DeviceTest, TheHighPowerFactorFollowsTheInstantSpeedOnEachTick)
{
    auto& d = makeDevice();
    d.SetHighPowerReduceEnable(true);
    for (const auto& [speed, factor] : { std::pair { 0.0, 0.25 }, { 3.5, 0.625 }, { 7.0, 1.0 }, { 20.0, 1.0 } }) {
        d.InstantSpeed = speed;
        d.DoStats();
        EXPECT_DOUBLE_EQ(d.HighPowerReduceCoefficient(), factor) << speed;
    }
}

TEST_F(DeviceTest, TavorVersionFixesTheRollerOfKnownModelsAndAlwaysNotifies)
{
    auto& d = makeDevice();
    int notices = 0;
    d.OnVersionChange = [&](platform::TObject* sender) {
        EXPECT_EQ(sender, static_cast<platform::TObject*>(&d));
        ++notices;
    };
    d.SetTavorVersion(11);
    EXPECT_EQ(d.RollDiameter(), 85.0L);
    d.SetTavorVersion(4.5);
    EXPECT_EQ(d.RollDiameter(), 39.5L);
    d.SetTavorVersion(8);
    EXPECT_EQ(d.RollDiameter(), 39.5L);
    EXPECT_EQ(d.TavorVersion(), 8.0);
    EXPECT_EQ(notices, 3);
    d.SeteventPerTurn(0);
    EXPECT_EQ(d.eventPerTurn(), 1);
}

// ---- ride lifecycle ---------------------------------------------------------------------------

class LifecycleTest : public DeviceTest {
protected:
    void SetUp() override
    {
        auto& d = makeDevice();
        d.OnBeforeStart = [this](platform::TObject*) { events.push_back("BeforeStart"); };
        d.OnBeforePause = [this](platform::TObject*) { events.push_back("BeforePause"); };
        d.OnBeforeStop = [this](platform::TObject*, bool& canContinue) {
            events.push_back("BeforeStop");
            canContinue = allowStop;
        };
        d.OnAfterStop = [this](platform::TObject*) { events.push_back("AfterStop"); };
        d.OnCompetitorStateChanged = [this](platform::TObject*, TCompetitorState from, TCompetitorState to) {
            events.push_back("State " + std::to_string(from) + ">" + std::to_string(to));
        };
    }

    std::vector<std::string> take() { return std::exchange(events, {}); }

    std::vector<std::string> events;
    bool allowStop = true;
};

TEST_F(LifecycleTest, StartStopAndPauseRaiseTheirEventsAndTheStateChangeTwice)
{
    auto& d = *device;
    EXPECT_TRUE(d.Start());
    EXPECT_EQ(take(), (std::vector<std::string> { "BeforeStart", "State 6>4", "State 6>4" }));
    EXPECT_TRUE(d.StatsTimer().Enabled());
    d.Start();
    EXPECT_TRUE(take().empty()) << "a second Start does nothing";
    d.Pause();
    EXPECT_EQ(take(), (std::vector<std::string> { "BeforePause", "State 4>5", "State 4>5" }));
    EXPECT_FALSE(d.StatsTimer().Enabled());
    EXPECT_TRUE(d.Stop());
    EXPECT_EQ(take(), (std::vector<std::string> { "BeforeStop", "State 5>6", "State 5>6", "AfterStop" }));
    d.Stop();
    EXPECT_EQ(take(), (std::vector<std::string> { "BeforeStop", "State 6>6", "AfterStop" }))
        << "stopping when stopped repeats only the component's own notice";
}

TEST_F(LifecycleTest, ARefusedStopLeavesResistanceTimerAndStateAlone)
{
    auto& d = *device;
    d.Start();
    d.SetTavorResistance(90);
    d.SetInitialResistance(20);
    d.SetTavorResistance(90);
    allowStop = false;
    take();
    EXPECT_FALSE(d.Stop());
    EXPECT_EQ(take(), (std::vector<std::string> { "BeforeStop" }));
    EXPECT_EQ(d.TavorResistance(), 90);
    EXPECT_TRUE(d.StatsTimer().Enabled());
    EXPECT_EQ(d.GetCompetitorState(), cpsRunning);
}

// ---- the statistics tick with chosen link values -----------------------------------------------

class TickTest : public DeviceTest {
protected:
    void SetUp() override
    {
        auto& d = makeDevice();
        d.SetRiderWeight(70);
        d.SetHeartEnabled(false);
        link = &bareLink();
        link->HeartEventSeen = true;
        d.SetConnected(true);
        d.OnStats = [this](platform::TObject*) { events.push_back("Stats"); };
    }

    // One tick of the running statistics timer, with no radio traffic in between.
    void tick(int times = 1)
    {
        for (int i = 0; i < times; ++i)
            device->StatsTimer().DoTick();
    }

    ant::lumo_ANT* link = nullptr;
    std::vector<std::string> events;
};

TEST_F(TickTest, TheSpeedRampsUpAsTheAveragerFills)
{
    auto& d = *device;
    d.Start();
    link->Speed = 30;
    std::vector<double> speeds;
    for (int i = 0; i < 4; ++i) {
        tick();
        speeds.push_back(d.GetSpeed());
    }
    EXPECT_EQ(speeds, (std::vector<double> { 10, 20, 30, 30 }));
    EXPECT_EQ(d.Time, 4);
    EXPECT_EQ(link->ResistanceLevel, 0);
    EXPECT_TRUE(link->ResistancePending) << "the level is queued again on every tick";
}

TEST_F(TickTest, ALevelScaledBeyond255ReachesTheLinkAs255)
{
    auto& d = *device;
    d.SetHighPowerReduceCoefficient(1.5);
    d.SetTavorResistance(200);
    EXPECT_EQ(d.TavorResistance(), 300);
    EXPECT_EQ(link->ResistanceLevel, 255);
}

TEST_F(TickTest, AnHourAtConstantSpeedGivesTheDistanceAndTheAverage)
{
    auto& d = *device;
    d.Start();
    link->Speed = 36;
    tick(3600);
    EXPECT_NEAR(d.GetDistance(), 36.0, 1e-9);
    EXPECT_NEAR(d.GetAverageSpeed(), 36.0, 1e-6);
    EXPECT_DOUBLE_EQ(d.MaxSpeed(), 36);
}

TEST_F(TickTest, MilesConvertTheLinkSpeedBeforeItIsAveraged)
{
    auto& d = *device;
    d.SetUOM(devicebase::umMiles);
    d.Start();
    link->Speed = 50;
    tick();
    EXPECT_NEAR(d.SpeedAverager.Values[0], 31.0685596, 1e-9);
    EXPECT_NEAR(d.GetDistance(), 31.0685596 / 3600, 1e-12);
}

TEST_F(TickTest, PowerAndCaloriesFollowTheSpeedEvenWithoutTheTrainer)
{
    auto& d = *device;
    d.SetConnected(false);
    const struct {
        devicebase::TUnitMeasure uom;
        double speed;
        std::int32_t power;
    } cases[] = { { devicebase::umKm, 30, 142 }, { devicebase::umKm, 2, 0 }, { devicebase::umMiles, 20, 168 } };
    for (const auto& c : cases) {
        d.SetUOM(c.uom);
        d.SetSpeed(c.speed);
        d.DoStats();
        EXPECT_EQ(d.GetPower(), c.power) << c.speed;
        EXPECT_EQ(d.GetSpeed(), c.speed) << "not connected: the speed stays";
    }
    EXPECT_EQ(d.MaxPower(), 168) << "the highest power of the ride, not the last one";
    d.SetUOM(devicebase::umKm);
    d.SetSpeed(30);
    for (int i = 0; i < 100; ++i)
        d.DoStats();
    // 0.335 from the three ticks above, then 0.162 per tick at 30 km/h and 80 kg
    // (4.4e-6 x 27000 + 1.8e-5 x 30 x 80).
    EXPECT_EQ(d.GetCalories(), 17);
    EXPECT_EQ(d.Time, 0);
}

TEST_F(TickTest, VirtualSpeedGrowsDownhillAndDecaysOnTheFlat)
{
    auto& d = *device;
    d.SetConnected(false);
    d.SetVirtualSpeedEnabled(true);
    d.CurrentSlope = -5;
    d.SetSpeed(30);
    d.DoStats();
    // Gravity 80 x 5 / 100 = 4 N; pedalling and attrition cancel at the same speed.
    EXPECT_NEAR(d.GravityForce(), 4.0, 1e-12);
    EXPECT_NEAR(d.VirtualSpeed(), 4.0 / (80 / 9.8), 1e-8);
    EXPECT_NEAR(d.VirtualDistance(), 0.49 / 3600, 1e-8);
    d.DoStats();
    EXPECT_NEAR(d.GetSpeed(), 30.49, 1e-8) << "the previous virtual speed is added";
    while (d.VirtualSpeed() < 5)
        d.DoStats();

    d.CurrentSlope = 0;
    std::vector<double> flat;
    for (int i = 0; i < 50 && d.VirtualSpeed() > 0; ++i) {
        d.DoStats();
        flat.push_back(d.VirtualSpeed());
    }
    ASSERT_GE(flat.size(), 2u);
    EXPECT_TRUE(std::is_sorted(flat.rbegin(), flat.rend())) << "decays on the flat";
    EXPECT_EQ(flat.back(), 0.0) << "within the tolerance it drops to 0";

    d.CurrentSlope = -5;
    d.DoStats();
    ASSERT_GT(d.GravityForce(), 0.0);
    d.SetVirtualSpeedEnabled(false);
    EXPECT_EQ(d.VirtualSpeed(), 0.0);
    EXPECT_EQ(d.GravityForce(), 0.0);
}

TEST_F(TickTest, HeartAlarmThresholds)
{
    const struct {
        std::int32_t heartRate;
        bool alarm;
        bool higher;
        std::int32_t percent;
        std::int32_t shownRate;
        bool cut; // resistance and elevation sent to 0
    } cases[] = {
        { 36, false, false, 0, 36, false },
        { 35, true, false, 0, 35, false },
        { 215, true, true, 2, 215, false },
        { 231, true, true, 10, 231, true },
        { 34, false, false, 0, 0, false }, // the average is below 35: no heart signal
    };
    for (const auto& c : cases) {
        auto& d = makeDevice();
        d.SetRiderWeight(70);
        bareLink().HeartEventSeen = true;
        ant::AntLink->HeartRate = c.heartRate;
        d.SetConnected(true);
        d.SetTavorResistance(100);
        d.SetTavorElevation(3);
        int alarms = 0;
        bool higher = false;
        std::int32_t percent = -1;
        d.OnAlarmHeart = [&](platform::TObject*, std::int32_t p, bool h, bool aborted, bool& doStop) {
            EXPECT_FALSE(aborted);
            EXPECT_TRUE(doStop);
            ++alarms;
            percent = p;
            higher = h;
        };
        for (int i = 0; i < 5; ++i) // fills the heart averager
            d.DoStats();
        alarms = 0;
        d.DoStats();
        EXPECT_EQ(alarms, c.alarm ? 1 : 0) << c.heartRate;
        if (c.alarm) {
            EXPECT_EQ(higher, c.higher) << c.heartRate;
            EXPECT_EQ(percent, c.percent) << c.heartRate;
        }
        EXPECT_EQ(d.GetHeartRate(), c.shownRate) << c.heartRate;
        EXPECT_EQ(d.TavorResistance(), c.cut ? 0 : 100) << c.heartRate;
        EXPECT_EQ(d.TavorElevation(), c.cut ? 0 : 3) << c.heartRate;
    }
}

TEST_F(TickTest, WithoutHeartChannelTheHeartValuesReadZeroAndItsLossIsReportedEachTick)
{
    auto& d = *device;
    link->HeartRate = 120;
    link->HeartEventSeen = false;
    int lost = 0;
    d.OnHeartConnectionLost = [&](platform::TObject*) { ++lost; };
    for (int i = 0; i < 3; ++i)
        d.DoStats();
    EXPECT_EQ(d.GetHeartRate(), 0);
    EXPECT_EQ(d.GetAverageHeartRate(), 0);
    EXPECT_EQ(lost, 3);
}

TEST_F(TickTest, TheCourseDistanceStopsTheRideAndTheTickStillEndsWithStats)
{
    auto& d = *device;
    d.SetDistanceToPerform(10);
    d.Start();
    d.SetDistance(9.995);
    link->Speed = 36; // 0.01 km per tick
    d.OnCourseFinished = [this](platform::TObject*) { events.push_back("CourseFinished"); };
    bool refuse = true;
    d.OnBeforeStop = [&](platform::TObject*, bool& canContinue) { canContinue = !refuse; };
    tick();
    EXPECT_EQ(events, (std::vector<std::string> { "CourseFinished", "Stats" }));
    EXPECT_EQ(d.GetCompetitorState(), cpsRunning) << "the stop was refused";
    EXPECT_TRUE(d.GetCompleted());
    refuse = false;
    events.clear();
    tick();
    EXPECT_EQ(events, (std::vector<std::string> { "CourseFinished", "Stats" }));
    EXPECT_EQ(d.GetCompetitorState(), cpsStopped);
    EXPECT_FALSE(d.StatsTimer().Enabled());
    EXPECT_TRUE(d.GetFinished());
}

TEST_F(TickTest, ALostTrainerDisconnectsOnEveryTickWithBothEvents)
{
    auto& d = *device;
    d.Start();
    d.devicebase::TVelCustomDevice::OnDisconnected = [this](platform::TObject*) { events.push_back("base Disconnected"); };
    d.OnDisconnected = [this](platform::TObject*) { events.push_back("own Disconnected"); };
    tick();
    link->TrainerLost = true;
    tick(2);
    EXPECT_FALSE(d.Connected());
    EXPECT_EQ(events,
        (std::vector<std::string> { "Stats", "base Disconnected", "own Disconnected", "Stats", "base Disconnected",
            "own Disconnected", "Stats" }));
    EXPECT_EQ(d.Time, 2) << "the tick that finds the trainer lost is the last one counted";
}

TEST_F(TickTest, ATickStartedInsideAnotherOneIsSkippedWithoutStats)
{
    auto& d = *device;
    TTavorDeviceANT other(nullptr);
    int otherStats = 0;
    other.OnStats = [&](platform::TObject*) { ++otherStats; };
    link->HeartEventSeen = false;
    bool first = true;
    d.OnHeartConnectionLost = [&](platform::TObject*) {
        if (std::exchange(first, false))
            ride(2000); // the other device's ticks at 1500 and 2500 fall due in here
    };
    d.Start();
    ride(500);
    other.Start();
    ride(500);
    EXPECT_EQ(events, (std::vector<std::string> { "Stats" }));
    EXPECT_EQ(otherStats, 0);
    EXPECT_EQ(other.TimeElapsed(), 2000u) << "its timer ticked, the statistics were skipped";
    EXPECT_FALSE(StatsBusy);
    ride(1000);
    EXPECT_EQ(otherStats, 1);
}

TEST_F(TickTest, StartPauseStartContinuesDistanceAndTime)
{
    auto& d = *device;
    link->Speed = 36;
    d.Start();
    ride(5000);
    EXPECT_EQ(d.Time, 5);
    const double distance = d.GetDistance();
    d.Pause();
    ride(3000);
    EXPECT_EQ(d.Time, 5);
    EXPECT_EQ(d.GetDistance(), distance);
    d.Start();
    ride(2000);
    EXPECT_EQ(d.Time, 7);
    EXPECT_NEAR(d.GetDistance(), 0.07, 1e-9);
    EXPECT_EQ(d.TimeElapsed(), 7000u);
    d.Stop();
    d.Start();
    EXPECT_EQ(d.Time, 0);
    EXPECT_EQ(d.GetDistance(), 0.0);
    EXPECT_EQ(d.TimeElapsed(), 0u);
}
