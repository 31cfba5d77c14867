#pragma once

#include "antsim/RiderModel.h"
#include "antsim/SimDevices.h"
#include "platform/Clock.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <random>
#include <vector>

namespace caltrix::antsim {

// The names of the world's devices: trainer, sensor, trainer2, sensor2, compact-trainer,
// heart-rate, console.
bool isDeviceName(std::string_view name);

// A device silent for good, or for `seconds` from the world's start.
struct Silence {
    std::string device;
    std::optional<double> seconds;
};

// Which devices the simulated world holds and how they behave. WorldSettings.h reads it from text.
struct WorldOptions {
    bool trainer = true;        // native trainer (network 1) with its speed-and-cadence sensor (network 0)
    bool secondTrainer = false;  // another native trainer with its own sensor, on the same networks
    bool compactTrainer = false; // compact-protocol trainer on network 0
    bool heartRate = true;
    bool console = true;
    std::uint16_t trainerNumber = 12345; // also the sensor's number
    std::uint16_t secondTrainerNumber = 0; // also its sensor's number
    std::uint16_t compactTrainerNumber = 23456;
    std::uint16_t heartRateNumber = 4321;
    std::uint16_t consoleNumber = 777;
    double rollDiameterMm = 74;
    int eventsPerTurn = 1;
    double effort = 0.7;
    double lossRate = 0; // share of packets lost, 0..1, both ways
    std::uint32_t seed = 1;
    bool stickPresent = true; // false: no stick at all, opening it fails
    bool transmitSlotEvents = false; // see VirtualStick::setTransmitSlotEvents
    bool idList = true; // false: a stick without the inclusion/exclusion list (0x59 / 0x5A refused)
    // Faults on cue, in seconds of the simulated world from its creation; unset: never.
    std::optional<double> stallAfterS;         // the stick stops reading and answering, and stays there
    std::optional<double> vanishAfterS;        // the stick is pulled out
    std::optional<double> trainerSilentAfterS; // the trainer alone goes silent; the stick keeps answering
    std::vector<Silence> silences;
    Key keyA {}; // network 0 (ANT+)
    Key keyB {}; // network 1 (the trainer's own)
};

// The simulated radio world: the rider and the devices, on the platform clock. Main thread only.
// Throws platform::Error when a silence names a device the world does not hold.
class SimWorld {
public:
    SimWorld(platform::Clock& clock, const WorldOptions& options);

    platform::Clock& clock() { return *clock_; }
    // Milliseconds since the world was created, from the clock's wrapping tick count.
    std::uint64_t now();

    RiderModel& rider() { return rider_; }
    const std::vector<std::unique_ptr<SimDevice>>& devices() const { return devices_; }
    SimDevice* device(const std::string& name) const;
    Console* console() const;

    // One draw of the loss fault: true when this packet is lost.
    bool packetLost();
    const WorldOptions& options() const { return options_; }

private:
    platform::ClockRef clock_;
    WorldOptions options_;
    RiderModel rider_;
    std::vector<std::unique_ptr<SimDevice>> devices_;
    std::mt19937 random_;
    std::uint32_t lastTick_;
    std::uint64_t now_ = 0;
};

} // namespace caltrix::antsim
