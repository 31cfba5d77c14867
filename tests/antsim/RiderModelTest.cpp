#include "antsim/RiderModel.h"
#include "antsim/SimDevices.h"

#include <gtest/gtest.h>

using namespace caltrix::antsim;

TEST(RiderModel, AHigherResistanceGivesALowerSpeedAtTheSameEffort)
{
    double previous = 1e9;
    for (int level : { 0, 40, 80, 120, 160, 200, 255 }) {
        const double speed = RiderModel::steadySpeedKmh(0.7, static_cast<std::uint8_t>(level));
        EXPECT_LT(speed, previous) << "level " << level;
        EXPECT_GT(speed, 3.0);
        previous = speed;
    }
}

TEST(RiderModel, ValuesVaryButStayPlausible)
{
    RiderModel rider(7);
    rider.setResistance(100);
    double low = 1e9, high = 0;
    for (std::uint64_t t = 0; t <= 60'000; t += 500) {
        rider.advanceTo(t);
        low = std::min(low, rider.speedKmh());
        high = std::max(high, rider.speedKmh());
        EXPECT_GT(rider.cadenceRpm(), 40);
        EXPECT_LT(rider.cadenceRpm(), 121);
        EXPECT_GT(rider.heartRateBpm(), 100);
        EXPECT_LT(rider.heartRateBpm(), 200);
    }
    EXPECT_LT(low, high);
    EXPECT_NEAR(rider.distanceMetres(), RiderModel::steadySpeedKmh(0.7, 100) / 3.6 * 60, 15);
}

// The receiving side turns the sensor's wheel events back into a speed with
// diameter / events per turn x 3.14 x 3686.4 / 1000 x revolutions / time; that speed must be the
// rider's, whatever roll diameter and events per turn the world is configured with.
TEST(SpeedCadenceSensor, ItsWheelEventsGiveBackTheRidersSpeed)
{
    struct Case {
        double diameter;
        int eventsPerTurn;
    } cases[] = { { 74, 1 }, { 100, 2 }, { 36, 4 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.diameter);
        RiderModel rider(3);
        rider.setResistance(60);
        SpeedCadenceSensor sensor({}, rider, c.diameter, c.eventsPerTurn);
        const auto first = sensor.nextPacket(10'000);
        const auto second = sensor.nextPacket(14'000);
        const int dt = (second[4] | second[5] << 8) - (first[4] | first[5] << 8);
        const int dr = (second[6] | second[7] << 8) - (first[6] | first[7] << 8);
        ASSERT_GT(dt, 0);
        ASSERT_GT(dr, 0);
        const double speed = c.diameter / c.eventsPerTurn * 3.14 * 3686.4 / 1000 * dr / dt;
        EXPECT_NEAR(speed, rider.speedKmh(), rider.speedKmh() * 0.05);
        const int crankDt = (second[0] | second[1] << 8) - (first[0] | first[1] << 8);
        const int crankDr = (second[2] | second[3] << 8) - (first[2] | first[3] << 8);
        EXPECT_NEAR(crankDr * 60.0 * 1024 / crankDt, rider.cadenceRpm(), 6);
    }
}

TEST(CompactTrainer, WritesSpeedAndCadenceAsDecimalDigits)
{
    RiderModel rider(1);
    CompactTrainer trainer({}, rider);
    const auto p = trainer.nextPacket(5'000);
    const double speed = (p[0] >> 4) + (p[0] & 15) * 0.1 + (p[1] >> 4) * 10 + (p[1] & 15) * 100;
    const int cadence = (p[4] >> 4) + (p[5] >> 4) * 10 + (p[5] & 15) * 100;
    EXPECT_NEAR(speed, rider.speedKmh(), 0.11);
    EXPECT_NEAR(cadence, rider.cadenceRpm(), 1.01);
    const std::array<std::uint8_t, 8> value { 90, 0, 0, 0, 0, 0, 0, 1 };
    trainer.receive(value, false);
    EXPECT_EQ(rider.resistance(), 90);
}

TEST(Console, ReportsHeldKeysAndAcknowledgesTheFirstKeepAlive)
{
    RiderModel rider(1);
    Console console({}, rider);
    console.pressKey(2, 1'000);
    auto p = console.nextPacket(500);
    EXPECT_EQ(p[0], 0x05);
    EXPECT_EQ((std::array<std::uint8_t, 4> { p[1], p[2], p[3], p[4] }), (std::array<std::uint8_t, 4> { 0, 0, 1, 0 }));
    const std::array<std::uint8_t, 8> keepAlive { 0x0A, 0, 0, 0, 0, 0, 0, 0 };
    console.receive(keepAlive, false);
    p = console.nextPacket(1'500);
    EXPECT_EQ(p[0], 0xFF);
    EXPECT_EQ(p[1], 0x0A);
    console.receive(keepAlive, false);
    p = console.nextPacket(2'000);
    EXPECT_EQ(p[0], 0x05);
    EXPECT_EQ(p[3], 0) << "the key was let go";
}
