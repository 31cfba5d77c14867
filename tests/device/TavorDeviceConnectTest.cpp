// The trainer device over the built-in virtual stick and its simulated world, on the virtual
// clock: connecting, the live values, the resistance that reaches the trainer, the console keys,
// losing the trainer and disconnecting.
#include "DeviceHarness.h"

#include "antsim/RiderModel.h"
#include "platform/Error.h"

#include <algorithm>

using namespace caltrix;
using namespace caltrix::device;
using namespace caltrix::device::test;

namespace {

constexpr double RiderSpeedAtLevel0 = 35; // the simulated rider's steady speed at effort 0.7

} // namespace

TEST_F(DeviceTest, ConnectsLikeTheWindowAndRaisesOnConnectedInsideTheCall)
{
    auto& d = makeDevice();
    std::vector<std::string> events;
    bool returned = false;
    d.SetOnConnected([&](platform::TObject* sender) {
        EXPECT_EQ(sender, static_cast<platform::TObject*>(&d));
        EXPECT_FALSE(returned);
        events.push_back("Connected");
        d.SetRollDiameter(world.rollDiameterMm);
        d.SeteventPerTurn(1);
        d.Start();
    });
    d.OnHeartConnection = [&](platform::TObject*) { events.push_back("HeartConnection"); };
    d.SetEnableConsole(false);
    d.SetHeartEnabled(false);
    const auto start = now();
    const bool connected = d.ConnectANT(0, 0, 0);
    returned = true;
    const auto took = now() - start;

    EXPECT_TRUE(connected);
    EXPECT_TRUE(d.Connected());
    EXPECT_TRUE(d.GetConnected());
    EXPECT_TRUE(d.ConnectedTrainer());
    EXPECT_EQ(d.GetCompetitorState(), devicebase::cpsRunning) << "started inside the call";
    EXPECT_TRUE(desktop.boxes.empty());
    // The stick reset, then a trainer found by its broadcasts about once a second and paired
    // from its channel-ID answer, then the speed sensor.
    EXPECT_GE(took, 600u + 971u);
    EXPECT_LE(took, 4000u);
    EXPECT_EQ(d.DeviceTrainerNumber(), world.trainerNumber) << "learnt at pairing";
    EXPECT_EQ(ant::AntLink->WheelDiameter, world.rollDiameterMm);
    EXPECT_EQ(ant::AntLink->EventsPerTurn, 1);
    ride(1000);
    EXPECT_EQ(events, (std::vector<std::string> { "HeartConnection", "Connected" }))
        << "the poll timer reported the trainer channel while ConnectANT waited for the sensor";
}

TEST_F(DeviceTest, TheChannelPlanOfEachReceiverType)
{
    // An empty world, so that no answer from a device changes what was described.
    world.trainer = world.heartRate = world.console = false;
    const auto A = antlib::defaultNetworkKeyA();
    const auto B = antlib::defaultNetworkKeyB();
    struct Row {
        std::uint8_t channel, network;
        std::uint16_t period;
        std::uint8_t deviceType, transmissionType, rf;
        ant::AntKey key;
    };
    const Row heart { 0, 0, 8070, 120, 0, 57, A };
    const Row console { 3, 1, 16150, 18, 1, 70, B };
    const struct {
        TLumoRecieverType type;
        std::vector<Row> rows;
    } cases[] = {
        { rtTrainerNetwork, { heart, { 1, 1, 31814, 19, 1, 71, B }, { 2, 0, 8086, 121, 0, 57, A }, console } },
        { rtSpeedSensor, { heart, { 1, 0, 16172, 121, 1, 57, A }, console } },
        { rtSpeedSensorPassive, { heart, { 1, 0, 16172, 121, 1, 57, A }, console } },
    };
    for (const auto& c : cases) {
        auto& d = makeDevice();
        d.SetRecieverType(c.type);
        d.SetHeartEnabled(false); // still described, only not started
        EXPECT_FALSE(d.ConnectANT(0, 0, 0));
        const auto& link = *ant::AntLink;
        EXPECT_EQ(link.ReceiverMode, c.type);
        EXPECT_EQ(link.BaudRate, 57600);
        ASSERT_EQ(link.Channels.size(), 4u);
        if (c.type != rtTrainerNetwork) {
            EXPECT_EQ(link.ChannelRecord(ant::SensorChannel), nullptr);
        }
        for (const Row& r : c.rows) {
            SCOPED_TRACE(testing::Message() << "receiver type " << int { c.type } << ", channel " << int { r.channel });
            const auto* rec = link.ChannelRecord(r.channel);
            ASSERT_NE(rec, nullptr);
            EXPECT_EQ(rec->NetworkNumber, r.network);
            EXPECT_EQ(rec->Period, r.period);
            EXPECT_EQ(rec->DeviceType, r.deviceType);
            EXPECT_EQ(rec->TransmissionType, r.transmissionType);
            EXPECT_EQ(rec->ChannelType, 0);
            EXPECT_EQ(rec->RfFrequency, r.rf);
            EXPECT_EQ(rec->NetworkKey, r.key);
        }
    }
}

TEST_F(DeviceTest, TheLiveSpeedFollowsTheRiderAfterEachTick)
{
    ASSERT_TRUE(connectLikeTheWindow());
    std::vector<double> speeds;
    device->SetOnStats([&](platform::TObject*) { speeds.push_back(device->GetSpeed()); });
    ride(10000);
    ASSERT_EQ(speeds.size(), 10u);
    EXPECT_LT(speeds[0], speeds[2]) << "the averager fills over the first three ticks";
    for (std::size_t i = 3; i < speeds.size(); ++i)
        EXPECT_NEAR(speeds[i], RiderSpeedAtLevel0, RiderSpeedAtLevel0 * 0.05) << "tick " << i + 1;
    EXPECT_GT(device->GetDistance(), 0.08);
    EXPECT_GT(device->GetCadence(), 0);
}

TEST_F(DeviceTest, TheHeartRateBeltShowsWhenItsChannelIsOn)
{
    auto& d = makeDevice();
    d.SetEnableConsole(false);
    int heartLost = 0;
    d.OnHeartConnectionLost = [&](platform::TObject*) { ++heartLost; };
    d.SetOnConnected([&](platform::TObject*) { d.Start(); });
    ASSERT_TRUE(d.ConnectANT(0, 0, 0));
    ride(10000);
    EXPECT_TRUE(d.ConnectedHr());
    // The simulated rider's heart rate at effort 0.7 and 35 km/h: 65 + 95 x 0.7 + 0.4 x 35, +-2.
    EXPECT_NEAR(d.GetHeartRate(), 145.5, 4);
    EXPECT_NEAR(d.GetAverageHeartRate(), 145.5, 4);
    EXPECT_EQ(heartLost, 0);
}

TEST_F(DeviceTest, ResistanceLevelsReachTheTrainerAndSlowTheRider)
{
    ASSERT_TRUE(connectLikeTheWindow());
    auto& rider = sim->world().rider();
    for (const std::int32_t level : { 40, 170, 0 }) {
        device->SetTavorResistance(level);
        ride(2000);
        EXPECT_EQ(rider.resistance(), level);
    }
    device->SetTavorResistance(170);
    ride(8000);
    const double expected = antsim::RiderModel::steadySpeedKmh(0.7, 170);
    EXPECT_NEAR(device->GetSpeed(), expected, expected * 0.08);
}

TEST_F(DeviceTest, WithoutAStickItTriesEightNumbersAndShowsOneBox)
{
    world.stickPresent = false;
    auto& d = makeDevice();
    bool connectedRaised = false;
    d.SetOnConnected([&](platform::TObject*) { connectedRaised = true; });
    EXPECT_FALSE(d.ConnectANT(0, 0, 0));
    EXPECT_EQ(stickOpens, 8);
    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_EQ(desktop.boxes[0],
        (platform::MessageBox { QStringLiteral("Usb dongle not found! Check it and restart the software."), QString(),
            platform::BoxIcon::Error, true }));
    EXPECT_FALSE(d.Connected());
    EXPECT_FALSE(connectedRaised);
    EXPECT_NE(ant::AntLink, nullptr) << "the unopened link stays until the next ConnectANT";
}

// A stick that is there but cannot be opened: the library's reason stays with the device for the
// window's box, and a later connection that opens a stick forgets it.
TEST_F(DeviceTest, WhyAStickCouldNotBeOpenedIsKeptUntilTheNextConnection)
{
    auto& d = makeDevice();
    d.SetAntLibraryFactory(refusingLibraryFactory("The ANT USB stick may not be opened by this user."));
    EXPECT_FALSE(d.ConnectANT(0, 0, 0));
    EXPECT_EQ(d.StickError(), "The ANT USB stick may not be opened by this user.");

    d.SetAntLibraryFactory(libraryFactory());
    ASSERT_TRUE(connectLikeTheWindow());
    EXPECT_EQ(d.StickError(), "");
}

TEST_F(DeviceTest, ALinkThatCannotBeCreatedIsReportedInABox)
{
    auto& d = makeDevice();
    d.SetAntLibraryFactory([]() -> std::unique_ptr<antlib::AntLibrary> {
        throw platform::Error(QStringLiteral("no ANT library"));
    });
    EXPECT_FALSE(d.ConnectANT(0, 0, 0));
    ASSERT_EQ(desktop.boxes.size(), 1u);
    EXPECT_EQ(desktop.boxes[0].text, "Error in creating Ant Protocol");
    EXPECT_FALSE(d.Connected());
    EXPECT_EQ(ant::AntLink, nullptr);
}

TEST_F(DeviceTest, AStoredTrainerNumberOverridesTheArgument)
{
    auto& d = makeDevice();
    int heartConnections = 0;
    d.OnHeartConnection = [&](platform::TObject*) { ++heartConnections; };
    d.SetDeviceTrainerNumber(world.trainerNumber);
    EXPECT_EQ(d.DeviceTrainerNumber(), world.trainerNumber) << "the stored value before connecting";
    ASSERT_TRUE(connectLikeTheWindow(999));
    EXPECT_EQ(ant::AntLink->ChannelRecord(ant::TrainerChannel)->DeviceNumber, world.trainerNumber);
    EXPECT_EQ(ant::AntLink->ChannelRecord(ant::SensorChannel)->DeviceNumber, world.trainerNumber);

    // Without a stored number a negative argument pairs with any trainer. A second connection
    // frees the first link and reports the trainer channel again.
    d.SetDeviceTrainerNumber(0);
    ASSERT_TRUE(connectLikeTheWindow(-3));
    EXPECT_EQ(d.DeviceTrainerNumber(), world.trainerNumber);
    EXPECT_EQ(heartConnections, 2);
}

TEST_F(DeviceTest, APassiveReceiverNeverConnectsAndReturnsAfterTheWaits)
{
    world.trainer = false;
    world.compactTrainer = true;
    auto& d = makeDevice();
    d.SetRecieverType(rtSpeedSensorPassive);
    bool connectedRaised = false;
    d.SetOnConnected([&](platform::TObject*) { connectedRaised = true; });
    d.SetHeartEnabled(false);
    const auto start = now();
    EXPECT_FALSE(d.ConnectANT(0, 0, 0));
    const auto took = now() - start;
    // Stick reset, 10 s for the one started channel, then 40 s for the trainer.
    EXPECT_GE(took, 600u + 10000u + 40000u);
    EXPECT_LE(took, 600u + 10000u + 40000u + 500u);
    EXPECT_FALSE(d.Connected());
    EXPECT_FALSE(connectedRaised);
    EXPECT_TRUE(desktop.boxes.empty()) << "the caller tells the user";
    EXPECT_NE(ant::AntLink->ChannelRecord(ant::TrainerChannel), nullptr) << "the link stays open";
}

TEST_F(DeviceTest, TheCompactTrainerGetsThePowerAndNoResistance)
{
    world.trainer = false;
    world.compactTrainer = true;
    auto& d = makeDevice();
    d.SetRecieverType(rtSpeedSensor);
    ASSERT_TRUE(connectLikeTheWindow());
    EXPECT_EQ(ant::AntLink->ChannelRecord(ant::SensorChannel), nullptr);
    EXPECT_FALSE(d.ConnectedTrainer());
    d.SetTavorResistance(100);
    EXPECT_EQ(d.TavorResistance(), 0);
    std::vector<std::int32_t> powers;
    d.SetOnStats([&](platform::TObject*) { powers.push_back(d.GetPower()); });
    ride(6000);
    EXPECT_GT(d.GetSpeed(), 5.0);
    auto* trainer = dynamic_cast<antsim::CompactTrainer*>(sim->world().device("compact-trainer"));
    ASSERT_NE(trainer, nullptr);
    EXPECT_GT(trainer->lastHostValue(), 0);
    EXPECT_NE(std::find(powers.begin(), powers.end(), trainer->lastHostValue()), powers.end());
}

TEST_F(DeviceTest, ATrainerThatGoesSilentIsReportedLostOnEveryTick)
{
    ASSERT_TRUE(connectLikeTheWindow());
    auto& d = *device;
    std::vector<std::string> events;
    d.devicebase::TVelCustomDevice::OnDisconnected = [&](platform::TObject*) { events.push_back("base"); };
    d.OnDisconnected = [&](platform::TObject*) { events.push_back("own"); };
    d.SetOnStats([&](platform::TObject*) { events.push_back("Stats"); });
    ride(3000);
    sim->world().device("trainer")->silenceForever();
    for (int s = 0; s < 120 && d.Connected(); ++s)
        ride(1000);
    ASSERT_FALSE(d.Connected()) << "the trainer was never declared lost";
    EXPECT_FALSE(d.GetConnected());
    events.clear();
    ride(3000);
    EXPECT_EQ(events,
        (std::vector<std::string> { "base", "own", "Stats", "base", "own", "Stats", "base", "own", "Stats" }));
    EXPECT_NE(ant::AntLink, nullptr) << "the link stays open until Disconnect";
}

TEST_F(DeviceTest, AConsoleKeyIsReportedOnceOnRelease)
{
    auto& d = makeDevice();
    d.SetHeartEnabled(false);
    std::vector<int> keys;
    int consoleConnections = 0;
    d.OnConsoleKeydown = [&](platform::TObject*, devicebase::TConsoleKey key) { keys.push_back(key); };
    d.OnConsoleConnection = [&](platform::TObject*) { ++consoleConnections; };
    ASSERT_TRUE(d.ConnectANT(0, 0, 0));
    ride(1000);
    ASSERT_TRUE(d.ConnectedKeyboard());
    auto* console = sim->world().console();
    // Key 0 held for 20 poll ticks; key 2 pressed and let go meanwhile counts for nothing.
    const auto t = sim->world().now();
    console->pressKey(0, t + 2000);
    console->pressKey(2, t + 1000);
    ride(1500);
    EXPECT_TRUE(keys.empty()) << "nothing while the key is held";
    ride(1500);
    EXPECT_EQ(keys, std::vector<int> { 0 });
    console->pressKey(3, sim->world().now() + 1000);
    ride(3000);
    EXPECT_EQ(keys, (std::vector<int> { 0, 3 }));
    EXPECT_EQ(consoleConnections, 1);
}

TEST_F(DeviceTest, DisconnectClosesEverythingAndIsHarmlessTwice)
{
    ASSERT_TRUE(connectLikeTheWindow());
    auto& d = *device;
    int baseDisconnected = 0;
    int ownDisconnected = 0;
    d.devicebase::TVelCustomDevice::OnDisconnected = [&](platform::TObject*) { ++baseDisconnected; };
    d.OnDisconnected = [&](platform::TObject*) { ++ownDisconnected; };
    int stats = 0;
    d.SetOnStats([&](platform::TObject*) { ++stats; });
    ride(2000);
    d.Disconnect();
    EXPECT_FALSE(d.Connected());
    EXPECT_FALSE(d.GetConnected());
    EXPECT_EQ(ant::AntLink, nullptr);
    const int statsAtDisconnect = stats;
    const auto start = now();
    d.Disconnect();
    EXPECT_EQ(now() - start, 400u) << "without a link only the settling wait remains";
    ride(3000);
    EXPECT_EQ(stats, statsAtDisconnect) << "the statistics tick stopped";
    EXPECT_EQ(baseDisconnected, 2);
    EXPECT_EQ(ownDisconnected, 0);
    EXPECT_FALSE(d.ConnectedTrainer());
}

TEST_F(DeviceTest, ADisconnectFromAHandlerWhileConnectingEndsTheConnection)
{
    auto& d = makeDevice();
    d.SetEnableConsole(false);
    d.SetHeartEnabled(false);
    bool connectedRaised = false;
    d.SetOnConnected([&](platform::TObject*) { connectedRaised = true; });
    // Raised by the poll timer while ConnectANT still waits for the speed sensor.
    d.OnHeartConnection = [&](platform::TObject*) {
        EXPECT_FALSE(d.ConnectANT(0, 0, 0)) << "a second connection cannot start inside the first";
        d.Disconnect();
    };
    EXPECT_FALSE(d.ConnectANT(0, 0, 0));
    EXPECT_FALSE(connectedRaised);
    EXPECT_FALSE(d.Connected());
    EXPECT_EQ(ant::AntLink, nullptr);
}

// A Disconnect from a handler run in the stick's reset wait or in a channel's start wait (a
// request to end the program) ends the connection there: the link is kept until ConnectANT frees
// it, and no channel waits out its 10 s on the closed stick.
TEST_F(DeviceTest, ADisconnectInsideTheOpeningOrTheChannelStartEndsTheConnectionAtOnce)
{
    world.trainer = false; // the trainer channel would wait its whole 10 s, then the sensor's
    for (const std::uint32_t at : { 300u /* in the stick's reset wait */, 2000u /* in the channel start */ }) {
        SCOPED_TRACE(at);
        auto& d = makeDevice();
        d.SetEnableConsole(false);
        d.SetHeartEnabled(false);
        const auto start = now();
        clock.callAfter(at, [&] {
            EXPECT_TRUE(d.Connected()) << "a connection under way counts as connected";
            d.Disconnect();
        });
        EXPECT_FALSE(d.ConnectANT(0, 0, 0));
        EXPECT_LT(now() - start, 5000u) << "the waits went on after the stick was closed";
        EXPECT_FALSE(d.Connected());
        EXPECT_EQ(ant::AntLink, nullptr);
        EXPECT_TRUE(desktop.boxes.empty());
        device.reset();
    }
}

TEST_F(DeviceTest, DestroyingAConnectedDeviceClosesAndFreesTheLink)
{
    ASSERT_TRUE(connectLikeTheWindow());
    int ownDisconnected = 0;
    device->OnDisconnected = [&](platform::TObject*) { ++ownDisconnected; };
    ride(2000);
    device.reset();
    EXPECT_EQ(ant::AntLink, nullptr);
    EXPECT_EQ(ownDisconnected, 0);
}
