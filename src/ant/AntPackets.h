#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

// What the received payloads of the four channels say, as functions of the bytes alone. A payload
// is always the eight bytes after the channel byte of a receive buffer; the fixed extent of the
// spans makes every byte these functions read one that is there. Multi-byte numbers are
// little-endian; the page of a packet is its byte 0.
namespace caltrix::ant {

using PayloadBytes = std::span<const std::uint8_t, 8>;

// The payload of a receive buffer, whose byte 0 is the channel.
inline PayloadBytes payloadOf(std::span<const std::uint8_t, 9> receiveBuffer)
{
    return receiveBuffer.subspan<1, 8>();
}

// Heart-rate belt: byte 7, beats per minute.
std::uint8_t heartRate(PayloadBytes payload);

// Speed-and-cadence sensor: [0..1] crank event time, 1/1024 s; [2..3] crank revolutions;
// [4..5] wheel event time, 1/1024 s; [6..7] wheel revolutions. 16 bits each, wrapping.
struct SensorPacket {
    std::int32_t crankTime = 0;
    std::int32_t crankRevs = 0;
    std::int32_t wheelTime = 0;
    std::int32_t wheelRevs = 0;
};
SensorPacket decodeSensorPacket(PayloadBytes payload);

// Cadence in rev/min from two crank events `dt` 1/1024 s apart, one revolution per event, rounded
// to the nearest integer (halves to the even neighbour). None unless both differences are positive:
// a wrapped counter gives no value.
std::optional<std::uint32_t> cadenceFrom(std::int32_t dt, std::int32_t dr);

// Speed in km/h from `dr` wheel events in `dt` 1/1024 s: wheelDiameter / eventsPerTurn x 3.14 x
// 3686.4 / 1000 x dr / dt in extended precision (3.14, not pi), stored as f32; below 0.4 km/h it is
// 0. None unless both differences are positive. `eventsPerTurn` is never 0.
std::optional<float> wheelSpeedFrom(long double wheelDiameter, std::uint8_t eventsPerTurn, std::int32_t dr,
                                    std::int32_t dt);

// Compact trainer protocol, decimal digits in nibbles (high|low), each used as it comes, 0 to 15:
// [0] speed units|tenths, [1] tens|hundreds (km/h); [2..3] a count, the distance being 2 x count;
// [4] cadence units|-, [5] tens|hundreds (rev/min); [6] not 0: out of range.
struct CompactPacket {
    float speed = 0;
    std::int32_t distance = 0; // 2 x count
    std::uint32_t cadence = 0;
    bool outOfRange = false;
};
CompactPacket decodeCompactPacket(PayloadBytes payload);

// Trainer and console page 0x02: bytes 1-6, six memory values.
std::array<std::uint16_t, 6> memoryValues(PayloadBytes payload);

// Trainer page 0x07: bytes 1-3, the distance (24 bits).
std::int32_t trainerDistance(PayloadBytes payload);

// Console page 0x05: bytes 1-4, four keys, each down when its byte is not 0.
std::array<bool, 4> consoleKeys(PayloadBytes payload);

} // namespace caltrix::ant
