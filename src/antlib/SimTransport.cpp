#include "antlib/SimTransport.h"

#include "antlib/NetworkKeys.h"

namespace caltrix::antlib {

SimTransport::SimTransport(platform::Clock& clock, const antsim::WorldOptions& options)
    : world_(clock, options)
    , stick_(world_)
{
}

TransportFactory virtualStickFactory(platform::Clock& clock, const antsim::WorldOptions& options,
    std::function<void(SimTransport&)> created)
{
    return [&clock, options, created = std::move(created)](std::uint8_t number, std::uint32_t,
               std::string&) -> std::unique_ptr<antproto::Transport> {
        if (number != 0)
            return nullptr;
        auto transport = std::make_unique<SimTransport>(clock, options);
        if (created)
            created(*transport);
        return transport;
    };
}

antsim::WorldOptions defaultWorldOptions()
{
    antsim::WorldOptions options;
    options.keyA = networkKeyA();
    options.keyB = networkKeyB();
    return options;
}

antsim::WorldOptions worldOptions(const SimSettings& settings)
{
    antsim::WorldOptions options = defaultWorldOptions();
    auto device = [](const std::optional<std::uint16_t>& number, bool& present, std::uint16_t& field) {
        if (!number)
            return;
        present = *number != 0;
        if (present)
            field = *number;
    };
    device(settings.trainer, options.trainer, options.trainerNumber);
    device(settings.heartRate, options.heartRate, options.heartRateNumber);
    device(settings.console, options.console, options.consoleNumber);
    device(settings.compactTrainer, options.compactTrainer, options.compactTrainerNumber);
    options.lossRate = settings.lossRate.value_or(options.lossRate);
    options.seed = settings.seed.value_or(options.seed);
    options.transmitSlotEvents = settings.transmitSlotEvents;
    options.stallAfterS = settings.stallAfterS;
    options.vanishAfterS = settings.vanishAfterS;
    options.trainerSilentAfterS = settings.trainerSilentAfterS;
    return options;
}

} // namespace caltrix::antlib
