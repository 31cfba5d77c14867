#include "app/settings/SampleSettings.h"

#include "app/settings/SettingNames.h"
#include "hive/Hive.h"

#include <array>

namespace caltrix::app {

namespace {
constexpr std::array<int, 3> PresetSpeeds { 15, 25, 35 };
constexpr std::array<int, 3> PresetLevels { 3, 6, 9 };
} // namespace

void writeSampleSettings(hive::Hive& hive, std::uint16_t trainerNumber, std::int32_t unitType)
{
    hive.writeString(DeviceKeyPath, UnitTypeName, QString::number(unitType));
    hive.writeString(DeviceKeyPath, TrainerDeviceNumberName, QString::number(trainerNumber));
    hive.writeString(DeviceKeyPath, RollDiameterName, QStringLiteral("74"));
    hive.writeString(DeviceKeyPath, EventPerTurnName, QStringLiteral("1"));
    const QString calibration = CalibrationKeyOf(unitType);
    for (int n = 1; n <= 3; ++n) {
        hive.writeString(calibration, PresetSpeedName(n), QString::number(PresetSpeeds[n - 1]));
        hive.writeString(calibration, PresetResistName(n), QString::number(PresetLevels[n - 1]));
    }
}

} // namespace caltrix::app
