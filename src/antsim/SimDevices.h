#pragma once

#include "antproto/AntMessage.h"
#include "antsim/RiderModel.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace caltrix::antsim {

using Payload = std::array<std::uint8_t, 8>;
using Key = std::array<std::uint8_t, 8>;

// What identifies a transmitting device on the air.
struct DeviceIdentity {
    Key networkKey {};
    std::uint8_t rfFrequency = antproto::DefaultRfFrequency; // MHz above 2400
    std::uint16_t deviceNumber = 0;
    std::uint8_t deviceType = 0;
    std::uint8_t transmissionType = 0;
    std::uint16_t period = antproto::DefaultChannelPeriod; // 1/32768 s
};

// A simulated radio device (a master): sends one packet per slot and takes what a receiving
// channel sends back. Time is in milliseconds of the world.
class SimDevice {
public:
    SimDevice(std::string name, DeviceIdentity identity, RiderModel& rider);
    virtual ~SimDevice() = default;

    const std::string& name() const { return name_; }
    const DeviceIdentity& identity() const { return identity_; }

    // The device's next packet at `nowMs`.
    virtual Payload nextPacket(std::uint64_t nowMs) = 0;
    // Data from a channel, broadcast or acknowledged. Returns false when the device refuses it.
    virtual bool receive(std::span<const std::uint8_t, 8> data, bool acknowledged);

    // Faults: silent until a moment, or for good (until `speakAgain`).
    void silenceUntil(std::uint64_t ms) { silentUntil_ = ms; }
    void silenceForever() { silentForever_ = true; }
    void silenceFrom(std::uint64_t ms) { silentFrom_ = ms; }
    void speakAgain() { silentForever_ = false; silentUntil_ = 0; silentFrom_ = NeverSilent; }
    bool onAir(std::uint64_t nowMs) const { return !silentForever_ && nowMs >= silentUntil_ && nowMs < silentFrom_; }

protected:
    RiderModel& rider_;

private:
    std::string name_;
    DeviceIdentity identity_;
    static constexpr std::uint64_t NeverSilent = ~std::uint64_t { 0 };
    std::uint64_t silentUntil_ = 0;
    std::uint64_t silentFrom_ = NeverSilent;
    bool silentForever_ = false;
};

// The trainer in its native protocol on network 1: pages 0x11 (its resistance level, our
// assumption for the meaning of that page) and 0x02 (memory) in turn, page 0x07 after a distance
// request, 0xFF acknowledging commands 3, 4 and 8, 0xFE refusing unknown ones. Command 0x01 sets
// the resistance level of the rider model.
class NativeTrainer final : public SimDevice {
public:
    NativeTrainer(DeviceIdentity identity, RiderModel& rider, std::string name = "trainer");
    Payload nextPacket(std::uint64_t nowMs) override;
    bool receive(std::span<const std::uint8_t, 8> data, bool acknowledged) override;
    const std::array<std::uint16_t, 6>& memory() const { return memory_; }

private:
    std::optional<Payload> answer_; // goes out instead of the next regular page
    std::array<std::uint16_t, 6> memory_ { 1, 2, 3, 4, 5, 6 };
    std::uint32_t counter_ = 0;
};

// The speed-and-cadence sensor: wheel events for the configured roll diameter (mm) and events per
// roller turn, computed with the same factor 3.14 the receiving side uses for the circumference, so
// that the speed it derives is the rider's speed.
class SpeedCadenceSensor final : public SimDevice {
public:
    SpeedCadenceSensor(DeviceIdentity identity, RiderModel& rider, double rollDiameterMm, int eventsPerTurn,
                       std::string name = "sensor");
    Payload nextPacket(std::uint64_t nowMs) override;

private:
    double rollDiameterMm_;
    int eventsPerTurn_;
};

// The compact-protocol trainer on network 0: speed and cadence as decimal digits in nibbles, a
// distance count (metres / 2) and an out-of-range flag. The low byte of the value the host sends
// back is taken as the resistance level (our assumption).
class CompactTrainer final : public SimDevice {
public:
    CompactTrainer(DeviceIdentity identity, RiderModel& rider);
    Payload nextPacket(std::uint64_t nowMs) override;
    bool receive(std::span<const std::uint8_t, 8> data, bool acknowledged) override;
    // For tests: the last power or level the host sent.
    std::uint16_t lastHostValue() const { return hostValue_; }

private:
    std::uint16_t hostValue_ = 0;
};

// An ANT+ heart-rate belt: page 4 layout, heart-beat time and count, computed heart rate in byte 7.
class HeartRateBelt final : public SimDevice {
public:
    HeartRateBelt(DeviceIdentity identity, RiderModel& rider);
    Payload nextPacket(std::uint64_t nowMs) override;

private:
    double beats_ = 0;
    std::uint64_t last_ = 0;
    std::uint32_t counter_ = 0;
};

// The handlebar console: page 0x05 with its four key states, page 0x02 (memory) every 16th packet,
// 0xFF acknowledging commands 8 and 9 and the first keep-alive (0x0A), as our assumption of how it
// shows that it is awake.
class Console final : public SimDevice {
public:
    Console(DeviceIdentity identity, RiderModel& rider);
    Payload nextPacket(std::uint64_t nowMs) override;
    bool receive(std::span<const std::uint8_t, 8> data, bool acknowledged) override;

    // Holds key 0..3 down until `untilMs`.
    void pressKey(int key, std::uint64_t untilMs);
    // For tests: keep-alive messages received so far.
    std::uint32_t keepAlives() const { return keepAlives_; }

private:
    std::array<std::uint64_t, 4> heldUntil_ {};
    std::optional<Payload> answer_;
    std::uint32_t keepAlives_ = 0;
    std::uint32_t counter_ = 0;
    std::uint64_t now_ = 0;
};

} // namespace caltrix::antsim
