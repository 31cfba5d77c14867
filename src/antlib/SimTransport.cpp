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

antsim::WorldOptions worldOptions(const antsim::WorldOptions& settings)
{
    antsim::WorldOptions options = settings;
    options.keyA = networkKeyA();
    options.keyB = networkKeyB();
    return options;
}

} // namespace caltrix::antlib
