#pragma once

#include <QString>

#include <cstdint>

namespace caltrix::app {

// Where the trainer software keeps its settings in the current user's hive, and the names of its
// values: the readers, the settings tool, the demo and the tests name them through these.

// Key of the device settings.
inline const QString DeviceKeyPath = QStringLiteral("Software\\Korvane\\Pelto\\TavorDevicePeltoAnt");
// The calibration key is this followed by the unit type in decimal ("...\\Tavor5").
inline const QString CalibrationKeyBase = QStringLiteral("Software\\Korvane\\Pelto\\Calibration\\Tavor");
inline QString CalibrationKeyOf(std::int32_t unitType) { return CalibrationKeyBase + QString::number(unitType); }

// Values of the device key.
inline const QString UnitTypeName = QStringLiteral("PeltoAntSettings_UnitType");
inline const QString RollDiameterName = QStringLiteral("PeltoAntSettings_RollDiameter");
inline const QString EventPerTurnName = QStringLiteral("PeltoAntSettings_EventPerTurn");
inline const QString TrainerDeviceNumberName = QStringLiteral("PeltoAntSettings_TrainerDeviceNumber");

// Values of the calibration key: "Speed<n>" and "Resist<n>" of presets P1..P3, and the two-preset
// mode's.
inline QString PresetSpeedName(int n) { return QStringLiteral("Speed") + QString::number(n); }
inline QString PresetResistName(int n) { return QStringLiteral("Resist") + QString::number(n); }
inline const QString SpeedAName = QStringLiteral("SpeedA");
inline const QString SpeedBName = QStringLiteral("SpeedB");
inline const QString ResistAName = QStringLiteral("ResistA");
inline const QString ResistBName = QStringLiteral("ResistB");

} // namespace caltrix::app
