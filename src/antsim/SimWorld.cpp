#include "antsim/SimWorld.h"

#include "antproto/DeviceProfiles.h"

#include "platform/Clock.h"
#include "platform/Error.h"

namespace caltrix::antsim {

namespace {

// The identity a simulated device transmits with, as its channel-plan profile finds it.
DeviceIdentity identity(const Key& key, const antproto::profile::DeviceProfile& profile, std::uint16_t deviceNumber)
{
    return { key, profile.rfFrequency, deviceNumber, profile.deviceType, antproto::profile::TransmittedType,
             profile.period };
}

} // namespace

SimWorld::SimWorld(platform::Clock& clock, const WorldOptions& options)
    : clock_(clock)
    , options_(options)
    , rider_(options.seed)
    , random_(options.seed)
    , lastTick_(clock.tickCount())
{
    rider_.setEffort(options.effort);
    // A trainer with its sensor; the second one shares the rider, so either takes the levels sent.
    auto addTrainer = [&](std::uint16_t number, const std::string& suffix) {
        devices_.push_back(std::make_unique<NativeTrainer>(
            identity(options.keyB, antproto::profile::NativeTrainer, number), rider_, "trainer" + suffix));
        devices_.push_back(std::make_unique<SpeedCadenceSensor>(
            identity(options.keyA, antproto::profile::SpeedCadenceSensor, number), rider_, options.rollDiameterMm,
            options.eventsPerTurn, "sensor" + suffix));
    };
    if (options.trainer)
        addTrainer(options.trainerNumber, "");
    if (options.secondTrainer)
        addTrainer(options.secondTrainerNumber, "2");
    if (options.compactTrainer)
        devices_.push_back(std::make_unique<CompactTrainer>(
            identity(options.keyA, antproto::profile::CompactTrainer, options.compactTrainerNumber),
            rider_));
    if (options.heartRate)
        devices_.push_back(std::make_unique<HeartRateBelt>(
            identity(options.keyA, antproto::profile::HeartRateBelt, options.heartRateNumber), rider_));
    if (options.console)
        devices_.push_back(std::make_unique<Console>(
            identity(options.keyB, antproto::profile::Console, options.consoleNumber), rider_));
    for (const auto& silence : options.silences) {
        SimDevice* d = device(silence.device);
        if (d == nullptr)
            throw platform::Error(QString::fromStdString("The simulated world has no " + silence.device
                                                         + " to make silent; leave the silence out or add the device."));
        if (silence.seconds)
            d->silenceUntil(static_cast<std::uint64_t>(*silence.seconds * 1000));
        else
            d->silenceForever();
    }
    if (options.trainerSilentAfterS && options.trainer)
        device("trainer")->silenceFrom(static_cast<std::uint64_t>(*options.trainerSilentAfterS * 1000));
}

std::uint64_t SimWorld::now()
{
    const std::uint32_t tick = clock_->tickCount();
    now_ += static_cast<std::uint32_t>(tick - lastTick_); // wrapping difference
    lastTick_ = tick;
    return now_;
}

bool isDeviceName(std::string_view name)
{
    for (std::string_view known : { "trainer", "sensor", "trainer2", "sensor2", "compact-trainer", "heart-rate", "console" })
        if (name == known)
            return true;
    return false;
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
