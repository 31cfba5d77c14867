// What the packets of the four channels mean, the values derived from them and what the link
// sends back: the sensor's speed and cadence, both trainer protocols, the console.

#include "LinkHarness.h"

#include <gtest/gtest.h>

using namespace caltrix;
using namespace caltrix::ant;
using namespace caltrix::ant::test;

namespace {

// A speed-and-cadence packet: crank time, crank count, wheel time, wheel count (16 bits LE each).
AntPayload sensorPacket(int crankTime, int crankRevs, int wheelTime, int wheelRevs)
{
    const auto lo = [](int v) { return static_cast<std::uint8_t>(v & 0xFF); };
    const auto hi = [](int v) { return static_cast<std::uint8_t>((v >> 8) & 0xFF); };
    return { lo(crankTime), hi(crankTime), lo(crankRevs), hi(crankRevs),
             lo(wheelTime), hi(wheelTime), lo(wheelRevs), hi(wheelRevs) };
}

struct SensorLink : FakeLink {
    SensorLink()
    {
        ready(2);
        link.WheelDiameter = 100;
        link.EventsPerTurn = 2;
    }
    void send(int crankTime, int crankRevs, int wheelTime, int wheelRevs)
    {
        lib.packet(2, sensorPacket(crankTime, crankRevs, wheelTime, wheelRevs));
    }
};

} // namespace

TEST(LinkPackets, SpeedAndCadenceFollowTheWorkedExample)
{
    SensorLink f;
    f.send(1000, 10, 2000, 50);
    f.send(1512, 11, 3024, 53);
    // 100 / 2 x 3.14 x 3686.4 / 1000 x 3 / 1024
    EXPECT_FLOAT_EQ(f.link.Speed, 1.69560F);
    EXPECT_EQ(f.link.Cadence, 120u);
    EXPECT_TRUE(f.link.Channels[2]->Connected);
}

TEST(LinkPackets, TheFirstSensorPacketComputesAgainstTheStartValues)
{
    SensorLink f;
    f.send(1000, 10, 2000, 50);
    EXPECT_EQ(f.link.Cadence, 61u) << "1024 / (1000 - -1) x 60 = 61.38";
    EXPECT_FLOAT_EQ(f.link.Speed, static_cast<float>(100.0L / 2 * 3.14L * 3686.4L / 1000 * 50 / 2000));
}

TEST(LinkPackets, CadenceRoundsHalvesToTheEvenNeighbour)
{
    SensorLink f;
    f.send(0, 1, 0, 0);
    f.send(24576, 2, 0, 0); // 1024 / 24576 x 60 = 2.5
    EXPECT_EQ(f.link.Cadence, 2u);
    f.send(24576 + 8192, 3, 0, 0); // 7.5
    EXPECT_EQ(f.link.Cadence, 8u);
}

TEST(LinkPackets, RepeatedSensorPacketsStopTheSpeedAtOnceAndTheCadenceAfterFortyOne)
{
    SensorLink f;
    f.send(1000, 10, 2000, 50);
    f.send(1512, 11, 3024, 53);
    f.send(1512, 11, 3024, 53);
    EXPECT_EQ(f.link.Speed, 0.0F);
    for (int i = 0; i < 39; ++i)
        f.send(1512, 11, 3024, 53);
    EXPECT_EQ(f.link.Cadence, 120u) << "40 repeats keep the cadence";
    f.send(1512, 11, 3024, 53);
    EXPECT_EQ(f.link.Cadence, 0u);
}

TEST(LinkPackets, ACounterWrapGivesNoValueButBecomesThePreviousPacket)
{
    SensorLink f;
    f.send(65000, 65535, 65000, 65535);
    const float speed = f.link.Speed;
    const std::uint32_t cadence = f.link.Cadence;
    f.send(488, 0, 488, 2); // both counters wrapped
    EXPECT_EQ(f.link.Speed, speed);
    EXPECT_EQ(f.link.Cadence, cadence);
    EXPECT_EQ(f.link.WheelPrevRevs, 2);
    EXPECT_EQ(f.link.CadencePrevTime, 488);
    f.send(1000, 1, 1512, 5);
    EXPECT_EQ(f.link.Cadence, 120u);
    EXPECT_FLOAT_EQ(f.link.Speed, 1.69560F);
}

TEST(LinkPackets, ASpeedBelowFourTenthsReadsAsStandingStill)
{
    SensorLink f;
    f.send(0, 0, 1000, 10);
    f.send(0, 0, 1000 + 30000, 11); // 100 / 2 x 3.14 x 3.6864 / 30000 = 0.019 km/h
    EXPECT_EQ(f.link.Speed, 0.0F);
}

TEST(LinkPackets, TheCompactPacketExample)
{
    FakeLink f;
    f.ready(1, 23456, ModeSpeedSensor);
    f.lib.packet(1, { 0x53, 0x20, 0x10, 0x00, 0x70, 0x80, 0x00, 0x00 });
    EXPECT_FLOAT_EQ(f.link.Speed, 25.3F);
    EXPECT_EQ(f.link.DistanceBase, 32);
    EXPECT_EQ(f.link.Distance, 0);
    EXPECT_EQ(f.link.Cadence, 87u);
    EXPECT_FALSE(f.link.OutOfRange);
    EXPECT_TRUE(f.link.Channels[1]->Connected);

    f.lib.packet(1, { 0x53, 0x02, 0x15, 0x00, 0x70, 0x80, 0x01, 0x00 });
    EXPECT_FLOAT_EQ(f.link.Speed, 205.3F);
    EXPECT_EQ(f.link.Distance, 10) << "2 x 21 - 32";
    EXPECT_TRUE(f.link.OutOfRange);
}

TEST(LinkPackets, CompactDigitsAreUsedWithoutACheckAndTheDistanceRestartsFromMinusOne)
{
    FakeLink f;
    f.ready(1, 23456, ModeSpeedSensor);
    f.lib.packet(1, { 0xFF, 0xFF, 0xFF, 0xFF, 0xF0, 0xFF, 0, 0 });
    EXPECT_FLOAT_EQ(f.link.Speed, 15 + 1.5F + 150 + 1500);
    EXPECT_EQ(f.link.Cadence, 15u + 150 + 1500);
    f.link.Distance = -1;
    f.lib.packet(1, { 0, 0, 0x64, 0, 0, 0, 0, 0 });
    EXPECT_EQ(f.link.DistanceBase, 200);
    EXPECT_EQ(f.link.Distance, 0);
}

TEST(LinkPackets, TheCompactReplyCarriesTheValueAndNeverFFFF)
{
    FakeLink f;
    f.ready(1, 23456, ModeSpeedSensor);
    f.link.CompactValue = 0x1234;
    f.lib.packet(1, {});
    f.link.CompactValue = 0xFFFF;
    f.lib.packet(1, {});
    EXPECT_EQ(f.lib.take(), (std::vector<std::string> { "SendBroadcastData(1; 34 12 00 00 00 00 00 01)",
                                                         "SendBroadcastData(1; FE FF 00 00 00 00 00 01)" }));
    EXPECT_EQ(f.link.CompactValue, 0xFFFE);

    f.link.CompactValue = 0x0102;
    f.lib.event(1, EVENT_TX);
    EXPECT_EQ(f.link.Channels[1]->TxData, (AntPayload { 0x02, 0x01, 0, 0, 0, 0, 0, 0x01 }));
    EXPECT_TRUE(f.lib.take().empty()) << "the transmit slot sends nothing in the compact protocol";
}

TEST(LinkPackets, ThePassiveModeNeitherConnectsNorAnswersTheTrainer)
{
    FakeLink f;
    lumo_Channel& rec = f.ready(1, 23456, ModeSpeedSensorPassive);
    f.lib.packet(1, { 0x53, 0x20, 0x10, 0x00, 0x70, 0x80, 0x00, 0x00 });
    EXPECT_FALSE(rec.Connected);
    EXPECT_EQ(f.link.Speed, 0.0F);
    EXPECT_EQ(f.link.RxCount, 1);
    EXPECT_TRUE(f.lib.take().empty());
}

TEST(LinkPackets, EveryTrainerPacketIsAnsweredWithTheCurrentResistanceWhileTransmissionIsOn)
{
    FakeLink f;
    f.ready(1, 12345);
    f.link.ResistanceLevel = 120;
    f.lib.packet(1, { 0x11, 0, 0, 0, 0, 0, 0, 0 });
    f.lib.packet(1, { 0x02, 1, 2, 3, 4, 5, 6, 0 });
    EXPECT_EQ(f.lib.take(), repeatedCalls("SendBroadcastData(1; 01 78 00 00 00 00 00 00)", 2));
    f.link.TxEnabled = false;
    f.lib.packet(1, { 0x11, 0, 0, 0, 0, 0, 0, 0 });
    EXPECT_TRUE(f.lib.take().empty());
    f.link.QueueResistance(7);
    EXPECT_TRUE(f.link.TxEnabled);
    EXPECT_TRUE(f.link.ResistancePending);
    f.lib.packet(1, { 0x11, 0, 0, 0, 0, 0, 0, 0 });
    EXPECT_EQ(f.lib.take(), repeatedCalls("SendBroadcastData(1; 01 07 00 00 00 00 00 00)", 1));
    EXPECT_TRUE(f.link.ResistancePending) << "the reply leaves the pending flag to the transmit slot";
}

TEST(LinkPackets, NativeTrainerPages)
{
    FakeLink f;
    f.ready(1, 12345);
    f.link.DistanceRequestPending = true;
    f.lib.packet(1, { 0x07, 0x10, 0x27, 0x00, 0, 0, 0, 0 });
    EXPECT_EQ(f.link.TrainerDistance, 10000);
    EXPECT_FALSE(f.link.DistanceRequestPending);

    f.lib.packet(1, { 0x02, 1, 2, 3, 4, 5, 6, 0 });
    EXPECT_TRUE(f.link.TrainerEpromReceived);
    EXPECT_EQ(f.link.TrainerEprom, (std::array<std::uint16_t, 6> { 1, 2, 3, 4, 5, 6 }));

    f.lib.packet(1, { 0x11, 42, 0, 0, 0, 0, 0, 0 });
    EXPECT_TRUE(f.link.Page17Seen);
    EXPECT_EQ(f.link.Page17Value, 42);

    f.lib.packet(1, { 0xFF, 4, 0, 0, 0, 0, 0, 0 });
    EXPECT_FALSE(f.link.TrainerEpromWriteAcked);
    f.lib.packet(1, { 0xFF, 3, 0, 0, 0, 0, 0, 0 });
    EXPECT_TRUE(f.link.TrainerEpromWriteAcked);
    f.lib.packet(1, { 0xFE, 9, 0, 0, 0, 0, 0, 0 });

    f.link.LogEvents = false; // leaves the page lines alone
    f.log.clear();
    f.lib.packet(1, { 0x07, 0, 0, 0, 0, 0, 0, 0 });
    f.lib.packet(1, { 0xFF, 3, 0, 0, 0, 0, 0, 0 });
    f.lib.packet(1, { 0xFE, 9, 0, 0, 0, 0, 0, 0 });
    const QStringList lines = f.log.lines();
    EXPECT_EQ(linesStartingWith(lines, "Distance"), QStringList { "Distance Recieved command (1)" });
    EXPECT_EQ(linesStartingWith(lines, "ACK"), QStringList { "ACK(1)-CMD(3)" });
    EXPECT_EQ(linesStartingWith(lines, "NACK"), QStringList { "NACK!!(1)-CMD(9)" });
}

struct CommandCase {
    const char* what;
    std::function<void(lumo_ANT&)> raise;
    AntPayload txData;
    std::vector<std::string> sent;
};

class LinkCommandStep : public testing::TestWithParam<CommandCase> {};

TEST_P(LinkCommandStep, PlacesTheWaitingCommandInTxData)
{
    const CommandCase& c = GetParam();
    FakeLink f;
    lumo_Channel& trainer = f.ready(1, 12345);
    c.raise(f.link);
    f.lib.event(1, EVENT_TX);
    EXPECT_EQ(trainer.TxData, c.txData) << c.what;
    EXPECT_EQ(f.lib.take(), c.sent) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Requests, LinkCommandStep,
    testing::Values(
        CommandCase { "resistance", [](lumo_ANT& l) { l.QueueResistance(9); }, { 1, 9, 0, 0, 0, 0, 0, 0 }, {} },
        CommandCase { "command 4", [](lumo_ANT& l) { l.Command4Pending = true; }, { 4, 0, 0, 0, 0, 0, 0, 0 }, {} },
        CommandCase { "distance", [](lumo_ANT& l) { l.DistanceRequestPending = true; }, { 7, 0, 0, 0, 0, 0, 0, 0 }, {} },
        CommandCase { "command 8",
                      [](lumo_ANT& l) {
                          l.Command8Pending = true;
                          l.Command8Value = 0xABCDEF;
                      },
                      { 8, 0xEF, 0xCD, 0xAB, 0, 0, 0, 0 },
                      {} },
        CommandCase { "the last request wins TxData",
                      [](lumo_ANT& l) {
                          l.QueueResistance(9);
                          l.Command4Pending = true;
                          l.DistanceRequestPending = true;
                      },
                      { 7, 0, 0, 0, 0, 0, 0, 0 },
                      {} },
        CommandCase { "memory write",
                      [](lumo_ANT& l) {
                          l.TrainerEpromWritePending = true;
                          l.TrainerEpromWriteData = { 0x1234, 0x0156, 7, 8, 9, 10 };
                      },
                      { 3, 0x34, 0x12, 0x56, 7, 8, 9, 10 },
                      { "SendAcknowledgedData(1; 03 34 12 56 07 08 09 0A)" } }));

TEST(LinkPackets, TheMemoryWriteIsLoggedAndCountedAndLeavesOnlyOnce)
{
    FakeLink f;
    f.ready(1, 12345);
    f.link.TrainerEpromWritePending = true;
    f.link.TrainerEpromWriteData = { 1, 2, 3, 4, 5, 6 };
    f.lib.event(1, EVENT_TX);
    f.lib.event(1, EVENT_TX);
    EXPECT_EQ(f.lib.take().size(), 1u);
    EXPECT_EQ(f.link.TxCount, 1);
    EXPECT_EQ(f.log.lines(), (QStringList { "########## RICHIESTA EPROM TRAINER SCRITTURA  ########",
                                            "Tx(1): [03][01][00][02][03][04][05][06] RF Freq:71 RxCount:0" }));
    EXPECT_FALSE(f.link.DistanceRequestPending);
}

TEST(LinkPackets, ConsoleKeysAcknowledgementsAndMemory)
{
    FakeLink f;
    f.ready(3, 777);
    f.lib.packet(3, { 0x05, 0, 7, 0, 1, 0, 0, 0 });
    EXPECT_EQ(f.link.ConsoleKeys, (std::array<bool, 4> { false, true, false, true }));
    EXPECT_TRUE(f.link.Channels[3]->Connected);

    for (const std::uint8_t code : { 8, 9, 10 })
        f.lib.packet(3, { 0xFF, code, 0, 0, 0, 0, 0, 0 });
    EXPECT_TRUE(f.link.ConsoleAck8);
    EXPECT_TRUE(f.link.ConsoleAck9);
    EXPECT_TRUE(f.link.ConsoleAck10);

    std::vector<int> commands;
    f.link.OnConsoleCommand = [&](std::uint8_t code) { commands.push_back(code); };
    f.lib.packet(3, { 0xFE, 9, 0, 0, 0, 0, 0, 0 });
    f.lib.packet(3, { 0xFE, 10, 0, 0, 0, 0, 0, 0 });
    EXPECT_EQ(commands, std::vector<int> { 10 });

    f.log.clear();
    f.lib.packet(3, { 0x02, 6, 5, 4, 3, 2, 1, 0 });
    EXPECT_TRUE(f.link.ConsoleEpromReceived);
    EXPECT_EQ(f.link.ConsoleEprom, (std::array<std::uint16_t, 6> { 6, 5, 4, 3, 2, 1 }));
    EXPECT_TRUE(f.log.lines().contains("********EPROM RECEIVED CONSOLE******"));
}

TEST(LinkPackets, EveryConsolePacketIsAnsweredWithOneKeepAliveEvenWithTransmissionOff)
{
    FakeLink f;
    f.ready(3, 777);
    f.link.TxEnabled = false;
    f.link.TxCount = 4;
    f.lib.packet(3, { 0x05, 0, 0, 0, 0, 0, 0, 0 });
    f.lib.packet(3, { 0x05, 0, 0, 0, 0, 0, 0, 0 });
    EXPECT_EQ(f.lib.take(), repeatedCalls("SendBroadcastData(3; 0A 00 00 00 00 00 00 00)", 2));
    EXPECT_EQ(f.link.TxCount, 6);
    EXPECT_EQ(linesStartingWith(f.log.lines(), "Tx(3)"),
              (QStringList { "Tx(3): [0A][00][00][00][00][00][00][00] RF Freq:70 RxCount:4  KAL continuo",
                             "Tx(3): [0A][00][00][00][00][00][00][00] RF Freq:70 RxCount:5  KAL continuo" }));
    EXPECT_TRUE(f.link.KeepAliveTimer.enabled()) << "the first console packet starts the keep-alive timer";
}

TEST(LinkPackets, AWaitingSwitchCommandFollowsTheKeepAliveOnce)
{
    FakeLink f;
    f.ready(3, 777);
    f.link.ConsoleSwitchPending = true;
    f.link.ConsoleSwitchValue = true;
    f.lib.packet(3, { 0x05, 0, 0, 0, 0, 0, 0, 0 });
    f.lib.packet(3, { 0x05, 0, 0, 0, 0, 0, 0, 0 });
    EXPECT_EQ(f.lib.take(), (std::vector<std::string> { "SendBroadcastData(3; 0A 00 00 00 00 00 00 00)",
                                                         "SendBroadcastData(3; 09 01 00 00 00 00 00 00)",
                                                         "SendBroadcastData(3; 0A 00 00 00 00 00 00 00)" }));
    EXPECT_FALSE(f.link.ConsoleSwitchPending);
    EXPECT_EQ(f.link.TxCount, 3);
    EXPECT_TRUE(f.log.lines().contains("Tx(3): [09][01][00][00][00][00][00][00] RF Freq:70 RxCount:1"));
}

TEST(LinkPackets, TheKeepAliveTickPreparesThePacketAndStopsWhenTheConsoleIsNotUsed)
{
    FakeLink f;
    lumo_Channel& console = f.ready(3, 777);
    f.link.KeepAliveTimer.setEnabled(true);
    f.run(15000);
    EXPECT_EQ(console.TxData, (AntPayload { 0x0A, 0, 0, 0, 0, 0, 0, 0 }));
    EXPECT_TRUE(f.lib.take().empty()) << "the tick sends nothing";

    console.TxData = {};
    console.DeviceNumber = 0;
    f.run(15000);
    EXPECT_EQ(console.TxData, AntPayload {}) << "no console paired yet";
    EXPECT_TRUE(f.link.KeepAliveTimer.enabled());

    console.DeviceNumber = 777;
    f.link.UseConsoleChannel = false;
    f.run(15000);
    EXPECT_FALSE(f.link.KeepAliveTimer.enabled());
    EXPECT_EQ(console.TxData, AntPayload {});
}

TEST(LinkPackets, TheKeepAliveTickWithoutAConsoleRecordStopsTheTimer)
{
    FakeLink f;
    f.link.KeepAliveTimer.setEnabled(true);
    f.run(15000);
    EXPECT_FALSE(f.link.KeepAliveTimer.enabled());
}

TEST(LinkPackets, HeartRateFromByteSeven)
{
    FakeLink f;
    f.ready(0, 4321);
    f.lib.packet(0, { 4, 1, 2, 3, 4, 5, 6, 131 });
    EXPECT_EQ(f.link.HeartRate, 131);
    EXPECT_TRUE(f.link.HeartEventSeen);
    EXPECT_TRUE(f.link.Channels[0]->Connected);
}

TEST(LinkPackets, IsBitSet)
{
    EXPECT_TRUE(lumo_ANT::IsBitSet(0x80, 7));
    EXPECT_FALSE(lumo_ANT::IsBitSet(0x7F, 7));
    EXPECT_TRUE(lumo_ANT::IsBitSet(0x01, 0));
    EXPECT_FALSE(lumo_ANT::IsBitSet(0xFF, 8)) << "a bit beyond the byte is never set";
}

// End to end on the virtual stick: the resistance queued on the link reaches the simulated
// trainer, and the console hears its keep-alives.
TEST(LinkPackets, TheResistanceReachesTheSimulatedTrainerAndTheConsoleIsKeptAlive)
{
    SimLink s;
    ASSERT_TRUE(s.link.OpenStick(0));
    describePlan(s.link, ModeTrainerNetwork, { 12345, 0, 777 });
    s.link.WheelDiameter = 74;
    s.link.EventsPerTurn = 1;
    s.link.StartChannels();
    s.link.QueueResistance(120);
    s.run(5000);
    EXPECT_EQ(s.world().rider().resistance(), 120);
    EXPECT_GT(s.world().console()->keepAlives(), 5u);
    EXPECT_GT(s.link.Speed, 0.0F);
    EXPECT_GT(s.link.HeartRate, 0);
}

// The one command the transmit slot sends itself: with the stick reporting transmit slots, a
// memory write reaches the simulated trainer, which acknowledges it.
TEST(LinkPackets, AMemoryWriteReachesTheSimulatedTrainerAtATransmitSlot)
{
    SimLink s;
    ASSERT_TRUE(s.link.OpenStick(0));
    s.sim->stick().setTransmitSlotEvents(true);
    describePlan(s.link, ModeTrainerNetwork, { 12345, 0, 777 });
    s.link.UseHeartChannel = false;
    s.link.UseConsoleChannel = false;
    s.link.StartChannels();
    s.link.TrainerEpromWriteData = { 0x1234, 21, 22, 23, 24, 25 };
    s.link.TrainerEpromWritePending = true;
    s.run(5000);

    const auto* trainer = dynamic_cast<antsim::NativeTrainer*>(s.world().device("trainer"));
    ASSERT_NE(trainer, nullptr);
    EXPECT_EQ(trainer->memory(), (std::array<std::uint16_t, 6> { 0x1234, 21, 22, 23, 24, 25 }));
    EXPECT_TRUE(s.link.TrainerEpromWriteAcked);
    EXPECT_TRUE(s.log.lines().contains("ACK(1)-CMD(3)"));
}
