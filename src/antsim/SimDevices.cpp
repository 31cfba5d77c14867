#include "antsim/SimDevices.h"

#include "antproto/DeviceProfiles.h"

#include <algorithm>
#include <cmath>

namespace caltrix::antsim {

namespace trainer = antproto::profile::trainer;
namespace console = antproto::profile::console;

namespace {
std::uint8_t lowByte(std::uint32_t v) { return static_cast<std::uint8_t>(v & 0xFF); }
std::uint8_t highByte(std::uint32_t v) { return static_cast<std::uint8_t>((v >> 8) & 0xFF); }
std::uint8_t digit(double value, double weight)
{
    return static_cast<std::uint8_t>(static_cast<long>(std::floor(value / weight)) % 10);
}

} // namespace

SimDevice::SimDevice(std::string name, DeviceIdentity identity, RiderModel& rider)
    : rider_(rider)
    , name_(std::move(name))
    , identity_(identity)
{
}

bool SimDevice::receive(std::span<const std::uint8_t, 8>, bool) { return true; }

// ---------------------------------------------------------------------------------------------

NativeTrainer::NativeTrainer(DeviceIdentity identity, RiderModel& rider, std::string name)
    : SimDevice(std::move(name), identity, rider)
{
}

// [0] page: an answer waiting, else every 8th packet 0x02 [1..6] memory values, else 0x11 [1]
// the resistance level in force.
Payload NativeTrainer::nextPacket(std::uint64_t nowMs)
{
    rider_.advanceTo(nowMs);
    if (answer_) {
        const Payload p = *answer_;
        answer_.reset();
        return p;
    }
    if (++counter_ % 8 == 0) {
        Payload p { trainer::PageMemory };
        for (int i = 0; i < 6; ++i)
            p[static_cast<std::size_t>(i) + 1] = lowByte(memory_[static_cast<std::size_t>(i)]);
        return p;
    }
    return { trainer::PageSingleValue, rider_.resistance() };
}

// [0] command; 0x01 [1] resistance level; 0x03 [1..2] word 0 LE, [3..7] words 1..5; 0x07 asks
// for page 0x07 [1..3] metres (24 bits LE); others are acknowledged (0xFF) or refused (0xFE).
bool NativeTrainer::receive(std::span<const std::uint8_t, 8> data, bool)
{
    switch (data[0]) {
    case trainer::CmdResistance:
        rider_.setResistance(data[1]);
        return true;
    case trainer::CmdMemoryWrite:
        // Word 0 comes whole (low, high), words 1 to 5 as their low bytes.
        memory_[0] = static_cast<std::uint16_t>(data[1] | (data[2] << 8));
        for (std::size_t i = 1; i < 6; ++i)
            memory_[i] = data[i + 2];
        answer_ = Payload { trainer::PageAck, trainer::CmdMemoryWrite };
        return true;
    case trainer::CmdDistanceRequest: {
        const auto metres = static_cast<std::uint32_t>(rider_.distanceMetres());
        answer_ = Payload { trainer::PageDistance, lowByte(metres), highByte(metres), lowByte(metres >> 16) };
        return true;
    }
    case trainer::CmdCodeOnly:
    case trainer::CmdThreeByteValue:
        answer_ = Payload { trainer::PageAck, data[0] };
        return true;
    default:
        answer_ = Payload { trainer::PageNack, data[0] };
        return false;
    }
}

// ---------------------------------------------------------------------------------------------

SpeedCadenceSensor::SpeedCadenceSensor(DeviceIdentity identity, RiderModel& rider, double rollDiameterMm,
                                       int eventsPerTurn, std::string name)
    : SimDevice(std::move(name), identity, rider)
    , rollDiameterMm_(rollDiameterMm)
    , eventsPerTurn_(std::max(1, eventsPerTurn))
{
}

// Bytes 0-1 crank event time and 2-3 crank revolutions, 4-5 wheel event time and 6-7 wheel
// events; times in 1/1024 s; all little-endian and wrapping at 16 bits.
Payload SpeedCadenceSensor::nextPacket(std::uint64_t nowMs)
{
    rider_.advanceTo(nowMs);
    const double mmPerEvent = rollDiameterMm_ * 3.14 / eventsPerTurn_;
    const double events = rider_.distanceMetres() * 1000.0 / mmPerEvent;
    const double eventRate = rider_.speedKmh() / 3.6 * 1000.0 / mmPerEvent; // per second
    const double now1024 = static_cast<double>(nowMs) * 1.024;
    // The last whole event happened a fraction of an event interval ago.
    auto lastEventTime = [&](double count, double rate) {
        const double since = rate > 0 ? (count - std::floor(count)) / rate * 1024.0 : 0;
        return static_cast<std::uint32_t>(std::llround(std::max(0.0, now1024 - since)));
    };
    const double crankRate = rider_.cadenceRpm() / 60.0;
    const auto wheelTime = lastEventTime(events, eventRate);
    const auto crankTime = lastEventTime(rider_.crankTurns(), crankRate);
    const auto wheelRevs = static_cast<std::uint32_t>(events);
    const auto crankRevs = static_cast<std::uint32_t>(rider_.crankTurns());
    return { lowByte(crankTime), highByte(crankTime), lowByte(crankRevs), highByte(crankRevs),
             lowByte(wheelTime), highByte(wheelTime), lowByte(wheelRevs), highByte(wheelRevs) };
}

// ---------------------------------------------------------------------------------------------

CompactTrainer::CompactTrainer(DeviceIdentity identity, RiderModel& rider)
    : SimDevice("compact-trainer", identity, rider)
{
}

// [0] speed units|tenths, [1] tens|hundreds (km/h digits, high|low nibble); [2..3] count LE of
// 2 m; [4] cadence units|0, [5] tens|hundreds (rev/min); [6..7] 0 (in range).
Payload CompactTrainer::nextPacket(std::uint64_t nowMs)
{
    rider_.advanceTo(nowMs);
    const double speed = std::min(rider_.speedKmh(), 999.9);
    const double cadence = std::min(rider_.cadenceRpm(), 999.0);
    const auto count = static_cast<std::uint32_t>(rider_.distanceMetres() / 2);
    auto nibbles = [](std::uint8_t hi, std::uint8_t lo) { return static_cast<std::uint8_t>(hi << 4 | lo); };
    return { nibbles(digit(speed, 1), digit(speed, 0.1)),
             nibbles(digit(speed, 10), digit(speed, 100)),
             lowByte(count),
             highByte(count),
             nibbles(digit(cadence, 1), 0),
             nibbles(digit(cadence, 10), digit(cadence, 100)),
             0,
             0 };
}

// [0..1] the host's value LE, whose low byte is taken as the resistance level.
bool CompactTrainer::receive(std::span<const std::uint8_t, 8> data, bool)
{
    hostValue_ = static_cast<std::uint16_t>(data[0] | data[1] << 8);
    rider_.setResistance(data[0]);
    return true;
}

// ---------------------------------------------------------------------------------------------

HeartRateBelt::HeartRateBelt(DeviceIdentity identity, RiderModel& rider)
    : SimDevice("heart-rate", identity, rider)
{
}

// Page 4: byte 0 page number with the toggle bit (bit 7) flipping every 4 packets, bytes 4-5 the
// last beat time (1/1024 s), byte 6 the beat count, byte 7 the computed heart rate.
Payload HeartRateBelt::nextPacket(std::uint64_t nowMs)
{
    rider_.advanceTo(nowMs);
    const double bpm = rider_.heartRateBpm();
    beats_ += bpm / 60000.0 * static_cast<double>(nowMs - last_);
    last_ = nowMs;
    const auto beatTime = static_cast<std::uint32_t>(static_cast<double>(nowMs) * 1.024);
    const auto toggle = static_cast<std::uint8_t>((counter_++ / 4) % 2 ? 0x80 : 0);
    return { static_cast<std::uint8_t>(0x04 | toggle), 0, 0, 0, lowByte(beatTime), highByte(beatTime),
             lowByte(static_cast<std::uint32_t>(beats_)), static_cast<std::uint8_t>(std::lround(bpm)) };
}

// ---------------------------------------------------------------------------------------------

Console::Console(DeviceIdentity identity, RiderModel& rider)
    : SimDevice("console", identity, rider)
{
}

void Console::pressKey(int key, std::uint64_t untilMs)
{
    if (key >= 0 && key < 4)
        heldUntil_[static_cast<std::size_t>(key)] = untilMs;
}

// [0] page: an answer waiting, else every 16th packet 0x02 [1..6] memory values, else 0x05
// [1..4] key states, 1 while held.
Payload Console::nextPacket(std::uint64_t nowMs)
{
    now_ = nowMs;
    if (answer_) {
        const Payload p = *answer_;
        answer_.reset();
        return p;
    }
    if (++counter_ % 16 == 0)
        return { console::PageMemory, 1, 2, 3, 4, 5, 6, 0 };
    Payload p { console::PageKeys };
    for (std::size_t k = 0; k < 4; ++k)
        p[k + 1] = nowMs < heldUntil_[k] ? 1 : 0;
    return p;
}

// [0] command: 0x0A keep-alive (the first one acknowledged), 0x09 switch and 0x08 acknowledged.
bool Console::receive(std::span<const std::uint8_t, 8> data, bool)
{
    switch (data[0]) {
    case console::CmdKeepAlive:
        if (keepAlives_++ == 0)
            answer_ = Payload { console::PageAck, console::CmdKeepAlive };
        return true;
    case console::CmdSwitch:
    case console::CmdAcknowledgedOnly:
        answer_ = Payload { console::PageAck, data[0] };
        return true;
    default:
        return false;
    }
}

} // namespace caltrix::antsim
