#include "ant/AntPackets.h"

#include <cmath>

namespace caltrix::ant {

namespace {

constexpr float MinimumSpeed = 0.4F; // km/h; slower reads as standing still

std::int32_t word(std::uint8_t low, std::uint8_t high) { return low | (high << 8); }

std::uint8_t highNibble(std::uint8_t v) { return static_cast<std::uint8_t>(v >> 4); }
std::uint8_t lowNibble(std::uint8_t v) { return static_cast<std::uint8_t>(v & 0x0F); }

} // namespace

std::uint8_t heartRate(PayloadBytes payload) { return payload[7]; }

SensorPacket decodeSensorPacket(PayloadBytes p)
{
    return { word(p[0], p[1]), word(p[2], p[3]), word(p[4], p[5]), word(p[6], p[7]) };
}

std::optional<std::uint32_t> cadenceFrom(std::int32_t dt, std::int32_t dr)
{
    if (dt <= 0 || dr <= 0)
        return std::nullopt;
    // nearbyint rounds halves to the even neighbour in the default rounding mode.
    return static_cast<std::uint32_t>(std::nearbyint(1024.0L / dt * 60));
}

std::optional<float> wheelSpeedFrom(long double wheelDiameter, std::uint8_t eventsPerTurn, std::int32_t dr,
                                    std::int32_t dt)
{
    if (dt <= 0 || dr <= 0)
        return std::nullopt;
    // WheelDiameter x 3.14 is the circumference in mm; 3686.4 = 3.6 x 1024 gives km/h.
    const auto speed = static_cast<float>(wheelDiameter / eventsPerTurn * 3.14L * 3686.4L / 1000 * dr / dt);
    return speed < MinimumSpeed ? 0.0F : speed;
}

CompactPacket decodeCompactPacket(PayloadBytes p)
{
    CompactPacket packet;
    packet.speed = static_cast<float>(highNibble(p[0]) + lowNibble(p[0]) * 0.1 + highNibble(p[1]) * 10
                                      + lowNibble(p[1]) * 100);
    packet.distance = 2 * word(p[2], p[3]);
    packet.cadence = static_cast<std::uint32_t>(highNibble(p[4]) + highNibble(p[5]) * 10 + lowNibble(p[5]) * 100);
    packet.outOfRange = p[6] != 0;
    return packet;
}

std::array<std::uint16_t, 6> memoryValues(PayloadBytes p) { return { p[1], p[2], p[3], p[4], p[5], p[6] }; }

std::int32_t trainerDistance(PayloadBytes p) { return p[1] | (p[2] << 8) | (p[3] << 16); }

std::array<bool, 4> consoleKeys(PayloadBytes p) { return { p[1] != 0, p[2] != 0, p[3] != 0, p[4] != 0 }; }

} // namespace caltrix::ant
