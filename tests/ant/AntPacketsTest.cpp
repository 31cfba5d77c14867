// The packet decoders on their own: received payload bytes in, the values they say out, with the
// edge values the radio can send (counters at their limits, nibbles above 9, any non-zero flag).

#include "ant/AntPackets.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <iomanip>
#include <optional>
#include <ostream>

using namespace caltrix::ant;

namespace {

using Bytes = std::array<std::uint8_t, 8>;

struct SensorCase {
    Bytes bytes;
    SensorPacket decoded;
};

// Test names show the bytes.
void PrintTo(const SensorCase& c, std::ostream* os)
{
    for (const std::uint8_t b : c.bytes)
        *os << std::hex << std::uppercase << std::setw(2) << std::setfill('0') << int(b);
}

struct CompactCase {
    const char* what;
    Bytes bytes;
    float speed;
    std::int32_t distance;
    std::uint32_t cadence;
    bool outOfRange;
};

void PrintTo(const CompactCase& c, std::ostream* os) { *os << c.what; }

} // namespace

TEST(AntPackets, ThePayloadIsTheReceiveBufferAfterTheChannelByte)
{
    const std::array<std::uint8_t, 9> rx { 5, 1, 2, 3, 4, 5, 6, 7, 8 };
    const PayloadBytes p = payloadOf(rx);
    EXPECT_EQ(p.data(), rx.data() + 1);
    EXPECT_EQ(p[7], 8);
}

TEST(AntPackets, HeartRateIsByteSeven)
{
    EXPECT_EQ(heartRate(Bytes { 4, 1, 2, 3, 4, 5, 6, 131 }), 131);
    EXPECT_EQ(heartRate(Bytes { 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0 }), 0);
}

class AntSensorPacket : public testing::TestWithParam<SensorCase> {};

TEST_P(AntSensorPacket, DecodesFourLittleEndianWords)
{
    const SensorCase& c = GetParam();
    const SensorPacket p = decodeSensorPacket(c.bytes);
    EXPECT_EQ(p.crankTime, c.decoded.crankTime);
    EXPECT_EQ(p.crankRevs, c.decoded.crankRevs);
    EXPECT_EQ(p.wheelTime, c.decoded.wheelTime);
    EXPECT_EQ(p.wheelRevs, c.decoded.wheelRevs);
}

INSTANTIATE_TEST_SUITE_P(Packets, AntSensorPacket,
                         testing::Values(SensorCase { { 0xE8, 0x03, 0x0A, 0x00, 0xD0, 0x07, 0x32, 0x00 },
                                                      { 1000, 10, 2000, 50 } },
                                         SensorCase { { 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF },
                                                      { 65535, 65535, 65535, 65535 } },
                                         SensorCase { { 0x00, 0x80, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00 },
                                                      { 32768, 1, 256, 0 } }));

TEST(AntPackets, CadenceNeedsPositiveDifferencesAndRoundsHalvesToEven)
{
    struct Case {
        std::int32_t dt, dr;
        std::optional<std::uint32_t> rpm;
    };
    const Case cases[] = {
        { 512, 1, 120 },
        { 512, 5, 120 },     // the count only gates: one revolution per event
        { 1001, 1, 61 },     // 61.38
        { 24576, 1, 2 },     // 2.5 to the even neighbour
        { 8192, 1, 8 },      // 7.5
        { 1, 1, 61440 },
        { 0, 1, std::nullopt },
        { -64536, 1, std::nullopt }, // a wrapped time
        { 512, 0, std::nullopt },
        { 512, -65535, std::nullopt }, // a wrapped count
    };
    for (const Case& c : cases)
        EXPECT_EQ(cadenceFrom(c.dt, c.dr), c.rpm) << "dt " << c.dt << ", dr " << c.dr;
}

TEST(AntPackets, WheelSpeedFollowsTheFormulaAndReadsBelowFourTenthsAsZero)
{
    EXPECT_FLOAT_EQ(wheelSpeedFrom(100, 2, 3, 1024).value(), 1.69560F) << "100 / 2 x 3.14 x 3686.4 / 1000 x 3 / 1024";
    EXPECT_FLOAT_EQ(wheelSpeedFrom(700, 1, 1, 1024).value(), static_cast<float>(700 * 3.14L * 3.6L / 1000));
    EXPECT_EQ(wheelSpeedFrom(100, 2, 1, 30000), 0.0F) << "0.019 km/h";
    EXPECT_EQ(wheelSpeedFrom(100, 2, 0, 1024), std::nullopt);
    EXPECT_EQ(wheelSpeedFrom(100, 2, 3, 0), std::nullopt);
    EXPECT_EQ(wheelSpeedFrom(100, 2, 3, -64512), std::nullopt) << "a wrapped time";
}

class AntCompactPacket : public testing::TestWithParam<CompactCase> {};

TEST_P(AntCompactPacket, DecodesTheDigitsAsTheyCome)
{
    const CompactCase& c = GetParam();
    const CompactPacket p = decodeCompactPacket(c.bytes);
    EXPECT_FLOAT_EQ(p.speed, c.speed) << c.what;
    EXPECT_EQ(p.distance, c.distance) << c.what;
    EXPECT_EQ(p.cadence, c.cadence) << c.what;
    EXPECT_EQ(p.outOfRange, c.outOfRange) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Packets, AntCompactPacket,
    testing::Values(CompactCase { "the worked example", { 0x53, 0x20, 0x10, 0x00, 0x70, 0x80, 0x00, 0x00 }, 25.3F, 32, 87,
                                  false },
                    CompactCase { "a hundreds digit", { 0x53, 0x02, 0x15, 0x00, 0x70, 0x80, 0x01, 0x00 }, 205.3F, 42,
                                  87, true },
                    CompactCase { "nibbles above 9 are used unchecked", { 0xFF, 0xFF, 0xFF, 0xFF, 0xF0, 0xFF, 0, 0 },
                                  15 + 1.5F + 150 + 1500, 2 * 65535, 15 + 150 + 1500, false },
                    CompactCase { "the low nibble of byte 4 and byte 7 say nothing",
                                  { 0, 0, 0, 0, 0x0F, 0, 0, 0xFF }, 0, 0, 0, false },
                    CompactCase { "any non-zero byte 6 is out of range", { 0, 0, 0, 0, 0, 0, 0x80, 0 }, 0, 0, 0,
                                  true }));

TEST(AntPackets, MemoryValuesAreBytesOneToSix)
{
    EXPECT_EQ(memoryValues(Bytes { 0x02, 6, 5, 4, 3, 2, 1, 0xFF }), (std::array<std::uint16_t, 6> { 6, 5, 4, 3, 2, 1 }));
    EXPECT_EQ(memoryValues(Bytes { 0x02, 0xFF, 0, 0, 0, 0, 0x80, 9 }),
              (std::array<std::uint16_t, 6> { 255, 0, 0, 0, 0, 128 }));
}

TEST(AntPackets, TheTrainerDistanceIsTwentyFourBits)
{
    EXPECT_EQ(trainerDistance(Bytes { 0x07, 0x10, 0x27, 0x00, 0, 0, 0, 0 }), 10000);
    EXPECT_EQ(trainerDistance(Bytes { 0x07, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0 }), 0xFFFFFF) << "byte 4 is not part of it";
}

TEST(AntPackets, AConsoleKeyIsDownWhenItsByteIsNotZero)
{
    EXPECT_EQ(consoleKeys(Bytes { 0x05, 0, 7, 0, 1, 0, 0, 0 }), (std::array<bool, 4> { false, true, false, true }));
    EXPECT_EQ(consoleKeys(Bytes { 0x05, 0x80, 0, 0xFF, 0, 1, 1, 1 }), (std::array<bool, 4> { true, false, true, false }));
}
