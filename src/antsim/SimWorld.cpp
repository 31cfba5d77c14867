#include "antsim/SimWorld.h"

#include "platform/Clock.h"

namespace caltrix::antsim {

namespace {
// Identities as the receiving side lays out its channels: device type, transmission type, RF
// frequency and period of each device.
constexpr std::uint8_t TrainerType = 19;
constexpr std::uint8_t SpeedCadenceType = 121;
constexpr std::uint8_t HeartRateType = 120;
constexpr std::uint8_t ConsoleType = 18;
constexpr std::uint8_t TrainerRf = 71;
constexpr std::uint8_t ConsoleRf = 70;
constexpr std::uint8_t AntPlusRf = 57;
} // namespace

SimWorld::SimWorld(platform::Clock& clock, const WorldOptions& options)
    : clock_(clock)
    , options_(options)
    , rider_(options.seed)
    , random_(options.seed)
    , lastTick_(clock.tickCount())
{
    rider_.setEffort(options.effort);
    if (options.trainer) {
        devices_.push_back(std::make_unique<NativeTrainer>(
            DeviceIdentity { options.keyB, TrainerRf, options.trainerNumber, TrainerType, 1, 31814 }, rider_));
        devices_.push_back(std::make_unique<SpeedCadenceSensor>(
            DeviceIdentity { options.keyA, AntPlusRf, options.trainerNumber, SpeedCadenceType, 1, 8086 }, rider_,
            options.rollDiameterMm, options.eventsPerTurn));
    }
    if (options.compactTrainer)
        devices_.push_back(std::make_unique<CompactTrainer>(
            DeviceIdentity { options.keyA, AntPlusRf, options.compactTrainerNumber, SpeedCadenceType, 1, 16172 },
            rider_));
    if (options.heartRate)
        devices_.push_back(std::make_unique<HeartRateBelt>(
            DeviceIdentity { options.keyA, AntPlusRf, options.heartRateNumber, HeartRateType, 1, 8070 }, rider_));
    if (options.console)
        devices_.push_back(std::make_unique<Console>(
            DeviceIdentity { options.keyB, ConsoleRf, options.consoleNumber, ConsoleType, 1, 16150 }, rider_));
}

std::uint64_t SimWorld::now()
{
    const std::uint32_t tick = clock_.tickCount();
    now_ += static_cast<std::uint32_t>(tick - lastTick_); // wrapping difference
    lastTick_ = tick;
    return now_;
}

SimDevice* SimWorld::device(const std::string& name) const
{
    for (const auto& d : devices_)
        if (d->name() == name)
            return d.get();
    return nullptr;
}

Console* SimWorld::console() const { return dynamic_cast<Console*>(device("console")); }

bool SimWorld::packetLost()
{
    if (options_.lossRate <= 0)
        return false;
    return std::uniform_real_distribution<double>(0, 1)(random_) < options_.lossRate;
}

} // namespace caltrix::antsim
