#pragma once

#include "antlib/AntLibrary.h"
#include "antlib/AntConfig.h"

#include <memory>

namespace caltrix::platform {
class Clock;
}

namespace caltrix::antlib {

// The library of the running program on `clock` (the platform clock by default): ANT_Init picks
// the transport from CALTRIX_ANT each time it is called.
std::unique_ptr<AntLibrary> createAntLibrary();

} // namespace caltrix::antlib
