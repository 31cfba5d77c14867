#include "antlib/SimTransport.h"

#include "antlib/NetworkKeys.h"

namespace caltrix::antlib {

SimTransport::SimTransport(platform::Clock& clock, const antsim::WorldOptions& options)
    : world_(clock, options)
    , stick_(world_)
{
}

antsim::WorldOptions defaultWorldOptions()
{
    antsim::WorldOptions options;
    options.keyA = networkKeyA();
    options.keyB = networkKeyB();
    return options;
}

} // namespace caltrix::antlib
