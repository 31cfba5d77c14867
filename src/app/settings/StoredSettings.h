#pragma once

#include "app/settings/SettingNames.h"

#include <QString>

#include <cstdint>

namespace caltrix::app {

// The settings the calibration tool reads from the current user's hive, shared with the
// trainer software. Every reader looks at the hive afresh (a change made meanwhile is seen at the
// next read) and never writes. A key that does not exist reads as 0; a value that is missing or
// empty in an existing key, or that holds no number, fails with platform::ConvertError ("'' is
// not a valid integer value"); a value of a non-string type fails with hive::HiveError ("Invalid
// data type for '<name>'"); a hive file that cannot be read fails with hive::HiveError.
// Main thread only.

std::int32_t ReadUnitType();
// With the user's decimal separator.
long double ReadRollDiameter();
std::int32_t ReadEventPerTurn();
std::int32_t ReadTrainerDeviceNumber();

// The calibration key of the stored unit type (reads the unit type).
QString CalibrationKeyPath();
// "Speed<n>" and "Resist<n>" of the calibration key (presets P1..P3).
std::int32_t ReadPresetSpeed(int n);
std::int32_t ReadPresetResist(int n);
// The two-preset mode's values. SpeedA alone reads as 0 when missing or empty: a non-zero SpeedA
// switches the window into that mode.
std::int32_t ReadSpeedA();
std::int32_t ReadSpeedB();
std::int32_t ReadResistA();
std::int32_t ReadResistB();

} // namespace caltrix::app
