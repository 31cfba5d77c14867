#pragma once

#include <cstdint>

namespace caltrix::hive {
class Hive;
}

namespace caltrix::app {

// The settings of a configured trainer, as the demo and the tests set one up: the given trainer
// device number and unit type, roll diameter 74, one event per turn, and presets P1..P3 at 15, 25
// and 35 km/h on levels 3, 6 and 9 in that unit type's calibration key.
void writeSampleSettings(hive::Hive& hive, std::uint16_t trainerNumber, std::int32_t unitType = 5);

} // namespace caltrix::app
